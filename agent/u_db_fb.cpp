// Firebird 3 back-end of the session layer, over the ISC API of fbclient.
//
// The connection uses character set NONE, so the server hands over every text exactly as it is
// stored and accepts our bytes unchanged. Each text column, text blob and text parameter is
// therefore decoded/encoded here by its own declared character set (u_charset); NONE is taken
// as WIN1252.
#include <ibase.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "u_charset.h"
#include "u_db_interno.h"
#include "u_erros.h"
#include "u_texto.h"

namespace tw {
namespace {

constexpr unsigned short Dialeto = SQL_DIALECT_V6;
constexpr short CharsetOctets = 1;
constexpr short CharsetUtf8 = 4;
// Days from the Firebird date origin (17 Nov 1858) to 1 Jan 1970.
constexpr int64_t DiasAte1970 = 40587;
// Seconds to wait for the server before a connection attempt fails.
constexpr int TempoConexaoSegundos = 30;

// ---------------------------------------------------------------------------------------------
// Status vector and errors

struct Status {
  ISC_STATUS_ARRAY v{};
  bool Falhou() const { return v[0] == 1 && v[1] != 0; }
};

// The driver's own text (every line fb_interpret gives, joined by line breaks), the SQLSTATE and
// the GDS code of the first error.
[[noreturn]] void LancarErro(const Status& st) {
  std::string mensagem;
  const ISC_STATUS* p = st.v;
  char linha[1024];
  while (fb_interpret(linha, sizeof linha, &p) > 0) {
    if (!mensagem.empty()) mensagem += '\n';
    mensagem += linha;
  }
  if (mensagem.empty()) mensagem = "erro do Firebird " + std::to_string(st.v[1]);
  char estado[6] = {};
  fb_sqlstate(estado, st.v);
  // Server messages may quote stored values in any character set.
  throw EErroBanco(SanearUtf8(mensagem), estado, static_cast<long>(st.v[1]));
}

void Verificar(const Status& st) {
  if (st.Falhou()) LancarErro(st);
}

std::string NomeCharset(int id) {
  std::string_view nome = NomeCharsetFb(id & 0xFF);
  return nome.empty() ? "charset " + std::to_string(id & 0xFF) : std::string(nome);
}

// ---------------------------------------------------------------------------------------------
// Handles

class Anexo {
 public:
  Anexo() = default;
  ~Anexo() {
    if (h_) {
      Status st;
      isc_detach_database(st.v, &h_);
    }
  }
  Anexo(const Anexo&) = delete;
  Anexo& operator=(const Anexo&) = delete;
  isc_db_handle* ptr() { return &h_; }

 private:
  isc_db_handle h_{};
};

class TransacaoFb {
 public:
  TransacaoFb(isc_db_handle* db, Isolamento isolamento) {
    static const char tpbPadrao[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                     isc_tpb_wait};
    static const char tpbLeitura[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                                      isc_tpb_wait};
    const bool leitura = isolamento == Isolamento::LeituraConfirmadaSomenteLeitura;
    Teb teb{db, leitura ? static_cast<long>(sizeof tpbLeitura) : static_cast<long>(sizeof tpbPadrao),
                leitura ? tpbLeitura : tpbPadrao};
    Status st;
    isc_start_multiple(st.v, &h_, 1, &teb);
    Verificar(st);
  }
  ~TransacaoFb() {
    if (h_) {
      Status st;
      isc_rollback_transaction(st.v, &h_);
    }
  }
  TransacaoFb(const TransacaoFb&) = delete;
  TransacaoFb& operator=(const TransacaoFb&) = delete;

  isc_tr_handle* ptr() { return &h_; }

  // A failed commit leaves the transaction open on the server: roll it back, then report the
  // commit's failure.
  void Confirmar() {
    Status st;
    isc_commit_transaction(st.v, &h_);
    if (st.Falhou()) {
      Status st2;
      isc_rollback_transaction(st2.v, &h_);
      h_ = {};
      LancarErro(st);
    }
  }
  void Desfazer() {
    Status st;
    isc_rollback_transaction(st.v, &h_);
    h_ = {};
    Verificar(st);
  }

 private:
  // isc_start_multiple takes its transaction descriptions as this layout.
  struct Teb {
    isc_db_handle* db;
    long tamanho;
    const char* tpb;
  };
  isc_tr_handle h_{};
};

class BlobFb {
 public:
  BlobFb() = default;
  ~BlobFb() {
    if (h_) {
      Status st;
      if (criado_)
        isc_cancel_blob(st.v, &h_);
      else
        isc_close_blob(st.v, &h_);
    }
  }
  BlobFb(const BlobFb&) = delete;
  BlobFb& operator=(const BlobFb&) = delete;

  void Criar(isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD* id) {
    Status st;
    isc_create_blob2(st.v, db, tr, &h_, id, 0, nullptr);
    Verificar(st);
    criado_ = true;
  }
  void Abrir(isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD* id) {
    Status st;
    isc_open_blob2(st.v, db, tr, &h_, id, 0, nullptr);
    Verificar(st);
  }
  void Escrever(std::string_view bytes) {
    constexpr size_t Segmento = 32768;
    for (size_t pos = 0; pos < bytes.size(); pos += Segmento) {
      const size_t n = std::min(Segmento, bytes.size() - pos);
      Status st;
      isc_put_segment(st.v, &h_, static_cast<unsigned short>(n), bytes.data() + pos);
      Verificar(st);
    }
  }
  std::string LerTudo() {
    std::string r;
    char buf[65535];
    for (;;) {
      unsigned short lidos = 0;
      Status st;
      ISC_STATUS rc = isc_get_segment(st.v, &h_, &lidos, sizeof buf, buf);
      r.append(buf, lidos);
      if (rc == 0 || st.v[1] == isc_segment) continue;  // whole segment, or the rest comes next call
      if (st.v[1] == isc_segstr_eof) break;
      LancarErro(st);
    }
    return r;
  }
  // A created blob must be closed before its id is used.
  void Fechar() {
    Status st;
    isc_close_blob(st.v, &h_);
    Verificar(st);
    h_ = {};
  }

 private:
  isc_blob_handle h_{};
  bool criado_ = false;
};

// An XSQLDA with its own storage for values and null indicators.
class Descritor {
 public:
  explicit Descritor(short n) { Alocar(n); }
  XSQLDA* da() { return reinterpret_cast<XSQLDA*>(mem_.data()); }
  const XSQLDA* da() const { return reinterpret_cast<const XSQLDA*>(mem_.data()); }
  short Usados() const { return da()->sqld; }
  XSQLVAR& var(short i) { return da()->sqlvar[i]; }
  const XSQLVAR& var(short i) const { return da()->sqlvar[i]; }

  void Alocar(short n) {
    const short quantos = std::max<short>(n, 1);
    const size_t bytes = sizeof(XSQLDA) + static_cast<size_t>(quantos - 1) * sizeof(XSQLVAR);
    mem_.assign((bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    da()->version = SQLDA_VERSION1;
    da()->sqln = quantos;
  }

  // Points every described variable at storage of its (possibly overridden) type and size.
  void PrepararArmazenamento() {
    const short n = Usados();
    dados_.assign(static_cast<size_t>(n), {});
    indicadores_.assign(static_cast<size_t>(n), 0);
    for (short i = 0; i < n; ++i) {
      XSQLVAR& v = var(i);
      size_t tamanho = static_cast<size_t>(std::max<short>(v.sqllen, 0)) + 2;
      if ((v.sqltype & ~1) == SQL_VARYING) tamanho += 2;
      auto& d = dados_[static_cast<size_t>(i)];
      d.assign((tamanho + 7) / 8, 0);
      v.sqldata = reinterpret_cast<ISC_SCHAR*>(d.data());
      v.sqlind = &indicadores_[static_cast<size_t>(i)];
    }
  }

  // Storage for one input variable that holds `tamanho` bytes.
  char* Reservar(short i, size_t tamanho) {
    auto& d = dados_[static_cast<size_t>(i)];
    d.assign((tamanho + 2 + 7) / 8, 0);
    XSQLVAR& v = var(i);
    v.sqldata = reinterpret_cast<ISC_SCHAR*>(d.data());
    return v.sqldata;
  }

 private:
  std::vector<uint64_t> mem_;
  std::vector<std::vector<uint64_t>> dados_;
  std::vector<short> indicadores_;
};

class Comando {
 public:
  explicit Comando(isc_db_handle* db) {
    Status st;
    isc_dsql_allocate_statement(st.v, db, &h_);
    Verificar(st);
  }
  ~Comando() {
    if (h_) {
      Status st;
      isc_dsql_free_statement(st.v, &h_, DSQL_drop);
    }
  }
  Comando(const Comando&) = delete;
  Comando& operator=(const Comando&) = delete;
  isc_stmt_handle* ptr() { return &h_; }

 private:
  isc_stmt_handle h_{};
};

// ---------------------------------------------------------------------------------------------
// Dates and times

int64_t DiasDesde1970(int ano, int mes, int dia) {
  const int64_t y = ano - (mes <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (mes + (mes > 2 ? -3 : 9)) + 2) / 5 + dia - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void DataDeDias(int64_t z, int& ano, int& mes, int& dia) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  dia = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  mes = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  ano = static_cast<int>(yoe + era * 400 + (mes <= 2 ? 1 : 0));
}

bool AnoBissexto(int a) { return (a % 4 == 0 && a % 100 != 0) || a % 400 == 0; }

int DiasNoMes(int ano, int mes) {
  static const int dias[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return mes == 2 && AnoBissexto(ano) ? 29 : dias[mes - 1];
}

ISC_DATE CodificarData(const TDataHora& d) {
  if (d.ano < 1 || d.ano > 9999 || d.mes < 1 || d.mes > 12 || d.dia < 1 || d.dia > DiasNoMes(d.ano, d.mes))
    throw EErroConversao("data invalida para o Firebird: " + TextoData(d) + " " + TextoHora(d, true));
  return static_cast<ISC_DATE>(DiasDesde1970(d.ano, d.mes, d.dia) + DiasAte1970);
}

ISC_TIME CodificarHora(const TDataHora& d) {
  if (d.hora < 0 || d.hora > 23 || d.minuto < 0 || d.minuto > 59 || d.segundo < 0 || d.segundo > 59 ||
      d.milissegundo < 0 || d.milissegundo > 999)
    throw EErroConversao("hora invalida para o Firebird: " + TextoData(d) + " " + TextoHora(d, true));
  return static_cast<ISC_TIME>(((d.hora * 60 + d.minuto) * 60 + d.segundo) * ISC_TIME_SECONDS_PRECISION +
                               d.milissegundo * (ISC_TIME_SECONDS_PRECISION / 1000));
}

void DecodificarData(ISC_DATE v, TDataHora& d) { DataDeDias(int64_t{v} - DiasAte1970, d.ano, d.mes, d.dia); }

void DecodificarHora(ISC_TIME v, TDataHora& d) {
  const unsigned segundos = v / ISC_TIME_SECONDS_PRECISION;
  d.hora = static_cast<int>(segundos / 3600);
  d.minuto = static_cast<int>(segundos / 60 % 60);
  d.segundo = static_cast<int>(segundos % 60);
  d.milissegundo = static_cast<int>(v % ISC_TIME_SECONDS_PRECISION / (ISC_TIME_SECONDS_PRECISION / 1000));
}

// ---------------------------------------------------------------------------------------------
// Exact decimals: a scaled integer as text, never through a float

std::string TextoDecimal(int64_t valor, int escala) {
  const bool negativo = valor < 0;
  const uint64_t magnitude = negativo ? uint64_t{0} - static_cast<uint64_t>(valor) : static_cast<uint64_t>(valor);
  std::string digitos = std::to_string(magnitude);
  if (escala > 0) {
    digitos.append(static_cast<size_t>(escala), '0');
  } else if (escala < 0) {
    const auto casas = static_cast<size_t>(-escala);
    if (digitos.size() <= casas) digitos.insert(0, casas + 1 - digitos.size(), '0');
    digitos.insert(digitos.size() - casas, 1, '.');
  }
  return negativo ? "-" + digitos : digitos;
}

// ---------------------------------------------------------------------------------------------
// Statement information

std::vector<char> InfoComando(isc_stmt_handle* stmt, char item) {
  const char itens[] = {item};
  std::vector<char> buf(256);
  Status st;
  isc_dsql_sql_info(st.v, stmt, sizeof itens, itens, static_cast<short>(buf.size()), buf.data());
  Verificar(st);
  return buf;
}

int TipoComando(isc_stmt_handle* stmt) {
  std::vector<char> buf = InfoComando(stmt, isc_info_sql_stmt_type);
  if (buf[0] != isc_info_sql_stmt_type) return 0;
  const short len = static_cast<short>(isc_vax_integer(buf.data() + 1, 2));
  return static_cast<int>(isc_vax_integer(buf.data() + 3, len));
}

// Rows inserted, updated and deleted by the last execution.
int64_t LinhasAfetadas(isc_stmt_handle* stmt) {
  std::vector<char> buf = InfoComando(stmt, isc_info_sql_records);
  if (buf[0] != isc_info_sql_records) return 0;
  const auto total = static_cast<size_t>(isc_vax_integer(buf.data() + 1, 2));
  int64_t soma = 0;
  for (size_t p = 3; p < 3 + total && p < buf.size() && buf[p] != isc_info_end;) {
    const char item = buf[p];
    const auto len = static_cast<short>(isc_vax_integer(buf.data() + p + 1, 2));
    const int64_t n = isc_vax_integer(buf.data() + p + 3, len);
    if (item == isc_info_req_insert_count || item == isc_info_req_update_count || item == isc_info_req_delete_count)
      soma += n;
    p += 3 + static_cast<size_t>(len);
  }
  return soma;
}

// ---------------------------------------------------------------------------------------------
// Reading values

short TipoBase(const XSQLVAR& v) { return static_cast<short>(v.sqltype & ~1); }

// For text the low byte of sqlsubtype is the character set; for text blobs it is sqlscale.
int CharsetTexto(const XSQLVAR& v) { return v.sqlsubtype & 0xFF; }
int CharsetBlob(const XSQLVAR& v) { return v.sqlscale & 0xFF; }

TColuna DescreverColuna(const XSQLVAR& v) {
  TColuna c;
  c.nome = SanearUtf8(std::string_view(v.aliasname, static_cast<size_t>(std::max<short>(v.aliasname_length, 0))));
  c.tipoNativo = TipoBase(v);
  switch (c.tipoNativo) {
    case SQL_TEXT:
    case SQL_VARYING:
      c.charset = NomeCharset(CharsetTexto(v));
      c.tipo = CharsetTexto(v) == CharsetOctets ? TipoValor::Blob : TipoValor::Texto;
      break;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      c.escala = -v.sqlscale;
      c.subtipo = v.sqlsubtype;  // 1 NUMERIC, 2 DECIMAL: tells NUMERIC(18,0) from BIGINT
      c.tipo = v.sqlscale == 0 ? TipoValor::Inteiro : TipoValor::Decimal;
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      c.tipo = TipoValor::Real;
      break;
    case SQL_BOOLEAN:
      c.tipo = TipoValor::Booleano;
      break;
    case SQL_TYPE_DATE:
      c.tipo = TipoValor::Data;
      break;
    case SQL_TYPE_TIME:
      c.tipo = TipoValor::Hora;
      break;
    case SQL_TIMESTAMP:
      c.tipo = TipoValor::DataHora;
      break;
    case SQL_BLOB:
      c.subtipo = v.sqlsubtype;
      if (v.sqlsubtype == 1) {
        c.tipo = TipoValor::Memo;
        c.charset = NomeCharset(CharsetBlob(v));
      } else {
        c.tipo = TipoValor::Blob;
      }
      break;
    case SQL_NULL:
      c.tipo = TipoValor::Nulo;
      break;
    default:
      throw EErroBanco("coluna " + c.nome + " tem um tipo de dado nao suportado (" + std::to_string(c.tipoNativo) + ")");
  }
  return c;
}

// A CHAR(n) in a multi-byte set arrives padded with blanks up to n times the widest character;
// the padding beyond n characters is not part of the value (the first n characters, blanks
// included, are what the column holds).
std::string CortarPreenchimento(std::string texto, size_t caracteres) {
  size_t n = ContarCaracteres(texto);
  while (n > caracteres && !texto.empty() && texto.back() == ' ') {
    texto.pop_back();
    --n;
  }
  return texto;
}

struct Contexto {
  isc_db_handle* db;
  isc_tr_handle* tr;
};

Valor LerValor(const XSQLVAR& v, const TColuna& col, Contexto ctx) {
  if ((v.sqltype & 1) && *v.sqlind < 0) return Valor::Nulo();
  const char* d = v.sqldata;
  switch (TipoBase(v)) {
    case SQL_TEXT: {
      std::string_view bytes(d, static_cast<size_t>(v.sqllen));
      if (col.tipo == TipoValor::Blob) return Valor::Blob(std::string(bytes));
      const int cs = CharsetTexto(v);
      const auto largura = static_cast<size_t>(std::max(BytesPorCaractereFb(cs), 1));
      return Valor::Texto(CortarPreenchimento(DecodificarTexto(bytes, col.charset), bytes.size() / largura));
    }
    case SQL_VARYING: {
      short len = 0;
      std::memcpy(&len, d, sizeof len);
      std::string_view bytes(d + 2, static_cast<size_t>(std::max<short>(len, 0)));
      if (col.tipo == TipoValor::Blob) return Valor::Blob(std::string(bytes));
      return Valor::Texto(DecodificarTexto(bytes, col.charset));
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
      int64_t x = 0;
      if (TipoBase(v) == SQL_SHORT) {
        int16_t s = 0;
        std::memcpy(&s, d, sizeof s);
        x = s;
      } else if (TipoBase(v) == SQL_LONG) {
        int32_t l = 0;
        std::memcpy(&l, d, sizeof l);
        x = l;
      } else {
        std::memcpy(&x, d, sizeof x);
      }
      return v.sqlscale == 0 ? Valor::Inteiro(x) : Valor::Decimal(TextoDecimal(x, v.sqlscale));
    }
    case SQL_FLOAT: {
      float f = 0;
      std::memcpy(&f, d, sizeof f);
      return Valor::Real(static_cast<double>(f));
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
      double x = 0;
      std::memcpy(&x, d, sizeof x);
      return Valor::Real(x);
    }
    case SQL_BOOLEAN:
      return Valor::Booleano(*d != 0);
    case SQL_TYPE_DATE: {
      ISC_DATE x = 0;
      std::memcpy(&x, d, sizeof x);
      TDataHora r;
      DecodificarData(x, r);
      return Valor::Data(r);
    }
    case SQL_TYPE_TIME: {
      ISC_TIME x = 0;
      std::memcpy(&x, d, sizeof x);
      TDataHora r;
      DecodificarHora(x, r);
      return Valor::Hora(r);
    }
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP x{};
      std::memcpy(&x, d, sizeof x);
      TDataHora r;
      DecodificarData(x.timestamp_date, r);
      DecodificarHora(x.timestamp_time, r);
      return Valor::DataHora(r);
    }
    case SQL_BLOB: {
      ISC_QUAD id{};
      std::memcpy(&id, d, sizeof id);
      BlobFb blob;
      blob.Abrir(ctx.db, ctx.tr, &id);
      std::string bytes = blob.LerTudo();
      if (col.tipo == TipoValor::Memo) return Valor::Memo(DecodificarTexto(bytes, col.charset));
      return Valor::Blob(std::move(bytes));
    }
    default:
      return Valor::Nulo();
  }
}

// ---------------------------------------------------------------------------------------------
// Binding parameters: each variable is retyped to the kind of the value bound to it and the
// server converts to the declared type.

template <typename T>
void Guardar(Descritor& in, short i, short tipo, const T& x, short escala = 0) {
  XSQLVAR& v = in.var(i);
  v.sqltype = static_cast<short>(tipo | 1);
  v.sqlscale = escala;
  v.sqllen = static_cast<short>(sizeof(T));
  std::memcpy(in.Reservar(i, sizeof(T)), &x, sizeof(T));
}

void GuardarTexto(Descritor& in, short i, std::string_view bytes, short subtipoCharset) {
  if (bytes.size() > 32765)
    throw EErroBanco("parametro " + std::to_string(i + 1) + ": texto de " + std::to_string(bytes.size()) +
                     " bytes excede o limite de 32765 bytes de um parametro texto");
  XSQLVAR& v = in.var(i);
  v.sqltype = SQL_VARYING | 1;
  v.sqlsubtype = subtipoCharset;
  v.sqlscale = 0;
  v.sqllen = static_cast<short>(bytes.size());
  char* d = in.Reservar(i, bytes.size() + 2);
  const auto len = static_cast<short>(bytes.size());
  std::memcpy(d, &len, sizeof len);
  if (!bytes.empty()) std::memcpy(d + 2, bytes.data(), bytes.size());
}

// Text, decimal and byte values as they are held; any other kind in its text form.
std::string TextoDoValor(const Valor& x) {
  switch (x.tipo) {
    case TipoValor::Texto:
    case TipoValor::Memo:
    case TipoValor::Decimal:
    case TipoValor::Blob:
      return x.texto;
    default:
      return x.ComoTexto();
  }
}

// The value's bytes as they go into a text column or text blob of character set `charset`;
// binary values go unchanged.
std::string BytesParaCharset(const Valor& x, int charset) {
  if (x.tipo == TipoValor::Blob) return x.texto;
  return CodificarTexto(TextoDoValor(x), NomeCharset(charset));
}

void Vincular(Descritor& in, const std::vector<const Valor*>& valores, Contexto ctx) {
  in.PrepararArmazenamento();
  for (short i = 0; i < in.Usados(); ++i) {
    XSQLVAR& v = in.var(i);
    const Valor& x = *valores[static_cast<size_t>(i)];
    const short alvo = TipoBase(v);
    *v.sqlind = 0;
    v.sqltype = static_cast<short>(alvo | 1);  // the null flag makes sqlind count
    if (x.EhNulo()) {
      *v.sqlind = -1;
      continue;
    }
    const bool alvoTexto = alvo == SQL_TEXT || alvo == SQL_VARYING;
    const bool alvoInteiro = alvo == SQL_SHORT || alvo == SQL_LONG || alvo == SQL_INT64;
    if (alvo == SQL_BLOB) {
      // Written in the blob's own character set (text) or as they are (binary): the server
      // then stores the bytes without converting them.
      const std::string bytes = v.sqlsubtype == 1 ? BytesParaCharset(x, CharsetBlob(v)) : TextoDoValor(x);
      ISC_QUAD id{};
      BlobFb blob;
      blob.Criar(ctx.db, ctx.tr, &id);
      blob.Escrever(bytes);
      blob.Fechar();
      std::memcpy(v.sqldata, &id, sizeof id);
      continue;
    }
    switch (x.tipo) {
      case TipoValor::Inteiro:
        Guardar(in, i, SQL_INT64, x.inteiro);
        break;
      case TipoValor::Real:
        Guardar(in, i, SQL_DOUBLE, x.real);
        break;
      case TipoValor::Booleano:
        if (alvoInteiro)
          Guardar(in, i, SQL_INT64, int64_t{x.booleano ? 1 : 0});
        else
          Guardar(in, i, SQL_BOOLEAN, static_cast<FB_BOOLEAN>(x.booleano ? 1 : 0));
        break;
      case TipoValor::Data:
        Guardar(in, i, SQL_TYPE_DATE, CodificarData(x.dataHora));
        break;
      case TipoValor::Hora:
        Guardar(in, i, SQL_TYPE_TIME, CodificarHora(x.dataHora));
        break;
      case TipoValor::DataHora:
        Guardar(in, i, SQL_TIMESTAMP, ISC_TIMESTAMP{CodificarData(x.dataHora), CodificarHora(x.dataHora)});
        break;
      case TipoValor::Texto:
      case TipoValor::Memo:
      case TipoValor::Decimal:
        if (alvoTexto)
          GuardarTexto(in, i, BytesParaCharset(x, CharsetTexto(v)), v.sqlsubtype);
        else
          GuardarTexto(in, i, x.texto, CharsetUtf8);
        break;
      case TipoValor::Blob:
        GuardarTexto(in, i, x.texto, alvoTexto ? v.sqlsubtype : CharsetOctets);
        break;
      case TipoValor::Nulo:
        break;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The session

// Savepoint names go into the statement text, so only plain identifiers are accepted.
std::string NomeSavepoint(std::string_view nome) {
  bool valido = !nome.empty() && nome.size() <= 31 && !(nome[0] >= '0' && nome[0] <= '9');
  for (char c : nome)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) valido = false;
  if (!valido) throw EErroBanco("nome de savepoint invalido: \"" + std::string(nome) + "\"");
  return std::string(nome);
}

class SessaoFb final : public Sessao {
 public:
  SessaoFb() = default;
  ~SessaoFb() override = default;  // rolls back an open transaction, then detaches

  isc_db_handle* db() { return anexo_.ptr(); }

  bool EhPostgres() const override { return false; }

  Resultado Consultar(std::string_view sql, const Parametros& params) override {
    Resultado r;
    Rodar(sql, params, &r);
    return r;
  }

  int64_t Executar(std::string_view sql, const Parametros& params) override { return Rodar(sql, params, nullptr); }

  void IniciarTransacao(Isolamento isolamento) override {
    if (transacao_) throw EErroBanco("ja existe uma transacao aberta nesta sessao");
    transacao_ = std::make_unique<TransacaoFb>(db(), isolamento);
  }

  void Confirmar() override {
    if (!transacao_) throw EErroBanco("nao ha transacao aberta para confirmar");
    // Whatever the outcome, the transaction is over (a failed commit is rolled back).
    std::unique_ptr<TransacaoFb> t = std::move(transacao_);
    t->Confirmar();
  }

  void Desfazer() override {
    if (!transacao_) return;
    std::unique_ptr<TransacaoFb> t = std::move(transacao_);
    t->Desfazer();
  }

  bool EmTransacao() const override { return transacao_ != nullptr; }

  void CriarSavepoint(std::string_view nome) override { Savepoint("SAVEPOINT " + NomeSavepoint(nome)); }
  void VoltarAoSavepoint(std::string_view nome) override {
    Savepoint("ROLLBACK TO SAVEPOINT " + NomeSavepoint(nome));
  }
  void LiberarSavepoint(std::string_view nome) override {
    Savepoint("RELEASE SAVEPOINT " + NomeSavepoint(nome));
  }

 private:
  void Savepoint(const std::string& sql) {
    if (!transacao_) throw EErroBanco("savepoint fora de uma transacao: " + sql);
    Executar(sql, {});
  }

  // Prepares and runs one statement, inside the open transaction or in one of its own that
  // commits on success. Reads every row into `resultado` when given; returns the rows changed.
  int64_t Rodar(std::string_view sql, const Parametros& params, Resultado* resultado) {
    std::string texto;
    std::vector<const Valor*> valores;
    if (params.empty()) {
      texto = sql;
    } else {
      db_interno::SqlPreparado p = db_interno::AnalisarParametros(sql, [](size_t) { return std::string("?"); });
      valores = db_interno::OrdenarParametros(p, params);
      texto = std::move(p.texto);
    }
    if (texto.size() > std::numeric_limits<unsigned short>::max())
      throw EErroBanco("comando SQL de " + std::to_string(texto.size()) +
                       " bytes excede o limite de 65535 bytes do Firebird");

    std::optional<TransacaoFb> propria;
    if (!transacao_) propria.emplace(db(), Isolamento::Padrao);
    TransacaoFb& tr = transacao_ ? *transacao_ : *propria;
    const Contexto ctx{db(), tr.ptr()};

    Comando cmd(db());
    Descritor out(16);
    Status st;
    isc_dsql_prepare(st.v, tr.ptr(), cmd.ptr(), static_cast<unsigned short>(texto.size()), texto.data(), Dialeto,
                     out.da());
    Verificar(st);
    if (out.Usados() > out.da()->sqln) {
      out.Alocar(out.Usados());
      isc_dsql_describe(st.v, cmd.ptr(), Dialeto, out.da());
      Verificar(st);
    }
    const int tipo = TipoComando(cmd.ptr());
    if (tipo == isc_info_sql_stmt_start_trans || tipo == isc_info_sql_stmt_commit ||
        tipo == isc_info_sql_stmt_rollback)
      throw EErroBanco("controle de transacao por comando SQL nao e aceito; use IniciarTransacao/Confirmar/Desfazer");

    std::optional<Descritor> in;
    if (!valores.empty()) {
      in.emplace(static_cast<short>(valores.size()));
      isc_dsql_describe_bind(st.v, cmd.ptr(), Dialeto, in->da());
      Verificar(st);
      if (static_cast<size_t>(in->Usados()) != valores.size())
        throw EErroBanco("o comando espera " + std::to_string(in->Usados()) + " parametros e recebeu " +
                         std::to_string(valores.size()));
      Vincular(*in, valores, ctx);
    }
    const XSQLDA* daIn = in ? in->da() : nullptr;

    std::vector<TColuna> colunas;
    if (resultado) {
      for (short i = 0; i < out.Usados(); ++i) colunas.push_back(DescreverColuna(out.var(i)));
    }
    out.PrepararArmazenamento();
    auto lerLinha = [&] {
      if (!resultado) return;
      std::vector<Valor> linha;
      linha.reserve(colunas.size());
      for (short i = 0; i < out.Usados(); ++i)
        linha.push_back(LerValor(out.var(i), colunas[static_cast<size_t>(i)], ctx));
      resultado->linhas.push_back(std::move(linha));
    };

    if (tipo == isc_info_sql_stmt_select || tipo == isc_info_sql_stmt_select_for_upd) {
      isc_dsql_execute(st.v, tr.ptr(), cmd.ptr(), Dialeto, daIn);
      Verificar(st);
      for (;;) {
        ISC_STATUS rc = isc_dsql_fetch(st.v, cmd.ptr(), Dialeto, out.da());
        if (rc == 100) break;
        Verificar(st);
        lerLinha();
      }
    } else if (out.Usados() > 0) {
      isc_dsql_execute2(st.v, tr.ptr(), cmd.ptr(), Dialeto, daIn, out.da());
      Verificar(st);
      lerLinha();
    } else {
      isc_dsql_execute(st.v, tr.ptr(), cmd.ptr(), Dialeto, daIn);
      Verificar(st);
    }
    const int64_t afetadas = resultado ? 0 : LinhasAfetadas(cmd.ptr());
    if (propria) propria->Confirmar();
    if (resultado) resultado->colunas = std::move(colunas);
    return afetadas;
  }

  // Declared first so that it is released last: the transaction rolls back before detaching.
  Anexo anexo_;
  std::unique_ptr<TransacaoFb> transacao_;
};

void AcrescentarDpb(std::vector<char>& dpb, char item, std::string_view valor, const char* oque) {
  if (valor.size() > 255) throw EErroBanco(std::string(oque) + " longo demais (maximo 255 bytes)");
  dpb.push_back(item);
  dpb.push_back(static_cast<char>(static_cast<unsigned char>(valor.size())));
  dpb.insert(dpb.end(), valor.begin(), valor.end());
}

void AcrescentarDpb(std::vector<char>& dpb, char item, int valor) {
  dpb.push_back(item);
  dpb.push_back(4);
  for (int i = 0; i < 4; ++i) dpb.push_back(static_cast<char>((static_cast<unsigned>(valor) >> (8 * i)) & 0xFF));
}

}  // namespace

namespace db_interno {

SessaoPtr AbrirSessaoFb(const std::string& host, int32_t porta, const std::string& senha, const std::string& usuario,
                        const std::string& banco) {
  // An IPv6 address needs brackets so its colons are not read as the path separator.
  std::string servidor = host.empty() ? "localhost" : host;
  if (servidor.find(':') != std::string::npos && servidor.front() != '[') servidor = "[" + servidor + "]";
  // Without a port the client uses the standard one (3050).
  const std::string alvo = servidor + (porta > 0 ? "/" + std::to_string(porta) : std::string()) + ":" + banco;
  if (alvo.size() > std::numeric_limits<short>::max()) throw EErroBanco("caminho do banco longo demais");

  std::vector<char> dpb{isc_dpb_version1};
  AcrescentarDpb(dpb, isc_dpb_user_name, usuario, "usuario");
  AcrescentarDpb(dpb, isc_dpb_password, senha, "senha");
  AcrescentarDpb(dpb, isc_dpb_lc_ctype, "NONE", "conjunto de caracteres");
  AcrescentarDpb(dpb, isc_dpb_sql_dialect, Dialeto);
  AcrescentarDpb(dpb, isc_dpb_connect_timeout, TempoConexaoSegundos);

  auto sessao = std::make_unique<SessaoFb>();
  Status st;
  isc_attach_database(st.v, static_cast<short>(alvo.size()), alvo.data(), sessao->db(),
                      static_cast<short>(dpb.size()), dpb.data());
  Verificar(st);  // on failure the session (and any half-made handle) goes away with the exception
  return sessao;
}

}  // namespace db_interno
}  // namespace tw
