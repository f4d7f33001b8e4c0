#pragma once
// The database session layer: sessions to the client database (Firebird 3 or PostgreSQL),
// statements with named (:name) and positional (?) parameters, typed values, and the
// dialect-dependent SQL pieces the synchronisation code shares.
//
// Every text handed in or out is UTF-8. On Firebird the session uses character set NONE and the
// layer itself decodes/encodes each text column and parameter by its declared character set.
// Driver failures are raised as EErroBanco with the driver's own message.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "u_config.h"
#include "u_tipos.h"

namespace tw {

// A calendar date and time of day without time zone. The zero date-time is 30 December 1899
// 00:00:00.000; a pure time value carries that date, a pure date value midnight.
struct TDataHora {
  int ano = 1899, mes = 12, dia = 30;
  int hora = 0, minuto = 0, segundo = 0, milissegundo = 0;
  friend bool operator==(const TDataHora&, const TDataHora&) = default;
};

// "yyyy-mm-dd".
std::string TextoData(const TDataHora& d);
// "hh:nn:ss", or "hh:nn:ss.zzz" with the milliseconds.
std::string TextoHora(const TDataHora& d, bool comMilissegundos = false);

enum class TipoValor {
  Nulo,
  Inteiro,   // 16/32/64-bit integer columns
  Decimal,   // exact NUMERIC/DECIMAL, held as text ("-12.3400"), never through a float
  Real,      // float/double
  Booleano,
  Data,
  Hora,
  DataHora,
  Texto,     // character columns, UTF-8
  Memo,      // text blob / text of unbounded size, UTF-8
  Blob,      // binary bytes
};

// One value read from or bound to a statement.
struct Valor {
  TipoValor tipo = TipoValor::Nulo;
  int64_t inteiro = 0;
  double real = 0;
  bool booleano = false;
  std::string texto;   // Texto, Memo, Decimal (as text) and Blob (raw bytes)
  TDataHora dataHora;  // Data, Hora, DataHora

  static Valor Nulo() { return {}; }
  static Valor Inteiro(int64_t v);
  static Valor Real(double v);
  static Valor Booleano(bool v);
  static Valor Texto(std::string v);
  static Valor Memo(std::string v);
  static Valor Blob(std::string bytes);
  static Valor Decimal(std::string texto);
  static Valor Data(TDataHora v);
  static Valor Hora(TDataHora v);
  static Valor DataHora(TDataHora v);

  bool EhNulo() const { return tipo == TipoValor::Nulo; }
  // Any value as text: integers in decimal, reals in shortest round-trip form, booleans "1"/"0",
  // dates "yyyy-mm-dd", times "hh:nn:ss", date-times "yyyy-mm-dd hh:nn:ss"; NULL as empty text.
  std::string ComoTexto() const;
  // Integers as they are; Decimal/Texto parsed (EErroConversao when not an integer); NULL as 0.
  int64_t ComoInteiro() const;
};

// Statement parameters. Named entries (":name" in the SQL, matched without regard to case) and
// positional entries ("?" in the SQL, empty name, in order) may be given in any order.
struct Parametro {
  std::string nome;
  Valor valor;
};
using Parametros = std::vector<Parametro>;

// Column description as the server reports it.
struct TColuna {
  std::string nome;          // as the server reports it (alias when given)
  TipoValor tipo = TipoValor::Texto;  // the kind of value this column yields
  int tipoNativo = 0;        // Firebird: SQL type code (masked, e.g. 452 SQL_TEXT); PostgreSQL: type OID
  int escala = 0;            // decimal scale (digits after the point), 0 when none
  int subtipo = 0;           // Firebird blob sub-type (1 = text), or exact-numeric sub-type (1 NUMERIC,
                             // 2 DECIMAL, 0 plain integer); 0 otherwise
  std::string charset;       // declared character set of a text column ("UTF8", "WIN1252", ...); empty otherwise
};

// A fully read result: every row materialised.
struct Resultado {
  std::vector<TColuna> colunas;
  std::vector<std::vector<Valor>> linhas;

  // Index of a column by name (without regard to case); -1 when absent.
  int Indice(std::string_view nome) const;
  // Value of the named column in row i; EErroBanco when the column does not exist.
  const Valor& Campo(size_t linha, std::string_view nome) const;
  bool Vazio() const { return linhas.empty(); }
};

enum class Isolamento {
  Padrao,                          // read-write; Firebird: read committed, wait; PostgreSQL: default
  LeituraConfirmadaSomenteLeitura, // read-only, read committed
};

// An open session. Outside an explicit transaction every statement commits on its own.
class Sessao {
 public:
  virtual ~Sessao() = default;
  Sessao() = default;
  Sessao(const Sessao&) = delete;
  Sessao& operator=(const Sessao&) = delete;

  virtual bool EhPostgres() const = 0;

  // Runs a statement and reads every row it yields. With no parameters given, the statement is
  // sent exactly as written (trigger and function bodies may use ":name" for their own variables).
  virtual Resultado Consultar(std::string_view sql, const Parametros& params = {}) = 0;
  // Runs a statement; returns the number of rows it changed (0 when the driver reports none).
  virtual int64_t Executar(std::string_view sql, const Parametros& params = {}) = 0;
  // First column of the first row; NULL when there is no row.
  Valor Escalar(std::string_view sql, const Parametros& params = {});

  virtual void IniciarTransacao(Isolamento isolamento = Isolamento::Padrao) = 0;
  virtual void Confirmar() = 0;
  virtual void Desfazer() = 0;
  virtual bool EmTransacao() const = 0;
  // Savepoints inside an explicit transaction.
  virtual void CriarSavepoint(std::string_view nome) = 0;
  virtual void VoltarAoSavepoint(std::string_view nome) = 0;
  virtual void LiberarSavepoint(std::string_view nome) = 0;
};
using SessaoPtr = std::unique_ptr<Sessao>;

// An explicit transaction that rolls back when it goes out of scope without Confirmar().
class Transacao {
 public:
  explicit Transacao(Sessao& sessao, Isolamento isolamento = Isolamento::Padrao);
  ~Transacao();
  Transacao(const Transacao&) = delete;
  Transacao& operator=(const Transacao&) = delete;
  void Confirmar();

 private:
  Sessao& sessao_;
  bool ativa_;
};

// --- Opening sessions ----------------------------------------------------------------------

// Opens a session: PostgreSQL when SgbdEhPostgres(sgbd), else Firebird 3 (character set NONE).
// database = Firebird file path on the server, or PostgreSQL database name.
// Raises EErroBanco with the driver's message when the connection cannot be made.
SessaoPtr AbrirConexao(std::string_view sgbd, const std::string& host, int32_t porta, const std::string& senha,
                       const std::string& usuario, const std::string& banco);
SessaoPtr AbrirConexaoAgente(const TConfigAgente& cfg);

bool SgbdEhPostgres(std::string_view sgbd);
int32_t PortaPadrao(std::string_view sgbd);
std::string UsuarioPadrao(std::string_view sgbd);
bool EhPostgres(const Sessao& s);

// --- Dialect pieces ------------------------------------------------------------------------

struct TLimite {
  std::string cabeca;  // goes right after "select "
  std::string cauda;   // goes at the end of the statement
};
TLimite LimiteLinhas(const Sessao& s, int64_t n);
std::string CitarIdent(const Sessao& s, std::string_view nome);
std::string ParamUuid(const Sessao& s, std::string_view nome);
std::string SqlGravarPorUuid(const Sessao& s, std::string_view tabela, const std::vector<std::string>& colunas);
std::string SqlApagarPorUuid(const Sessao& s, std::string_view tabela);
bool ExisteUuid(Sessao& s, std::string_view tabela, const std::string& uuid);
// Switches capture suppression on/off for this session only.
void MarcarAplicando(Sessao& s, std::string_view prefixo, bool ligado);

// A name inside double quotes exactly as given (no case change), embedded double quotes doubled.
std::string IdentificadorExato(std::string_view nome);

// An SQL string literal: single quotes around, each single quote inside doubled.
std::string LiteralSql(std::string_view texto);

// --- Per-table catalogue caches (process-wide; entries live until the process ends) --------

// Upper-cased names of the table's computed columns (membership test: ContemSemCaixa).
using TListaColunas = std::vector<std::string>;
bool ContemSemCaixa(const TListaColunas& lista, std::string_view nome);
const TListaColunas& ComputadasDe(Sessao& s, std::string_view tabela);
// Upper-cased column name -> kind.
using TMapaTipos = std::map<std::string, TColInfo>;
const TMapaTipos& TiposDe(Sessao& s, std::string_view tabela);
// Empties both caches (tests only: a process normally works on one database).
void LimparCachesCatalogo();

int32_t TipoPgParaCodigo(std::string_view tipo);

// Parses "yyyy-mm-dd[(T| )hh:nn:ss...]" or "hh:nn:ss"; anything else gives the zero date-time.
// EErroConversao for a non-digit or out-of-range field.
TDataHora TextoParaDataHora(std::string_view s);

}  // namespace tw
