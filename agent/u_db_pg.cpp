// PostgreSQL back-end of the session layer, over libpq. On this platform libpq is linked as a normal
// shared library; the driver's own search finds it.
#include <libpq-fe.h>

#include <charconv>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

#include "u_db_interno.h"
#include "u_erros.h"
#include "u_texto.h"

namespace tw::db_interno {

namespace {

using PgConn = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using PgResult = std::unique_ptr<PGresult, decltype(&PQclear)>;

// Type OIDs of the built-in types the layer reads and binds.
enum : Oid {
  kBool = 16,
  kBytea = 17,
  kChar = 18,
  kName = 19,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kText = 25,
  kFloat4 = 700,
  kFloat8 = 701,
  kBpchar = 1042,
  kVarchar = 1043,
  kDate = 1082,
  kTime = 1083,
  kTimestamp = 1114,
  kTimestamptz = 1184,
  kTimetz = 1266,
  kNumeric = 1700,
  kUuid = 2950,
};

std::string SemQuebraFinal(const char* texto) {
  std::string t = texto ? texto : "";
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
  return t;
}

std::string Marcador(size_t i) { return "$" + std::to_string(i + 1); }

void IgnorarAviso(void*, const char*) {}

// --- Text forms of dates and times (DateStyle ISO is set for every session) -------------------

bool LerDigitos(std::string_view s, size_t ini, size_t n, int& v) {
  if (ini + n > s.size()) return false;
  v = 0;
  for (size_t i = ini; i < ini + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  return true;
}

// "hh:mm:ss[.ffffff][+zz[:zz]]" at ini; fills the time fields (milliseconds truncated).
bool LerHora(std::string_view s, size_t ini, TDataHora& d) {
  if (!LerDigitos(s, ini, 2, d.hora) || s.size() < ini + 8 || s[ini + 2] != ':' || s[ini + 5] != ':' ||
      !LerDigitos(s, ini + 3, 2, d.minuto) || !LerDigitos(s, ini + 6, 2, d.segundo))
    return false;
  d.milissegundo = 0;
  size_t i = ini + 8;
  if (i < s.size() && s[i] == '.') {
    int casas = 0;
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++casas)
      if (casas < 3) d.milissegundo = d.milissegundo * 10 + (s[i] - '0');
    for (; casas < 3; ++casas) d.milissegundo *= 10;
  }
  // Anything left must be a time-zone offset, which a value without time zone drops.
  return i == s.size() || s[i] == '+' || s[i] == '-';
}

// "yyyy-mm-dd"; years outside 1..9999 and BC dates are not representable.
bool LerData(std::string_view s, TDataHora& d) {
  return s.size() >= 10 && s[4] == '-' && s[7] == '-' && LerDigitos(s, 0, 4, d.ano) && LerDigitos(s, 5, 2, d.mes) &&
         LerDigitos(s, 8, 2, d.dia) && (s.size() == 10 || s[10] == ' ') && s.find("BC") == std::string_view::npos;
}

Valor LerValor(Oid tipo, const char* bruto, int tamanho) {
  const std::string_view s(bruto, static_cast<size_t>(tamanho));
  switch (tipo) {
    case kInt2:
    case kInt4:
    case kInt8:
      if (auto v = LerInteiro(s)) return Valor::Inteiro(*v);
      break;
    case kNumeric:
      return Valor::Decimal(std::string(s));
    case kFloat4:
    case kFloat8: {
      double v = 0;
      auto [fim, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
      if (ec == std::errc{} && fim == s.data() + s.size()) return Valor::Real(v);
      // "Infinity" is longer than what from_chars accepts as a word.
      if (s == "Infinity") return Valor::Real(std::numeric_limits<double>::infinity());
      if (s == "-Infinity") return Valor::Real(-std::numeric_limits<double>::infinity());
      break;
    }
    case kBool:
      return Valor::Booleano(s == "t");
    case kDate: {
      TDataHora d;
      if (s.size() == 10 && LerData(s, d)) return Valor::Data(d);
      break;
    }
    case kTime:
    case kTimetz: {
      TDataHora d;
      if (LerHora(s, 0, d)) return Valor::Hora(d);
      break;
    }
    case kTimestamp:
    case kTimestamptz: {
      TDataHora d;
      if (LerData(s, d) && s.size() > 10 && LerHora(s, 11, d)) return Valor::DataHora(d);
      break;
    }
    case kBytea: {
      size_t n = 0;
      std::unique_ptr<unsigned char, decltype(&PQfreemem)> bytes(
          PQunescapeBytea(reinterpret_cast<const unsigned char*>(bruto), &n), &PQfreemem);
      if (!bytes) throw EErroBanco("falha ao decodificar valor bytea (memoria insuficiente)");
      return Valor::Blob(std::string(reinterpret_cast<const char*>(bytes.get()), n));
    }
    default:
      break;
  }
  // Values the kinds above cannot hold (infinity dates, years past 9999, ...) arrive as the server's text.
  return Valor::Texto(std::string(s));
}

TipoValor TipoDaColuna(Oid tipo) {
  switch (tipo) {
    case kInt2:
    case kInt4:
    case kInt8: return TipoValor::Inteiro;
    case kNumeric: return TipoValor::Decimal;
    case kFloat4:
    case kFloat8: return TipoValor::Real;
    case kBool: return TipoValor::Booleano;
    case kDate: return TipoValor::Data;
    case kTime:
    case kTimetz: return TipoValor::Hora;
    case kTimestamp:
    case kTimestamptz: return TipoValor::DataHora;
    case kBytea: return TipoValor::Blob;
    default: return TipoValor::Texto;
  }
}

bool EhTipoTexto(Oid tipo) {
  return tipo == kText || tipo == kVarchar || tipo == kBpchar || tipo == kChar || tipo == kName || tipo == kUuid;
}

// The parameters of one statement in the form PQexecParams takes them.
struct ParametrosPg {
  std::vector<Oid> tipos;
  std::vector<std::string> textos;
  std::vector<const char*> valores;
  std::vector<int> tamanhos;
  std::vector<int> formatos;

  explicit ParametrosPg(const std::vector<const Valor*>& ordem) {
    const size_t n = ordem.size();
    tipos.resize(n);
    textos.resize(n);
    valores.resize(n);
    tamanhos.resize(n);
    formatos.resize(n);
    for (size_t i = 0; i < n; ++i) Preparar(i, *ordem[i]);
    // Pointers only after every text is in place.
    for (size_t i = 0; i < n; ++i)
      if (!ordem[i]->EhNulo()) valores[i] = ordem[i]->tipo == TipoValor::Blob ? ordem[i]->texto.data() : textos[i].c_str();
  }

  void Preparar(size_t i, const Valor& v) {
    switch (v.tipo) {
      case TipoValor::Nulo: tipos[i] = 0; return;
      case TipoValor::Inteiro:
        // int4 where it fits, so function arguments of type integer accept it; int8 beyond.
        tipos[i] = v.inteiro >= INT32_MIN && v.inteiro <= INT32_MAX ? kInt4 : kInt8;
        textos[i] = std::to_string(v.inteiro);
        return;
      case TipoValor::Real: tipos[i] = kFloat8; textos[i] = v.ComoTexto(); return;
      case TipoValor::Booleano: tipos[i] = kBool; textos[i] = v.booleano ? "t" : "f"; return;
      case TipoValor::Decimal: tipos[i] = kNumeric; textos[i] = v.texto; return;
      case TipoValor::Data: tipos[i] = kDate; textos[i] = TextoData(v.dataHora); return;
      case TipoValor::Hora: tipos[i] = kTime; textos[i] = TextoHora(v.dataHora, true); return;
      case TipoValor::DataHora:
        tipos[i] = kTimestamp;
        textos[i] = TextoData(v.dataHora) + " " + TextoHora(v.dataHora, true);
        return;
      case TipoValor::Blob:
        tipos[i] = kBytea;
        formatos[i] = 1;
        tamanhos[i] = static_cast<int>(v.texto.size());
        if (v.texto.size() > static_cast<size_t>(INT32_MAX)) throw EErroBanco("valor binario grande demais");
        return;
      case TipoValor::Texto:
      case TipoValor::Memo:
        // Left untyped: the server takes the type the statement asks for (uuid, date, varchar...).
        tipos[i] = 0;
        // Text parameters travel as C strings; a NUL would silently cut the value.
        if (v.texto.find('\0') != std::string::npos)
          throw EErroBanco("texto com caractere nulo (0x00) nao pode ser enviado ao PostgreSQL");
        textos[i] = v.texto;
        return;
    }
  }
};

bool NomeSavepointValido(std::string_view nome) {
  if (nome.empty()) return false;
  for (size_t i = 0; i < nome.size(); ++i) {
    const char c = nome[i];
    const bool letra = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (!letra && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

class SessaoPg final : public Sessao {
 public:
  explicit SessaoPg(PgConn conexao) : conexao_(std::move(conexao)) {}

  bool EhPostgres() const override { return true; }

  Resultado Consultar(std::string_view sql, const Parametros& params) override {
    PgResult res = Rodar(sql, params);
    Resultado r;
    const int ncol = PQnfields(res.get());
    const int nlin = PQntuples(res.get());
    r.colunas.reserve(static_cast<size_t>(ncol));
    std::vector<Oid> tipos(static_cast<size_t>(ncol));
    for (int c = 0; c < ncol; ++c) {
      TColuna col;
      const Oid tipo = PQftype(res.get(), c);
      tipos[static_cast<size_t>(c)] = tipo;
      col.nome = PQfname(res.get(), c);
      col.tipo = TipoDaColuna(tipo);
      col.tipoNativo = static_cast<int>(tipo);
      const int mod = PQfmod(res.get(), c);
      if (tipo == kNumeric && mod >= 4) col.escala = (mod - 4) & 0xFFFF;
      if (EhTipoTexto(tipo)) col.charset = "UTF8";
      r.colunas.push_back(std::move(col));
    }
    r.linhas.reserve(static_cast<size_t>(nlin));
    for (int l = 0; l < nlin; ++l) {
      std::vector<Valor> linha;
      linha.reserve(static_cast<size_t>(ncol));
      for (int c = 0; c < ncol; ++c) {
        if (PQgetisnull(res.get(), l, c))
          linha.push_back(Valor::Nulo());
        else
          linha.push_back(LerValor(tipos[static_cast<size_t>(c)], PQgetvalue(res.get(), l, c), PQgetlength(res.get(), l, c)));
      }
      r.linhas.push_back(std::move(linha));
    }
    return r;
  }

  int64_t Executar(std::string_view sql, const Parametros& params) override {
    PgResult res = Rodar(sql, params);
    return LerInteiro(PQcmdTuples(res.get())).value_or(0);
  }

  void IniciarTransacao(Isolamento isolamento) override {
    if (EmTransacao()) throw EErroBanco("ja existe uma transacao aberta nesta sessao");
    Rodar(isolamento == Isolamento::LeituraConfirmadaSomenteLeitura ? "BEGIN READ ONLY ISOLATION LEVEL READ COMMITTED"
                                                                     : "BEGIN",
          {});
  }

  void Confirmar() override {
    if (!EmTransacao()) throw EErroBanco("nenhuma transacao aberta para confirmar");
    PgResult res = Rodar("COMMIT", {});
    // After a failed statement the server answers COMMIT with a rollback; that is not a success.
    if (std::string_view(PQcmdStatus(res.get())) == "ROLLBACK")
      throw EErroBanco("a transacao foi desfeita pelo servidor: um comando dentro dela falhou", "25P02");
  }

  void Desfazer() override {
    if (!EmTransacao()) return;
    Rodar("ROLLBACK", {});
  }

  bool EmTransacao() const override {
    const PGTransactionStatusType st = PQtransactionStatus(conexao_.get());
    return st == PQTRANS_INTRANS || st == PQTRANS_INERROR || st == PQTRANS_ACTIVE;
  }

  void CriarSavepoint(std::string_view nome) override { Rodar("SAVEPOINT " + Savepoint(nome), {}); }
  void VoltarAoSavepoint(std::string_view nome) override { Rodar("ROLLBACK TO SAVEPOINT " + Savepoint(nome), {}); }
  void LiberarSavepoint(std::string_view nome) override { Rodar("RELEASE SAVEPOINT " + Savepoint(nome), {}); }

 private:
  static std::string Savepoint(std::string_view nome) {
    if (!NomeSavepointValido(nome)) throw EErroBanco("nome de savepoint invalido: \"" + std::string(nome) + "\"");
    return std::string(nome);
  }

  PgResult Rodar(std::string_view sql, const Parametros& params) {
    PgResult res(nullptr, &PQclear);
    if (params.empty()) {
      // Without parameters the statement goes exactly as written (function bodies, DDL, scripts).
      res.reset(PQexec(conexao_.get(), std::string(sql).c_str()));
    } else {
      const SqlPreparado prep = AnalisarParametros(sql, &Marcador);
      const ParametrosPg p(OrdenarParametros(prep, params));
      res.reset(PQexecParams(conexao_.get(), prep.texto.c_str(), static_cast<int>(p.valores.size()),
                             p.tipos.data(), p.valores.data(), p.tamanhos.data(), p.formatos.data(), 0));
    }
    if (!res) throw EErroBanco(SemQuebraFinal(PQerrorMessage(conexao_.get())));
    const ExecStatusType st = PQresultStatus(res.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_EMPTY_QUERY) {
      const char* estado = PQresultErrorField(res.get(), PG_DIAG_SQLSTATE);
      std::string msg = SemQuebraFinal(PQresultErrorMessage(res.get()));
      if (msg.empty()) msg = SemQuebraFinal(PQerrorMessage(conexao_.get()));
      if (msg.empty()) msg = std::string("resultado inesperado do servidor: ") + PQresStatus(st);
      throw EErroBanco(msg, estado ? estado : "");
    }
    return res;
  }

  PgConn conexao_;
};

}  // namespace

SessaoPtr AbrirSessaoPg(const std::string& host, int32_t porta, const std::string& senha, const std::string& usuario,
                        const std::string& banco) {
  const std::string textoPorta = std::to_string(porta);
  // ISO dates and exact float text whatever the server's defaults are.
  const char* chaves[] = {"host",     "port",           "dbname",          "user",
                          "password", "client_encoding", "connect_timeout", "options",
                          "application_name", nullptr};
  const char* valores[] = {host.c_str(),  textoPorta.c_str(), banco.c_str(), usuario.c_str(),
                           senha.c_str(), "UTF8",             "15",          "-c DateStyle=ISO -c extra_float_digits=3",
                           "TidewellAgente", nullptr};
  // expand_dbname = 0: a database name is never read as a connection string.
  PgConn conexao(PQconnectdbParams(chaves, valores, 0), &PQfinish);
  if (!conexao) throw EErroBanco("sem memoria para abrir a conexao PostgreSQL");
  if (PQstatus(conexao.get()) != CONNECTION_OK) throw EErroBanco(SemQuebraFinal(PQerrorMessage(conexao.get())));
  // Server notices ("nao existe, ignorando"...) would otherwise go to standard error.
  PQsetNoticeProcessor(conexao.get(), &IgnorarAviso, nullptr);
  return std::make_unique<SessaoPg>(std::move(conexao));
}

}  // namespace tw::db_interno
