#include "u_db.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "u_db_interno.h"
#include "u_erros.h"
#include "u_log.h"
#include "u_texto.h"

namespace tw {

// --- Valor -----------------------------------------------------------------------------------

Valor Valor::Inteiro(int64_t v) {
  Valor r;
  r.tipo = TipoValor::Inteiro;
  r.inteiro = v;
  return r;
}

Valor Valor::Real(double v) {
  Valor r;
  r.tipo = TipoValor::Real;
  r.real = v;
  return r;
}

Valor Valor::Booleano(bool v) {
  Valor r;
  r.tipo = TipoValor::Booleano;
  r.booleano = v;
  return r;
}

namespace {

Valor ValorDeTexto(TipoValor tipo, std::string v) {
  Valor r;
  r.tipo = tipo;
  r.texto = std::move(v);
  return r;
}

Valor ValorDeDataHora(TipoValor tipo, TDataHora v) {
  Valor r;
  r.tipo = tipo;
  r.dataHora = v;
  return r;
}


}  // namespace

Valor Valor::Texto(std::string v) { return ValorDeTexto(TipoValor::Texto, std::move(v)); }
Valor Valor::Memo(std::string v) { return ValorDeTexto(TipoValor::Memo, std::move(v)); }
Valor Valor::Blob(std::string bytes) { return ValorDeTexto(TipoValor::Blob, std::move(bytes)); }
Valor Valor::Decimal(std::string texto) { return ValorDeTexto(TipoValor::Decimal, std::move(texto)); }
Valor Valor::Data(TDataHora v) { return ValorDeDataHora(TipoValor::Data, v); }
Valor Valor::Hora(TDataHora v) { return ValorDeDataHora(TipoValor::Hora, v); }
Valor Valor::DataHora(TDataHora v) { return ValorDeDataHora(TipoValor::DataHora, v); }

std::string TextoData(const TDataHora& d) {
  char b[32];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.ano, d.mes, d.dia);
  return b;
}

std::string TextoHora(const TDataHora& d, bool comMilissegundos) {
  char b[32];
  if (comMilissegundos)
    std::snprintf(b, sizeof b, "%02d:%02d:%02d.%03d", d.hora, d.minuto, d.segundo, d.milissegundo);
  else
    std::snprintf(b, sizeof b, "%02d:%02d:%02d", d.hora, d.minuto, d.segundo);
  return b;
}

std::string Valor::ComoTexto() const {
  switch (tipo) {
    case TipoValor::Nulo: return {};
    case TipoValor::Inteiro: return std::to_string(inteiro);
    case TipoValor::Real: {
      char b[64];
      auto [fim, ec] = std::to_chars(b, b + sizeof b, real);
      return ec == std::errc{} ? std::string(b, fim) : std::string{};
    }
    case TipoValor::Booleano: return booleano ? "1" : "0";
    case TipoValor::Data: return TextoData(dataHora);
    case TipoValor::Hora: return TextoHora(dataHora);
    case TipoValor::DataHora: return TextoData(dataHora) + " " + TextoHora(dataHora);
    case TipoValor::Decimal:
    case TipoValor::Texto:
    case TipoValor::Memo:
    case TipoValor::Blob: return texto;
  }
  return texto;
}

int64_t Valor::ComoInteiro() const {
  switch (tipo) {
    case TipoValor::Nulo: return 0;
    case TipoValor::Inteiro: return inteiro;
    case TipoValor::Booleano: return booleano ? 1 : 0;
    case TipoValor::Real:
      if (std::isfinite(real) && std::trunc(real) == real && real >= -9.2233720368547758e18 &&
          real < 9.2233720368547758e18)
        return static_cast<int64_t>(real);
      break;
    case TipoValor::Decimal:
    case TipoValor::Texto:
    case TipoValor::Memo: {
      std::string t = Aparar(texto);
      // An exact decimal with only zeros after the point ("12.000") is still a whole number.
      if (tipo == TipoValor::Decimal) {
        if (auto ponto = t.find('.'); ponto != std::string::npos &&
                                      t.find_first_not_of('0', ponto + 1) == std::string::npos)
          t.erase(ponto);
      }
      if (auto v = LerInteiro(t)) return *v;
      break;
    }
    case TipoValor::Blob:
    case TipoValor::Data:
    case TipoValor::Hora:
    case TipoValor::DataHora: break;
  }
  throw EErroConversao("valor nao e um numero inteiro: \"" + ComoTexto() + "\"");
}

// --- Resultado, Sessao, Transacao --------------------------------------------------------------

int Resultado::Indice(std::string_view nome) const {
  for (size_t i = 0; i < colunas.size(); ++i)
    if (IguaisSemCaixa(colunas[i].nome, nome)) return static_cast<int>(i);
  return -1;
}

const Valor& Resultado::Campo(size_t linha, std::string_view nome) const {
  int i = Indice(nome);
  if (i < 0) throw EErroBanco("coluna inexistente no resultado: " + std::string(nome));
  if (linha >= linhas.size())
    throw EErroBanco("linha " + std::to_string(linha) + " inexistente no resultado (" +
                     std::to_string(linhas.size()) + " linhas)");
  return linhas[linha][static_cast<size_t>(i)];
}

Valor Sessao::Escalar(std::string_view sql, const Parametros& params) {
  Resultado r = Consultar(sql, params);
  if (r.linhas.empty() || r.linhas[0].empty()) return Valor::Nulo();
  return std::move(r.linhas[0][0]);
}

Transacao::Transacao(Sessao& sessao, Isolamento isolamento) : sessao_(sessao), ativa_(false) {
  sessao_.IniciarTransacao(isolamento);
  ativa_ = true;
}

Transacao::~Transacao() {
  if (!ativa_) return;
  try {
    sessao_.Desfazer();
  } catch (...) {
    // A destructor never throws; the session is closed by its owner if it is unusable.
  }
}

void Transacao::Confirmar() {
  sessao_.Confirmar();
  ativa_ = false;
}

// --- Opening sessions ----------------------------------------------------------------------

SessaoPtr AbrirConexao(std::string_view sgbd, const std::string& host, int32_t porta, const std::string& senha,
                       const std::string& usuario, const std::string& banco) {
  if (SgbdEhPostgres(sgbd)) return db_interno::AbrirSessaoPg(host, porta, senha, usuario, banco);
  return db_interno::AbrirSessaoFb(host, porta, senha, usuario, banco);
}

SessaoPtr AbrirConexaoAgente(const TConfigAgente& cfg) {
  return AbrirConexao(cfg.Sgbd, cfg.LocalHost, cfg.LocalPorta, cfg.LocalSenha, cfg.LocalUsuario, cfg.LocalCaminho);
}

bool SgbdEhPostgres(std::string_view sgbd) { return IguaisSemCaixa(sgbd, "postgres"); }

int32_t PortaPadrao(std::string_view sgbd) { return SgbdEhPostgres(sgbd) ? 5432 : 3050; }

std::string UsuarioPadrao(std::string_view sgbd) { return SgbdEhPostgres(sgbd) ? "postgres" : "SYSDBA"; }

bool EhPostgres(const Sessao& s) { return s.EhPostgres(); }

// --- Dialect pieces ------------------------------------------------------------------------

TLimite LimiteLinhas(const Sessao& s, int64_t n) {
  if (s.EhPostgres()) return {"", " limit " + std::to_string(n)};
  return {"first " + std::to_string(n) + " ", ""};
}

std::string CitarIdent(const Sessao& s, std::string_view nome) {
  // Names come from the server's catalogue too; a double quote inside must not end the identifier.
  return IdentificadorExato(s.EhPostgres() ? std::string(nome) : Maiusculas(nome));
}

std::string ParamUuid(const Sessao& s, std::string_view nome) {
  if (s.EhPostgres()) return "cast(:" + std::string(nome) + " as uuid)";
  return ":" + std::string(nome);
}

std::string SqlGravarPorUuid(const Sessao& s, std::string_view tabela, const std::vector<std::string>& colunas) {
  std::string t = "insert into " + CitarIdent(s, tabela) + " (" + CitarIdent(s, "uuid");
  for (const auto& c : colunas) t += ", " + CitarIdent(s, c);
  t += ") values (" + ParamUuid(s, "UUID");
  for (size_t i = 0; i < colunas.size(); ++i) t += ", :p" + std::to_string(i);
  t += ")";
  if (!s.EhPostgres()) return "update or " + t + " matching (" + CitarIdent(s, "uuid") + ")";
  if (colunas.empty()) return t + " on conflict (" + CitarIdent(s, "uuid") + ") do nothing";
  t += " on conflict (" + CitarIdent(s, "uuid") + ") do update set ";
  for (size_t i = 0; i < colunas.size(); ++i) {
    if (i > 0) t += ", ";
    const std::string q = CitarIdent(s, colunas[i]);
    t += q + " = excluded." + q;
  }
  return t;
}

std::string SqlApagarPorUuid(const Sessao& s, std::string_view tabela) {
  return "delete from " + CitarIdent(s, tabela) + " where " + CitarIdent(s, "uuid") + " = " + ParamUuid(s, "sid");
}

bool ExisteUuid(Sessao& s, std::string_view tabela, const std::string& uuid) {
  const TLimite lim = LimiteLinhas(s, 1);
  const std::string sql = "select " + lim.cabeca + "1 from " + CitarIdent(s, tabela) + " where " +
                          CitarIdent(s, "uuid") + " = " + ParamUuid(s, "sid") + lim.cauda;
  return !s.Consultar(sql, {{"sid", Valor::Texto(uuid)}}).Vazio();
}

std::string IdentificadorExato(std::string_view nome) {
  std::string r = "\"";
  for (char c : nome) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

std::string LiteralSql(std::string_view texto) {
  std::string r = "'";
  for (char c : texto) {
    if (c == '\'') r += '\'';
    r += c;
  }
  return r + "'";
}

void MarcarAplicando(Sessao& s, std::string_view prefixo, bool ligado) {
  if (s.EhPostgres()) {
    s.Escalar("select set_config(" + LiteralSql(Minusculas(prefixo) + ".aplicando") + ", " +
              LiteralSql(ligado ? "1" : "") + ", false)");
    return;
  }
  // The variable name goes in as a proper literal, so a quote in a prefix cannot break the block.
  s.Executar("EXECUTE BLOCK AS BEGIN RDB$SET_CONTEXT('USER_SESSION', " + LiteralSql(Maiusculas(prefixo) + "X") +
             ", " + (ligado ? "'1'" : "NULL") + "); END");
}

// --- Per-table catalogue caches --------------------------------------------------------------

namespace {

std::map<std::string, TListaColunas>& CacheComputadas() {
  static std::map<std::string, TListaColunas> cache;
  return cache;
}

std::map<std::string, TMapaTipos>& CacheTipos() {
  static std::map<std::string, TMapaTipos> cache;
  return cache;
}

}  // namespace

bool ContemSemCaixa(const TListaColunas& lista, std::string_view nome) {
  for (const auto& c : lista)
    if (IguaisSemCaixa(c, nome)) return true;
  return false;
}

const TListaColunas& ComputadasDe(Sessao& s, std::string_view tabela) {
  const std::string chave = Maiusculas(tabela);
  auto& cache = CacheComputadas();
  if (auto it = cache.find(chave); it != cache.end()) return it->second;

  TListaColunas lista;
  try {
    Resultado r;
    if (s.EhPostgres())
      r = s.Consultar(
          "select column_name f from information_schema.columns  where table_schema = 'public' and table_name = :t "
          "and is_generated = 'ALWAYS'",
          {{"t", Valor::Texto(std::string(tabela))}});
    else
      r = s.Consultar(
          "select trim(rf.rdb$field_name) f from rdb$relation_fields rf join rdb$fields fs on fs.rdb$field_name = "
          "rf.rdb$field_source where rf.rdb$relation_name = :t and fs.rdb$computed_source is not null",
          {{"t", Valor::Texto(chave)}});
    const int f = r.Indice("f");
    for (const auto& linha : r.linhas) lista.push_back(Maiusculas(Aparar(linha.at(static_cast<size_t>(f)).ComoTexto())));
  } catch (const std::exception& e) {
    RegistrarLog("ComputadasDe(" + chave + ") falhou (segue sem exclusao): " + e.what(), true);
  }
  return cache.emplace(chave, std::move(lista)).first->second;
}

const TMapaTipos& TiposDe(Sessao& s, std::string_view tabela) {
  const std::string chave = Maiusculas(tabela);
  auto& cache = CacheTipos();
  if (auto it = cache.find(chave); it != cache.end()) return it->second;

  TMapaTipos mapa;
  try {
    if (s.EhPostgres()) {
      Resultado r = s.Consultar(
          "select column_name f, data_type tp from information_schema.columns  where table_schema = 'public' and "
          "table_name = :t",
          {{"t", Valor::Texto(std::string(tabela))}});
      const auto f = static_cast<size_t>(r.Indice("f")), tp = static_cast<size_t>(r.Indice("tp"));
      for (const auto& linha : r.linhas)
        mapa[Maiusculas(Aparar(linha.at(f).ComoTexto()))] = TColInfo{TipoPgParaCodigo(linha.at(tp).ComoTexto()), 0};
    } else {
      Resultado r = s.Consultar(
          "select trim(rf.rdb$field_name) f, fs.rdb$field_type tp, coalesce(fs.rdb$field_sub_type,0) st from "
          "rdb$relation_fields rf join rdb$fields fs on fs.rdb$field_name = rf.rdb$field_source where "
          "rf.rdb$relation_name = :t",
          {{"t", Valor::Texto(chave)}});
      const auto f = static_cast<size_t>(r.Indice("f")), tp = static_cast<size_t>(r.Indice("tp")),
                 st = static_cast<size_t>(r.Indice("st"));
      for (const auto& linha : r.linhas)
        mapa[Maiusculas(Aparar(linha.at(f).ComoTexto()))] =
            TColInfo{static_cast<int32_t>(linha.at(tp).ComoInteiro()), static_cast<int32_t>(linha.at(st).ComoInteiro())};
    }
  } catch (const std::exception& e) {
    RegistrarLog("TiposDe(" + chave + ") falhou \xE2\x80\x94 data/hora podem quebrar nesta tabela: " + e.what(), true);
  }
  return cache.emplace(chave, std::move(mapa)).first->second;
}

void LimparCachesCatalogo() {
  CacheComputadas().clear();
  CacheTipos().clear();
}

int32_t TipoPgParaCodigo(std::string_view tipo) {
  const std::string t = Minusculas(Aparar(tipo));
  if (t.starts_with("timestamp")) return 35;
  if (t.starts_with("time")) return 13;
  if (t == "date") return 12;
  return 0;
}

// --- Date-time text ------------------------------------------------------------------------

namespace {

int CampoNumerico(std::string_view s, size_t inicio, size_t tamanho) {
  int v = 0;
  for (size_t i = inicio; i < inicio + tamanho; ++i) {
    if (s[i] < '0' || s[i] > '9') throw EErroConversao("data/hora invalida: \"" + std::string(s) + "\"");
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

bool AnoBissexto(int ano) { return (ano % 4 == 0 && ano % 100 != 0) || ano % 400 == 0; }

int DiasDoMes(int ano, int mes) {
  static constexpr int dias[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return mes == 2 && AnoBissexto(ano) ? 29 : dias[mes - 1];
}

}  // namespace

TDataHora TextoParaDataHora(std::string_view s) {
  TDataHora r;
  const auto invalida = [&] { return EErroConversao("data/hora invalida: \"" + std::string(s) + "\""); };
  bool temHora = false;
  size_t h = 0;  // position of the hours field
  if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
    r.ano = CampoNumerico(s, 0, 4);
    r.mes = CampoNumerico(s, 5, 2);
    r.dia = CampoNumerico(s, 8, 2);
    if (r.ano < 1 || r.mes < 1 || r.mes > 12 || r.dia < 1 || r.dia > DiasDoMes(r.ano, r.mes)) throw invalida();
    if (s.size() >= 19 && (s[10] == 'T' || s[10] == ' ')) {
      temHora = true;
      h = 11;
    }
  } else if (s.size() >= 8 && s[2] == ':' && s[5] == ':') {
    temHora = true;
    h = 0;
  } else {
    return r;
  }
  if (temHora) {
    r.hora = CampoNumerico(s, h, 2);
    r.minuto = CampoNumerico(s, h + 3, 2);
    r.segundo = CampoNumerico(s, h + 6, 2);
    if (r.hora > 23 || r.minuto > 59 || r.segundo > 59) throw invalida();
  }
  return r;
}

// --- Parameter scan (both back-ends) ---------------------------------------------------------

namespace db_interno {

namespace {

bool EhLetraIdent(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool EhCharIdent(char c) {
  return EhLetraIdent(c) || (c >= '0' && c <= '9') || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// End (one past) of a quoted piece that starts at i with the quote q; a doubled quote stays inside.
// barraEscapa: backslash escapes the next character (PostgreSQL E'...').
size_t FimCitado(std::string_view sql, size_t i, char q, bool barraEscapa) {
  size_t j = i + 1;
  while (j < sql.size()) {
    if (barraEscapa && sql[j] == '\\') {
      j += 2;
      continue;
    }
    if (sql[j] == q) {
      if (j + 1 < sql.size() && sql[j + 1] == q) {
        j += 2;
        continue;
      }
      return j + 1;
    }
    ++j;
  }
  return sql.size();
}

// "$tag$" opening a dollar-quoted body at i, or empty when there is none.
std::string_view EtiquetaDolar(std::string_view sql, size_t i) {
  if (i > 0 && EhCharIdent(sql[i - 1])) return {};  // part of a name such as RDB$FIELD_NAME
  size_t j = i + 1;
  if (j < sql.size() && sql[j] != '$' && !EhLetraIdent(sql[j])) return {};  // $1 and the like
  while (j < sql.size() && sql[j] != '$') {
    if (!EhLetraIdent(sql[j]) && !(sql[j] >= '0' && sql[j] <= '9')) return {};
    ++j;
  }
  if (j >= sql.size()) return {};
  return sql.substr(i, j - i + 1);
}

}  // namespace

SqlPreparado AnalisarParametros(std::string_view sql, std::string (*marcador)(size_t)) {
  SqlPreparado r;
  r.texto.reserve(sql.size());
  size_t i = 0;
  const auto copiarAte = [&](size_t fim) {
    r.texto.append(sql.substr(i, fim - i));
    i = fim;
  };
  while (i < sql.size()) {
    const char c = sql[i];
    const char prox = i + 1 < sql.size() ? sql[i + 1] : '\0';
    const char ant = i > 0 ? sql[i - 1] : '\0';
    if (c == '\'') {
      const bool escapada = (ant == 'E' || ant == 'e') && !(i > 1 && EhCharIdent(sql[i - 2]));
      copiarAte(FimCitado(sql, i, '\'', escapada));
    } else if ((c == 'q' || c == 'Q') && prox == '\'' && !EhCharIdent(ant) && i + 2 < sql.size()) {
      // Firebird's alternative literal q'{...}': ends at the closing delimiter followed by a quote.
      char abre = sql[i + 2], fecha = abre;
      if (abre == '(') fecha = ')';
      else if (abre == '{') fecha = '}';
      else if (abre == '[') fecha = ']';
      else if (abre == '<') fecha = '>';
      size_t j = i + 3;
      while (j + 1 < sql.size() && !(sql[j] == fecha && sql[j + 1] == '\'')) ++j;
      copiarAte(std::min(sql.size(), j + 2));
    } else if (c == '"') {
      copiarAte(FimCitado(sql, i, '"', false));
    } else if (c == '-' && prox == '-') {
      const size_t fim = sql.find('\n', i);
      copiarAte(fim == std::string_view::npos ? sql.size() : fim + 1);
    } else if (c == '/' && prox == '*') {
      const size_t fim = sql.find("*/", i + 2);
      copiarAte(fim == std::string_view::npos ? sql.size() : fim + 2);
    } else if (c == '$' && !EtiquetaDolar(sql, i).empty()) {
      const std::string_view etiqueta = EtiquetaDolar(sql, i);
      const size_t fim = sql.find(etiqueta, i + etiqueta.size());
      copiarAte(fim == std::string_view::npos ? sql.size() : fim + etiqueta.size());
    } else if (c == ':' && prox == ':') {
      size_t j = i;
      while (j < sql.size() && sql[j] == ':') ++j;  // "::" cast
      copiarAte(j);
    } else if (c == ':' && EhLetraIdent(prox)) {
      size_t j = i + 1;
      while (j < sql.size() && (EhLetraIdent(sql[j]) || (sql[j] >= '0' && sql[j] <= '9'))) ++j;
      r.texto += marcador(r.nomes.size());
      r.nomes.emplace_back(sql.substr(i + 1, j - i - 1));
      i = j;
    } else if (c == '?') {
      r.texto += marcador(r.nomes.size());
      r.nomes.emplace_back();
      ++i;
    } else {
      r.texto += c;
      ++i;
    }
  }
  return r;
}

std::vector<const Valor*> OrdenarParametros(const SqlPreparado& sql, const Parametros& params) {
  std::vector<const Valor*> ordem;
  ordem.reserve(sql.nomes.size());
  size_t posicional = 0;
  for (const auto& nome : sql.nomes) {
    const Valor* achado = nullptr;
    if (nome.empty()) {
      size_t vistos = 0;
      for (const auto& p : params) {
        if (!p.nome.empty()) continue;
        if (vistos++ == posicional) {
          achado = &p.valor;
          break;
        }
      }
      if (!achado)
        throw EErroBanco("parametro posicional " + std::to_string(posicional + 1) + " (?) nao informado");
      ++posicional;
    } else {
      for (const auto& p : params)
        if (!p.nome.empty() && IguaisSemCaixa(p.nome, nome)) {
          achado = &p.valor;
          break;
        }
      if (!achado) throw EErroBanco("parametro :" + nome + " nao informado");
    }
    ordem.push_back(achado);
  }
  return ordem;
}

}  // namespace db_interno

}  // namespace tw
