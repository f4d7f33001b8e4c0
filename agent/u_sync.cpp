#include "u_sync.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "u_base64.h"
#include "u_captura_fb3.h"
#include "u_erros.h"
#include "u_estrutura.h"
#include "u_estrutura_pg.h"
#include "u_texto.h"

namespace tw {
namespace {

// Native type codes (TColuna::tipoNativo) the encoding looks at. Firebird SQL type codes and
// PostgreSQL type OIDs do not collide for these kinds: a code is only checked together with the
// value kind that its own dialect gives it.
constexpr int kFbChar = 452;     // SQL_TEXT: CHAR(n)
constexpr int kFbFloat = 482;    // SQL_FLOAT
constexpr int kPgFloat4 = 700;   // real
constexpr int kPgMoney = 790;    // money, read by the session layer as its text form
constexpr int kPgBpchar = 1042;  // character(n)

// Exact-numeric sub-types of a Firebird integer column: NUMERIC(p,0) and DECIMAL(p,0) are read as
// integers but are exact decimals, which travel as strings.
constexpr int kFbNumeric = 1;
constexpr int kFbDecimal = 2;

// The control map's name in statements: unquoted, so the prefix must be a plain identifier.
std::string TabelaControle(std::string_view prefixo) {
  if (!PrefixoValido(prefixo)) throw std::invalid_argument("prefixo invalido: " + std::string(prefixo));
  return Maiusculas(prefixo) + "C";
}

// A single-precision column widened to double carries binary noise (0.1 becomes
// 0.10000000149011612); its shortest single-precision text, read back as a double, is the value the
// column shows (0.1), and it narrows back to the same float.
double RealDeFloat(double v) {
  const auto f = static_cast<float>(v);
  char buf[64];
  const auto fim = std::to_chars(buf, buf + sizeof buf, f).ptr;
  double d = v;
  std::from_chars(buf, fim, d);
  return d;
}

// PostgreSQL writes money in the server's monetary locale: a currency symbol, grouping, a decimal
// mark "." or ",", and a minus sign or parentheses when negative ("-$1,234.56", "R$ 1.234,56").
// Separators count only between digits. The decimal mark is the last one when the two kinds appear,
// never a repeated one, and otherwise the last one unless exactly three digits follow it (grouping).
double NumeroDeMoney(std::string_view texto) {
  struct Separador {
    char c;
    size_t pos;  // digits before it
  };
  std::string digitos;
  std::vector<Separador> seps;
  bool negativo = false;
  for (char c : texto) {
    if (c >= '0' && c <= '9')
      digitos += c;
    else if ((c == '.' || c == ',') && !digitos.empty())  // not one of a symbol such as "Fr."
      seps.push_back({c, digitos.size()});
    else if (c == '-' || c == '(')
      negativo = true;
  }
  if (digitos.empty()) throw EErroConversao("valor money sem numero: \"" + std::string(texto) + "\"");
  while (!seps.empty() && seps.back().pos == digitos.size()) seps.pop_back();
  std::string numero = negativo ? "-" : "";
  size_t ponto = digitos.size();
  if (!seps.empty()) {
    const Separador ultimo = seps.back();
    bool outro = false, repetido = false;
    for (size_t i = 0; i + 1 < seps.size(); ++i) (seps[i].c == ultimo.c ? repetido : outro) = true;
    if (outro || (!repetido && digitos.size() - ultimo.pos != 3)) ponto = ultimo.pos;
  }
  numero += digitos.substr(0, ponto);
  if (ponto < digitos.size()) numero += "." + digitos.substr(ponto);
  double v = 0;
  std::from_chars(numero.data(), numero.data() + numero.size(), v);
  return v;
}

Json NumeroReal(const TColuna& coluna, double v) {
  // JSON has no NaN or infinity; their text form keeps the value instead of turning it into null.
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  if (coluna.tipoNativo == kFbFloat || coluna.tipoNativo == kPgFloat4) return RealDeFloat(v);
  return v;
}

std::string SemBrancosFinais(std::string t) {
  size_t fim = t.size();
  while (fim > 0 && t[fim - 1] == ' ') --fim;
  t.resize(fim);
  return t;
}

bool EhColunaUuid(std::string_view nome) {
  static constexpr std::string_view uuid = "UUID";
  if (nome.size() != uuid.size()) return false;
  for (size_t i = 0; i < nome.size(); ++i) {
    const char c = nome[i] >= 'a' && nome[i] <= 'z' ? static_cast<char>(nome[i] - 'a' + 'A') : nome[i];
    if (c != uuid[i]) return false;
  }
  return true;
}

}  // namespace

// --- Control map ----------------------------------------------------------------------------

std::string LerControle(Sessao& s, std::string_view prefixo, std::string_view chave, std::string_view padrao) {
  const Resultado r = s.Consultar("select V from " + TabelaControle(prefixo) + " where K = :k",
                                  {{"k", Valor::Texto(std::string(chave))}});
  if (r.Vazio() || r.linhas[0][0].EhNulo()) return std::string(padrao);
  return r.linhas[0][0].texto;
}

void GravarControle(Sessao& s, std::string_view prefixo, std::string_view chave, std::string_view valor) {
  const std::string C = TabelaControle(prefixo);
  const Parametros params{{"", Valor::Texto(std::string(chave))}, {"", Valor::Memo(std::string(valor))}};
  if (EhPostgres(s))
    s.Executar("insert into " + C + " (K, V) values (?, ?) on conflict (k) do update set v = excluded.v", params);
  else
    s.Executar("UPDATE OR INSERT INTO " + C + " (K, V) VALUES (?, ?) MATCHING (K)", params);
}

std::string NomeTabelaPorId(Sessao& s, std::string_view prefixo, int64_t numero) {
  return LerControle(s, prefixo, "T" + std::to_string(numero), "");
}

// --- Row encoding ---------------------------------------------------------------------------

Json CampoParaJson(const TColuna& coluna, const Valor& valor) {
  switch (valor.tipo) {
    case TipoValor::Nulo:
      return nullptr;
    case TipoValor::Inteiro:
      if (coluna.tipo == TipoValor::Inteiro && (coluna.subtipo == kFbNumeric || coluna.subtipo == kFbDecimal))
        return std::to_string(valor.inteiro);
      return valor.inteiro;
    case TipoValor::Booleano:
      return valor.booleano;
    case TipoValor::Real:
      return NumeroReal(coluna, valor.real);
    case TipoValor::Decimal: {
      std::string t = valor.texto;
      for (char& c : t)
        if (c == ',') c = '.';
      return t;
    }
    case TipoValor::Data:
      return TextoData(valor.dataHora);
    case TipoValor::Hora:
      return TextoHora(valor.dataHora);
    case TipoValor::DataHora:
      return TextoData(valor.dataHora) + "T" + TextoHora(valor.dataHora, true);
    case TipoValor::Blob:
      return BytesParaJson(valor.texto);
    case TipoValor::Memo:
      return valor.texto;
    case TipoValor::Texto:
      if (coluna.tipoNativo == kPgMoney) return NumeroReal(coluna, NumeroDeMoney(valor.texto));
      if (coluna.tipoNativo == kFbChar || coluna.tipoNativo == kPgBpchar) return SemBrancosFinais(valor.texto);
      return valor.texto;
  }
  return valor.ComoTexto();
}

Json BytesParaJson(std::string_view bytes) {
  Json r = Json::object();
  r["__b64__"] = CodificarBase64(bytes);
  return r;
}

Json LinhaParaJson(const Resultado& resultado, size_t linha) {
  Json r = Json::object();
  const std::vector<Valor>& valores = resultado.linhas.at(linha);
  for (size_t i = 0; i < resultado.colunas.size() && i < valores.size(); ++i) {
    const TColuna& coluna = resultado.colunas[i];
    if (EhColunaUuid(coluna.nome)) continue;
    r[coluna.nome] = CampoParaJson(coluna, valores[i]);
  }
  return r;
}

std::optional<Json> LinhaPorUuid(Sessao& s, std::string_view tabela, std::string_view uuid) {
  // The name as stored, between double quotes; a double quote inside it is doubled, so any
  // catalogued name addresses its own table and nothing else.
  const Resultado r = s.Consultar("select * from " + IdentificadorExato(tabela) + " where UUID = :sid",
                                  {{"sid", Valor::Texto(std::string(uuid))}});
  if (r.Vazio()) return std::nullopt;
  return LinhaParaJson(r, 0);
}

// --- Dialect dispatch -----------------------------------------------------------------------

Json EstruturaTabela(Sessao& s, const std::string& tabela) {
  return EhPostgres(s) ? EstruturaTabelaPg(s, tabela) : EstruturaTabelaFb(s, tabela);
}

std::string VersaoTabela(Sessao& s, const std::string& tabela) {
  return EhPostgres(s) ? HashEstruturaPg(s, tabela) : HashEstruturaFb(s, tabela);
}

}  // namespace tw
