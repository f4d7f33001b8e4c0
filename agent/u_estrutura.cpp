#include "u_estrutura.h"

#include <exception>
#include <vector>

#include "u_base64.h"
#include "u_log.h"
#include "u_texto.h"
#include "u_tipos.h"

namespace tw {
namespace {

constexpr const char* kSqlCampos =
    "select trim(rf.rdb$field_name) nome, f.rdb$field_type ft,   coalesce(f.rdb$field_sub_type,0) sub, "
    "coalesce(f.rdb$field_scale,0) scale,   coalesce(f.rdb$field_precision,0) prec, "
    "coalesce(f.rdb$character_length,0) charlen,   coalesce(rf.rdb$null_flag,0) notnull, "
    "trim(cs.rdb$character_set_name) charset from rdb$relation_fields rf join rdb$fields f on "
    "f.rdb$field_name = rf.rdb$field_source left join rdb$character_sets cs on cs.rdb$character_set_id = "
    "f.rdb$character_set_id where rf.rdb$relation_name = :tab order by rf.rdb$field_position";

constexpr const char* kSqlChave =
    "select trim(s.rdb$field_name) campo from rdb$relation_constraints rc join rdb$index_segments s on "
    "s.rdb$index_name = rc.rdb$index_name where rc.rdb$relation_name = :tab and rc.rdb$constraint_type = "
    "'PRIMARY KEY' order by s.rdb$field_position";

constexpr const char* kSqlPrefixo =
    "select trim(r.rdb$relation_name) n from rdb$relations r where coalesce(r.rdb$system_flag,0)=0 and "
    "r.rdb$view_blr is null and trim(r.rdb$relation_name) like '%J' and (select count(*) from "
    "rdb$relation_fields f where f.rdb$relation_name = r.rdb$relation_name      and trim(f.rdb$field_name) "
    "in ('ID','TB','SID','OP','TX')) = 5";

constexpr const char* kSqlTabelas =
    "select trim(rdb$relation_name) nome from rdb$relations where rdb$view_blr is null and "
    "coalesce(rdb$system_flag,0)=0 order by rdb$relation_name";

int32_t Inteiro32(const Valor& v) { return static_cast<int32_t>(v.ComoInteiro()); }

std::vector<TCampoFb> LerCamposFb(Sessao& s, const std::string& tabela) {
  const Resultado r = s.Consultar(kSqlCampos, {{"tab", Valor::Texto(tabela)}});
  std::vector<TCampoFb> campos;
  campos.reserve(r.linhas.size());
  for (size_t i = 0; i < r.linhas.size(); ++i) {
    TCampoFb c;
    c.nome = ApararDireita(r.Campo(i, "nome").ComoTexto());
    c.tipo = Inteiro32(r.Campo(i, "ft"));
    c.subtipo = Inteiro32(r.Campo(i, "sub"));
    c.escala = Inteiro32(r.Campo(i, "scale"));
    c.precisao = Inteiro32(r.Campo(i, "prec"));
    c.tamanho = Inteiro32(r.Campo(i, "charlen"));
    c.notnull = r.Campo(i, "notnull").ComoInteiro() == 1;
    c.charset = ApararDireita(r.Campo(i, "charset").ComoTexto());
    // Firebird 3 records "no character set" as the character set NONE (id 0), not as null.
    if (c.charset == "NONE") c.charset.clear();
    campos.push_back(std::move(c));
  }
  return campos;
}

std::vector<std::string> LerChaveFb(Sessao& s, const std::string& tabela) {
  const Resultado r = s.Consultar(kSqlChave, {{"tab", Valor::Texto(tabela)}});
  std::vector<std::string> chave;
  for (size_t i = 0; i < r.linhas.size(); ++i) chave.push_back(ApararDireita(r.Campo(i, "campo").ComoTexto()));
  return chave;
}

bool EhTexto(const std::string& tipo) { return tipo == "CHAR" || tipo == "VARCHAR"; }

Json MontarEstrutura(const std::string& tabela, Json campos, Json chave, int64_t linhas) {
  Json o = Json::object();
  o["nome"] = tabela;
  o["campos"] = std::move(campos);
  o["chaveprimaria"] = std::move(chave);
  o["fks"] = Json::array();
  o["qtdlinhas"] = linhas;
  return o;
}

}  // namespace

std::string NomeTipoFb(int32_t tipo, int32_t subtipo, int32_t escala) {
  switch (tipo) {
    case 7: return escala < 0 ? "NUMERIC" : "SMALLINT";
    case 8: return escala < 0 ? "NUMERIC" : "INTEGER";
    case 16: return escala < 0 ? "NUMERIC" : "BIGINT";
    case 10: return "FLOAT";
    case 27: return "DOUBLE PRECISION";
    case 12: return "DATE";
    case 13: return "TIME";
    case 35: return "TIMESTAMP";
    case 14: return "CHAR";
    case 37: return "VARCHAR";
    case 23: return "BOOLEAN";
    case 261: return subtipo == 1 ? "BLOB SUB_TYPE TEXT" : "BLOB SUB_TYPE BINARY";
    default: return "UNKNOWN";
  }
}

Json DescritorCampoFb(const TCampoFb& campo) {
  const std::string tipo = NomeTipoFb(campo.tipo, campo.subtipo, campo.escala);
  Json d = Json::object();
  d["nome"] = campo.nome;
  d["tipo"] = tipo;
  d["notnull"] = campo.notnull;
  if (tipo == "NUMERIC") {
    if (campo.precisao > 0) d["tamanho"] = campo.precisao;
    d["escala"] = -campo.escala;
  } else if (EhTexto(tipo)) {
    if (campo.tamanho > 0) d["tamanho"] = campo.tamanho;
    if (!campo.charset.empty()) d["charset"] = campo.charset;
  }
  return d;
}

std::string TextoCampoFb(const TCampoFb& campo) {
  const std::string tipo = NomeTipoFb(campo.tipo, campo.subtipo, campo.escala);
  std::string tamanho, escala, charset;
  if (tipo == "NUMERIC") {
    if (campo.precisao > 0) tamanho = std::to_string(campo.precisao);
    escala = std::to_string(-campo.escala);
  } else if (EhTexto(tipo)) {
    if (campo.tamanho > 0) tamanho = std::to_string(campo.tamanho);
    charset = Maiusculas(campo.charset);
  }
  return Maiusculas(campo.nome) + "|" + tipo + "|" + tamanho + "|" + escala + "|" + charset + "|" +
         (campo.notnull ? "1" : "0") + "|";
}

Json CamposFb(Sessao& s, const std::string& tabela) {
  Json campos = Json::array();
  for (const TCampoFb& c : LerCamposFb(s, tabela)) campos.push_back(DescritorCampoFb(c));
  return campos;
}

Json ChavePrimariaFb(Sessao& s, const std::string& tabela) {
  Json chave = Json::array();
  for (std::string& nome : LerChaveFb(s, tabela)) chave.push_back(std::move(nome));
  return chave;
}

int64_t ContarLinhasFb(Sessao& s, const std::string& tabela) {
  try {
    return s.Escalar("select count(*) from " + IdentificadorExato(tabela)).ComoInteiro();
  } catch (const std::exception&) {
    return 0;  // a table that cannot be read (no rights, lock conflict, missing file) counts as empty
  }
}

bool TabelaIgnoradaFb(std::string_view tabela, std::string_view prefixo) {
  if (!prefixo.empty() && Maiusculas(tabela).starts_with(Maiusculas(prefixo))) return true;
  for (std::string_view legada : TabelasLegadas)
    if (IguaisSemCaixa(tabela, legada)) return true;
  return false;
}

Json EstruturaTabelaFb(Sessao& s, const std::string& tabela) {
  Json campos = CamposFb(s, tabela);
  Json chave = ChavePrimariaFb(s, tabela);
  return MontarEstrutura(tabela, std::move(campos), std::move(chave), ContarLinhasFb(s, tabela));
}

std::string DetectarPrefixoFb(Sessao& s) {
  const Resultado r = s.Consultar(kSqlPrefixo);
  if (r.Vazio()) return {};
  std::string nome = Aparar(r.linhas[0][0].ComoTexto());
  if (!nome.empty()) nome.pop_back();  // the final "J" of the journal table
  return nome;
}

std::string TextoEstruturaFb(Sessao& s, const std::string& tabela) {
  std::string texto = Maiusculas(tabela) + "|";
  for (const TCampoFb& c : LerCamposFb(s, tabela))
    if (!IguaisSemCaixa(c.nome, "UUID")) texto += TextoCampoFb(c);
  texto += "PK:";
  bool primeiro = true;
  for (const std::string& nome : LerChaveFb(s, tabela)) {
    if (IguaisSemCaixa(nome, "UUID")) continue;
    if (!primeiro) texto += ",";
    texto += Maiusculas(nome);
    primeiro = false;
  }
  return texto;
}

std::string HashEstruturaFb(Sessao& s, const std::string& tabela) { return Sha256Hex(TextoEstruturaFb(s, tabela)); }

std::string HashTabelaFb(const std::string& host, int32_t porta, const std::string& caminho,
                         const std::string& usuario, const std::string& senha, const std::string& tabela) {
  SessaoPtr s = AbrirConexao("firebird", host, porta, senha, usuario, caminho);
  return HashEstruturaFb(*s, tabela);
}

std::string MontarManifestoFb(const std::string& host, int32_t porta, const std::string& caminho,
                              const std::string& usuario, const std::string& senha, const std::string& prefixo) {
  SessaoPtr s = AbrirConexao("firebird", host, porta, senha, usuario, caminho);
  const std::string prefixoUsado = prefixo.empty() ? DetectarPrefixoFb(*s) : prefixo;

  Json manifesto = Json::object();
  manifesto["sgbd"] = "firebird3";
  Json tabelas = Json::array();
  const Resultado r = s->Consultar(kSqlTabelas);
  for (size_t i = 0; i < r.linhas.size(); ++i) {
    const std::string nome = ApararDireita(r.Campo(i, "nome").ComoTexto());
    if (!TabelaIgnoradaFb(nome, prefixoUsado)) tabelas.push_back(EstruturaTabelaFb(*s, nome));
  }
  const size_t quantas = tabelas.size();
  manifesto["tabelas"] = std::move(tabelas);

  Json documento = Json::object();
  documento["manifesto"] = std::move(manifesto);
  documento["maquina"] = Json{{"nome", "DEV-AGENTE"}, {"so", "Windows"}};
  RegistrarLog("manifesto montado: " + std::to_string(quantas) + " tabelas");
  return SerializarJson(documento);
}

}  // namespace tw
