#include "u_estrutura_pg.h"

#include "u_base64.h"
#include "u_texto.h"

namespace tw {
namespace {

constexpr const char* kSqlColunas =
    "select c.column_name nome, c.data_type tipo,        coalesce(c.character_maximum_length, 0) tam,        "
    "coalesce(c.numeric_scale, 0) esc,        coalesce(c.numeric_precision, 0) prec,        case when "
    "c.is_nullable = 'NO' then 1 else 0 end nn   from information_schema.columns c  where c.table_schema = "
    "'public' and c.table_name = :t  order by c.ordinal_position";

constexpr const char* kSqlChave =
    "select a.attname nome   from pg_index i join pg_attribute a on a.attrelid = i.indrelid and a.attnum = "
    "any(i.indkey)  where i.indrelid = (quote_ident(:t))::regclass and i.indisprimary  order by "
    "array_position(i.indkey, a.attnum)";

struct TColunaPg {
  std::string nome;
  std::string tipo;
  TTamanhoEscala medidas;
  bool notnull = false;
};

std::vector<TColunaPg> LerColunasPg(Sessao& s, const std::string& tabela) {
  const Resultado r = s.Consultar(kSqlColunas, {{"t", Valor::Texto(tabela)}});
  std::vector<TColunaPg> colunas;
  colunas.reserve(r.linhas.size());
  for (size_t i = 0; i < r.linhas.size(); ++i) {
    TColunaPg c;
    c.nome = Aparar(r.Campo(i, "nome").ComoTexto());
    c.tipo = NormalizarTipoPg(r.Campo(i, "tipo").ComoTexto());
    c.medidas = TamanhoEscalaPg(c.tipo, r.Campo(i, "tam").ComoInteiro(), r.Campo(i, "esc").ComoInteiro(),
                                r.Campo(i, "prec").ComoInteiro());
    c.notnull = r.Campo(i, "nn").ComoInteiro() == 1;
    colunas.push_back(std::move(c));
  }
  return colunas;
}

}  // namespace

std::string NormalizarTipoPg(std::string_view tipo) { return Maiusculas(Aparar(tipo)); }

TTamanhoEscala TamanhoEscalaPg(std::string_view tipo, int64_t tam, int64_t esc, int64_t prec) {
  TTamanhoEscala r;
  if (tipo == "NUMERIC" || tipo == "DECIMAL") {
    if (prec > 0) r.tamanho = std::to_string(prec);
    r.escala = std::to_string(esc);
  } else if (tipo == "CHARACTER VARYING" || tipo == "CHARACTER") {
    if (tam > 0) r.tamanho = std::to_string(tam);
  }
  return r;
}

std::vector<std::string> ChavePrimariaPg(Sessao& s, const std::string& tabela) {
  const Resultado r = s.Consultar(kSqlChave, {{"t", Valor::Texto(tabela)}});
  std::vector<std::string> chave;
  for (const auto& linha : r.linhas) chave.push_back(linha[0].ComoTexto());
  return chave;
}

Json EstruturaTabelaPg(Sessao& s, const std::string& tabela) {
  Json o = Json::object();
  o["nome"] = tabela;
  Json campos = Json::array();
  bool temBlob = false;
  for (const TColunaPg& c : LerColunasPg(s, tabela)) {
    if (c.tipo == "BYTEA") temBlob = true;
    Json d = Json::object();
    d["nome"] = c.nome;
    d["tipo"] = c.tipo;
    d["notnull"] = c.notnull;
    // The texts hold decimal digits written by TamanhoEscalaPg, so they convert back exactly.
    if (!c.medidas.tamanho.empty()) d["tamanho"] = LerInteiro(c.medidas.tamanho).value_or(0);
    if (!c.medidas.escala.empty()) d["escala"] = LerInteiro(c.medidas.escala).value_or(0);
    campos.push_back(std::move(d));
  }
  o["campos"] = std::move(campos);
  o["chaveprimaria"] = ChavePrimariaPg(s, tabela);
  o["fks"] = Json::array();
  o["temblob"] = temBlob;
  o["qtdlinhas"] = 0;
  return o;
}

std::string TextoEstruturaPg(Sessao& s, const std::string& tabela) {
  std::string texto = Maiusculas(tabela) + "|";
  for (const TColunaPg& c : LerColunasPg(s, tabela)) {
    if (IguaisSemCaixa(c.nome, "uuid")) continue;
    texto += Maiusculas(c.nome) + "|" + c.tipo + "|" + c.medidas.tamanho + "|" + c.medidas.escala + "||" +
             (c.notnull ? "1" : "0") + "|";
  }
  texto += "PK:";
  bool primeiro = true;
  for (const std::string& nome : ChavePrimariaPg(s, tabela)) {
    if (IguaisSemCaixa(nome, "uuid")) continue;
    if (!primeiro) texto += ",";
    texto += Maiusculas(nome);
    primeiro = false;
  }
  return texto;
}

std::string HashEstruturaPg(Sessao& s, const std::string& tabela) { return Sha256Hex(TextoEstruturaPg(s, tabela)); }

}  // namespace tw
