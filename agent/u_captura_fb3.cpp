#include "u_captura_fb3.h"

#include <exception>
#include <stdexcept>

#include "u_log.h"
#include "u_tabnova.h"
#include "u_texto.h"

namespace tw {

bool PrefixoValido(std::string_view prefixo) {
  if (prefixo.size() != 3) return false;
  auto letra = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letra(prefixo[0])) return false;
  for (char c : prefixo)
    if (!letra(c) && !(c >= '0' && c <= '9') && c != '_') return false;
  return true;
}

std::string NumeroQuatroDigitos(int64_t numero) {
  std::string n = std::to_string(numero);
  if (n.size() < 4) n.insert(0, 4 - n.size(), '0');
  return n;
}

std::vector<std::string> SqlObjetosBaseFb(const std::string& P) {
  return {
      "CREATE SEQUENCE " + P + "G",
      "CREATE TABLE " + P + "J (ID BIGINT NOT NULL PRIMARY KEY, TB SMALLINT NOT NULL, " +
          "SID CHAR(36) NOT NULL, OP CHAR(1) NOT NULL, TX BIGINT NOT NULL, " +
          "TS TIMESTAMP DEFAULT CURRENT_TIMESTAMP NOT NULL)",
      "CREATE TABLE " + P + "B (ID BIGINT NOT NULL PRIMARY KEY, TB SMALLINT NOT NULL, " +
          "CAMPO VARCHAR(63) NOT NULL, SID CHAR(36) NOT NULL, OP CHAR(1) NOT NULL, TX BIGINT NOT NULL, " +
          "TS TIMESTAMP DEFAULT CURRENT_TIMESTAMP NOT NULL)",
      "CREATE TABLE " + P + "C (K VARCHAR(60) NOT NULL PRIMARY KEY, V BLOB SUB_TYPE TEXT)",
      "CREATE INDEX " + P + "J_TBSID ON " + P + "J (TB, SID)",
  };
}

std::string SqlPreencherUuidFb(const std::string& T) {
  return "UPDATE " + IdentificadorExato(T) + " SET UUID = UUID_TO_CHAR(GEN_UUID()) " +
         "WHERE UUID IS NULL OR CHAR_LENGTH(TRIM(UUID)) <> 36";
}

std::string SqlIndiceUuidFb(const std::string& P, const std::string& T, int64_t id) {
  return "CREATE UNIQUE INDEX " + P + "UQ_" + NumeroQuatroDigitos(id) + " ON " + IdentificadorExato(T) + " (UUID)";
}

std::string SqlGatilhoUuidFb(const std::string& P, const std::string& T, int64_t id) {
  return "CREATE OR ALTER TRIGGER " + P + "U_" + NumeroQuatroDigitos(id) + " FOR " + IdentificadorExato(T) + " " +
         "ACTIVE BEFORE INSERT POSITION 0 AS BEGIN " +
         "IF (NEW.UUID IS NULL OR CHAR_LENGTH(TRIM(NEW.UUID)) <> 36) THEN NEW.UUID = UUID_TO_CHAR(GEN_UUID()); END";
}

std::string SqlGatilhoJournalFb(const std::string& P, const std::string& T, int64_t id) {
  const std::string ID = std::to_string(id);
  const std::string insere = "INSERT INTO " + P + "J (ID,TB,SID,OP,TX) VALUES (GEN_ID(" + P + "G,1)," + ID;
  return "CREATE OR ALTER TRIGGER " + P + "T_" + NumeroQuatroDigitos(id) + " FOR " + IdentificadorExato(T) + " " +
         "ACTIVE AFTER INSERT OR UPDATE OR DELETE POSITION 0 AS BEGIN " +
         "IF (RDB$GET_CONTEXT('USER_SESSION', '" + P + "X') IS NOT NULL) THEN EXIT; " +
         // A row without UUID cannot be named in the journal; writing it would make the user's own
         // statement fail on SID NOT NULL.
         "IF ((DELETING AND OLD.UUID IS NULL) OR (NOT DELETING AND NEW.UUID IS NULL)) THEN EXIT; " +
         "IF (INSERTING) THEN " + insere + ",NEW.UUID,'I',CURRENT_TRANSACTION); " +
         "ELSE IF (UPDATING) THEN " + insere + ",NEW.UUID,'U',CURRENT_TRANSACTION); " +
         "ELSE " + insere + ",OLD.UUID,'D',CURRENT_TRANSACTION); " + "END";
}

void GravarMapaFb(Sessao& s, const std::string& P, const std::string& chave, const std::string& valor) {
  s.Executar("UPDATE OR INSERT INTO " + P + "C (K, V) VALUES (?, ?) MATCHING (K)",
             {{"", Valor::Texto(chave)}, {"", Valor::Memo(valor)}});
}

void ExecutarIgnorandoErroFb(Sessao& s, const std::string& sql) {
  try {
    s.Executar(sql);
  } catch (const std::exception& e) {
    RegistrarLog("  (ignorado): " + std::string(PrimeirosCaracteres(sql, 42)) + "... [" + e.what() + "]");
  }
}

bool ColunaExisteFb(Sessao& s, const std::string& tabela, const std::string& coluna) {
  return !s.Consultar("select 1 from rdb$relation_fields where rdb$relation_name = :t and rdb$field_name = :c",
                      {{"t", Valor::Texto(tabela)}, {"c", Valor::Texto(coluna)}})
              .Vazio();
}

void RemoverObjetosPrefixoFb(Sessao& s, const std::string& P) {
  const Resultado gatilhos = s.Consultar(
      "select trim(rdb$trigger_name) t from rdb$triggers where coalesce(rdb$system_flag,0)=0 "
      "and trim(rdb$trigger_name) starting with :p",
      {{"p", Valor::Texto(P)}});
  for (const auto& linha : gatilhos.linhas)
    ExecutarIgnorandoErroFb(s, "DROP TRIGGER " + IdentificadorExato(Aparar(linha.at(0).ComoTexto())));
  ExecutarIgnorandoErroFb(s, "DROP TABLE " + P + "J");
  ExecutarIgnorandoErroFb(s, "DROP TABLE " + P + "B");
  ExecutarIgnorandoErroFb(s, "DROP TABLE " + P + "M");
  ExecutarIgnorandoErroFb(s, "DROP TABLE " + P + "C");
  ExecutarIgnorandoErroFb(s, "DROP SEQUENCE " + P + "G");
}

void CriarEstruturaFb(const std::string& host, int32_t porta, const std::string& caminho, const std::string& usuario,
                      const std::string& senha, const std::string& prefixo, const ProgressoEstrutura& progresso) {
  const std::string P = Maiusculas(prefixo);
  if (!PrefixoValido(P)) throw std::invalid_argument("prefixo invalido: " + prefixo);

  SessaoPtr sessao = AbrirConexao("firebird", host, porta, senha, usuario, caminho);
  Sessao& s = *sessao;

  RemoverObjetosPrefixoFb(s, P);
  for (const auto& sql : SqlObjetosBaseFb(P)) ExecutarIgnorandoErroFb(s, sql);
  RegistrarLog("objetos base criados (prefixo " + P + ")");

  std::vector<std::string> tabelas;
  for (const auto& linha :
       s.Consultar("select trim(rdb$relation_name) nome from rdb$relations where rdb$view_blr is null "
                   "and coalesce(rdb$system_flag,0)=0 order by rdb$relation_name")
           .linhas)
    tabelas.push_back(Aparar(linha.at(0).ComoTexto()));
  const int total = static_cast<int>(tabelas.size());

  int numero = 0, colunasAdicionadas = 0;
  for (const auto& T : tabelas) {
    if (T.compare(0, P.size(), P) == 0) continue;
    if (EhTabelaLegada(T)) continue;
    ++numero;
    if (!ColunaExisteFb(s, T, "UUID")) {
      ExecutarIgnorandoErroFb(s, "ALTER TABLE " + IdentificadorExato(T) + " ADD UUID CHAR(36)");
      ++colunasAdicionadas;
    }
    ExecutarIgnorandoErroFb(s, SqlPreencherUuidFb(T));
    ExecutarIgnorandoErroFb(s, SqlIndiceUuidFb(P, T, numero));
    GravarMapaFb(s, P, "T" + std::to_string(numero), T);
    ExecutarIgnorandoErroFb(s, SqlGatilhoUuidFb(P, T, numero));
    ExecutarIgnorandoErroFb(s, SqlGatilhoJournalFb(P, T, numero));
    if (progresso) progresso(numero, total, T);
  }

  GravarMapaFb(s, P, "qtdtabelas", std::to_string(numero));
  RegistrarLog("tabelas: " + std::to_string(numero) + " | colunas UUID adicionadas: " +
               std::to_string(colunasAdicionadas) + " | triggers: " + std::to_string(numero) + " pares");
  RegistrarLog("estrutura Tidewell (modelo UUID) criada.");
}

}  // namespace tw
