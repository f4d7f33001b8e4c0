#include "u_sync.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

#include "apoio.h"
#include "captura_teste.h"
#include "u_base64.h"
#include "u_captura_fb3.h"
#include "u_captura_pg.h"
#include "u_db.h"
#include "u_erros.h"
#include "u_estrutura.h"
#include "u_estrutura_pg.h"
#include "u_json.h"
#include "u_texto.h"

namespace tw {
namespace {

// --- Encoding of single values (no database) -------------------------------------------------

TColuna Coluna(TipoValor tipo, int tipoNativo = 0, int subtipo = 0) {
  TColuna c;
  c.nome = "X";
  c.tipo = tipo;
  c.tipoNativo = tipoNativo;
  c.subtipo = subtipo;
  return c;
}

TDataHora Momento(int a, int me, int d, int h, int mi, int s, int ms) { return {a, me, d, h, mi, s, ms}; }

TEST(CampoParaJson, ValoresPorTipo) {
  constexpr int kFbChar = 452, kFbVarchar = 448, kFbInt64 = 580, kFbFloat = 482, kFbDouble = 480;
  constexpr int kPgFloat4 = 700, kPgFloat8 = 701, kPgMoney = 790, kPgBpchar = 1042, kPgText = 25;
  const double inf = std::numeric_limits<double>::infinity();
  struct Caso {
    const char* nome;
    TColuna coluna;
    Valor valor;
    const char* json;
  };
  const Caso casos[] = {
      {"nulo de qualquer tipo", Coluna(TipoValor::Data), Valor::Nulo(), "null"},
      {"bigint minimo", Coluna(TipoValor::Inteiro, kFbInt64), Valor::Inteiro(std::numeric_limits<int64_t>::min()),
       "-9223372036854775808"},
      {"numeric(18,0) do Firebird", Coluna(TipoValor::Inteiro, kFbInt64, 1), Valor::Inteiro(-42), "\"-42\""},
      {"decimal(9,0) do Firebird", Coluna(TipoValor::Inteiro, 496, 2), Valor::Inteiro(7), "\"7\""},
      {"decimal com virgula", Coluna(TipoValor::Decimal), Valor::Decimal("1234,56"), "\"1234.56\""},
      {"float alargado para double", Coluna(TipoValor::Real, kFbFloat), Valor::Real(static_cast<double>(0.1f)), "0.1"},
      {"real do PostgreSQL", Coluna(TipoValor::Real, kPgFloat4), Valor::Real(0.1), "0.1"},
      {"double", Coluna(TipoValor::Real, kFbDouble), Valor::Real(0.1), "0.1"},
      {"double inteiro", Coluna(TipoValor::Real, kPgFloat8), Valor::Real(3), "3.0"},
      {"double grande", Coluna(TipoValor::Real, kPgFloat8), Valor::Real(1.5e300), "1.5e+300"},
      {"NaN", Coluna(TipoValor::Real, kPgFloat8), Valor::Real(std::nan("")), "\"NaN\""},
      {"infinito", Coluna(TipoValor::Real, kPgFloat4), Valor::Real(inf), "\"Infinity\""},
      {"menos infinito", Coluna(TipoValor::Real, kPgFloat8), Valor::Real(-inf), "\"-Infinity\""},
      {"money", Coluna(TipoValor::Texto, kPgMoney), Valor::Texto("$1,234.56"), "1234.56"},
      {"money negativo", Coluna(TipoValor::Texto, kPgMoney), Valor::Texto("-$1,234.56"), "-1234.56"},
      {"money entre parenteses", Coluna(TipoValor::Texto, kPgMoney), Valor::Texto("($5.00)"), "-5.0"},
      {"money com virgula decimal", Coluna(TipoValor::Texto, kPgMoney), Valor::Texto("R$ 1.234.567,8"), "1234567.8"},
      {"money com simbolo de ponto", Coluna(TipoValor::Texto, kPgMoney), Valor::Texto("Fr. 1'234.50"), "1234.5"},
      {"money sem centavos", Coluna(TipoValor::Texto, kPgMoney), Valor::Texto("\xC2\xA5 1,234"), "1234.0"},
      {"money minimo", Coluna(TipoValor::Texto, kPgMoney), Valor::Texto("-$92,233,720,368,547,758.08"),
       "-9.223372036854776e+16"},
      {"char sem brancos finais", Coluna(TipoValor::Texto, kFbChar), Valor::Texto("AB \t   "), "\"AB \\u0009\""},
      {"character(n) sem brancos finais", Coluna(TipoValor::Texto, kPgBpchar), Valor::Texto("ABC       "), "\"ABC\""},
      {"varchar guarda os brancos", Coluna(TipoValor::Texto, kFbVarchar), Valor::Texto(" A "), "\" A \""},
      {"texto", Coluna(TipoValor::Texto, kPgText), Valor::Texto("A\xC3\xA7\xC3\xA3o"), "\"A\\u00e7\\u00e3o\""},
      {"data", Coluna(TipoValor::Data), Valor::Data(Momento(2024, 3, 5, 0, 0, 0, 0)), "\"2024-03-05\""},
      {"data do ano 1", Coluna(TipoValor::Data), Valor::Data(Momento(1, 1, 1, 0, 0, 0, 0)), "\"0001-01-01\""},
      {"hora sem fracao", Coluna(TipoValor::Hora), Valor::Hora(Momento(1899, 12, 30, 14, 7, 9, 999)), "\"14:07:09\""},
      {"data e hora", Coluna(TipoValor::DataHora), Valor::DataHora(Momento(2024, 3, 5, 14, 7, 9, 120)),
       "\"2024-03-05T14:07:09.120\""},
      {"milissegundos com tres digitos", Coluna(TipoValor::DataHora), Valor::DataHora(Momento(2024, 3, 5, 0, 0, 0, 5)),
       "\"2024-03-05T00:00:00.005\""},
      {"binario", Coluna(TipoValor::Blob), Valor::Blob(std::string("\x00\x01\x02", 3)), "{\"__b64__\":\"AAEC\"}"},
      {"binario vazio", Coluna(TipoValor::Blob), Valor::Blob(""), "{\"__b64__\":\"\"}"},
      {"memo", Coluna(TipoValor::Memo), Valor::Memo("linha 1\nlinha 2"), "\"linha 1\\u000alinha 2\""},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    EXPECT_EQ(SerializarJson(CampoParaJson(c.coluna, c.valor)), c.json);
  }
}

TEST(CampoParaJson, MoneySemNumeroLevantaErroDeConversao) {
  try {
    CampoParaJson(Coluna(TipoValor::Texto, 790), Valor::Texto("$"));
    ADD_FAILURE() << "sem excecao";
  } catch (const EErroConversao& e) {
    EXPECT_EQ(std::string(e.what()), "valor money sem numero: \"$\"");
  }
}

TEST(LinhaParaJson, OmiteSoAColunaUuidEGuardaAOrdem) {
  Resultado r;
  for (const char* nome : {"zeta", "Uuid", "alfa", "UUID_X", "uuid"}) {
    r.colunas.push_back(Coluna(TipoValor::Texto));
    r.colunas.back().nome = nome;
  }
  r.linhas.push_back({Valor::Texto("z"), Valor::Texto("u1"), Valor::Nulo(), Valor::Texto("x"), Valor::Texto("u2")});
  EXPECT_EQ(SerializarJson(LinhaParaJson(r, 0)), "{\"zeta\":\"z\",\"alfa\":null,\"UUID_X\":\"x\"}");
}

// --- Both servers ----------------------------------------------------------------------------

enum class Sgbd { Firebird, Postgres };

const teste::Servidor& ServidorDe(Sgbd d) { return d == Sgbd::Postgres ? teste::ServidorPg() : teste::ServidorFb(); }

constexpr const char* kUuid1 = "0b7e6f1c-3a2d-4c5e-9f80-1a2b3c4d5e6f";
constexpr const char* kUuid2 = "0b7e6f1c-3a2d-4c5e-9f80-1a2b3c4d5e70";

class Sync : public ::testing::TestWithParam<Sgbd> {
 protected:
  void SetUp() override {
    if (Pg())
      CriarObjetosBasePg(*s, "abc");
    else
      for (const std::string& sql : SqlObjetosBaseFb("ABC")) s->Executar(sql);
  }
  bool Pg() const { return GetParam() == Sgbd::Postgres; }
  // The UUID column as capture gives it: CHAR(36) upper case on Firebird, uuid on PostgreSQL.
  std::string ColunaUuid() const { return Pg() ? "uuid uuid" : "UUID char(36)"; }
  std::string Uuid(const char* u) const { return Pg() ? u : Maiusculas(u); }
  int64_t Contar(const std::string& sql) { return s->Escalar(sql).ComoInteiro(); }
  static std::string Serializado(const std::optional<tw::Json>& j) { return j ? SerializarJson(*j) : "(nada)"; }

  teste::BancoTeste db{ServidorDe(GetParam()), "sync"};
  teste::LogDoTeste log;
  SessaoPtr s = db.Abrir();
};

TEST_P(Sync, ControleLeGravaESubstituiChavesExatas) {
  EXPECT_EQ(LerControle(*s, "ABC", "cursor", "0"), "0");  // never written: the default

  GravarControle(*s, "ABC", "cursor", "1500");
  GravarControle(*s, "ABC", "cursor", "0");
  EXPECT_EQ(LerControle(*s, "ABC", "cursor", "x"), "0");
  EXPECT_EQ(Contar("select count(*) from ABCC where K = 'cursor'"), 1);

  // An empty value is a value, distinct from an absent key.
  GravarControle(*s, "ABC", "cargadone:CLIENTE", "");
  EXPECT_EQ(LerControle(*s, "ABC", "cargadone:CLIENTE", "padrao"), "");
  EXPECT_EQ(Contar("select count(*) from ABCC where K = 'cargadone:CLIENTE' and V is null"), 0);
  // A row whose V is null counts as absent.
  s->Executar("insert into ABCC (K, V) values ('nulo', null)");
  EXPECT_EQ(LerControle(*s, "ABC", "nulo", "padrao"), "padrao");

  // Keys are compared exactly, letter case included.
  GravarControle(*s, "ABC", "Cursor", "9");
  EXPECT_EQ(LerControle(*s, "ABC", "cursor", ""), "0");
  EXPECT_EQ(LerControle(*s, "ABC", "Cursor", ""), "9");
  EXPECT_EQ(LerControle(*s, "ABC", "CURSOR", "-"), "-");

  // Values are text of any size and character; table names with accents fit in keys.
  const std::string longo = "A\xC3\xA7\xC3\xA3o \xE2\x9C\x93 " + std::string(40000, 'x');
  GravarControle(*s, "ABC", "estsig", longo);
  EXPECT_TRUE(LerControle(*s, "ABC", "estsig", "") == longo);
  GravarControle(*s, "ABC", "cargapos:Produ\xC3\xA7\xC3\xA3o", "abc");
  EXPECT_EQ(LerControle(*s, "ABC", "cargapos:Produ\xC3\xA7\xC3\xA3o", ""), "abc");

  // The prefix is the table's: "abc" and "ABC" address the same map.
  EXPECT_EQ(LerControle(*s, "abc", "Cursor", ""), "9");
}

TEST_P(Sync, ControleChaveLongaOuTabelaAusenteLevantamErroDoBanco) {
  const std::string chave60 = "cargadone:" + std::string(50, 'T');
  GravarControle(*s, "ABC", chave60, "1");
  EXPECT_EQ(LerControle(*s, "ABC", chave60, ""), "1");

  const std::string chave61 = chave60 + "U";
  try {
    GravarControle(*s, "ABC", chave61, "1");
    ADD_FAILURE() << "sem excecao";
  } catch (const EErroBanco& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(Pg() ? "value too long for type character varying(60)" : "string right truncation"),
              std::string::npos)
        << msg;
  }
  EXPECT_EQ(Contar("select count(*) from ABCC"), 1);
  // Reading such a key: Firebird refuses the parameter, PostgreSQL finds no row.
  if (Pg())
    EXPECT_EQ(LerControle(*s, "ABC", chave61, "padrao"), "padrao");
  else
    EXPECT_THROW(LerControle(*s, "ABC", chave61, "padrao"), EErroBanco);

  // No control map under this prefix.
  EXPECT_THROW(LerControle(*s, "XYZ", "cursor", "0"), EErroBanco);
  EXPECT_THROW(GravarControle(*s, "XYZ", "cursor", "0"), EErroBanco);

  // The prefix goes unquoted into the statement: only a plain identifier is accepted.
  for (const std::string prefixo : {"", "AB", "A'B", "AB C", "ABCD"}) {
    SCOPED_TRACE(prefixo);
    try {
      LerControle(*s, prefixo, "cursor", "0");
      ADD_FAILURE() << "nao recusou";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "prefixo invalido: " + prefixo);
    }
    EXPECT_THROW(GravarControle(*s, prefixo, "cursor", "0"), std::invalid_argument);
  }
}

TEST_P(Sync, NomeTabelaPorIdLeAChaveT) {
  GravarControle(*s, "ABC", "T1", "CLIENTE");
  GravarControle(*s, "ABC", "T12", "Pedido Item");
  EXPECT_EQ(NomeTabelaPorId(*s, "ABC", 1), "CLIENTE");
  EXPECT_EQ(NomeTabelaPorId(*s, "ABC", 12), "Pedido Item");
  EXPECT_EQ(NomeTabelaPorId(*s, "ABC", 2), "");
  s->Executar("delete from ABCC where K = 'T1'");
  EXPECT_EQ(NomeTabelaPorId(*s, "ABC", 1), "");
}

TEST_P(Sync, LinhaPorUuidAchaOuNao) {
  s->Executar("create table " + IdentificadorExato(Pg() ? "pedido" : "PEDIDO") + " (id integer, " + ColunaUuid() +
              ", nome varchar(20))");
  s->Executar("insert into PEDIDO (id, uuid, nome) values (1, '" + Uuid(kUuid1) + "', 'um')");
  const std::string id = Pg() ? "id" : "ID", nome = Pg() ? "nome" : "NOME";
  const std::string esperado = "{\"" + id + "\":1,\"" + nome + "\":\"um\"}";
  const std::string tabela = Pg() ? "pedido" : "PEDIDO";

  EXPECT_EQ(Serializado(LinhaPorUuid(*s, tabela, Uuid(kUuid1))), esperado);
  EXPECT_FALSE(LinhaPorUuid(*s, tabela, Uuid(kUuid2)).has_value());
  if (Pg()) {
    // The uuid column compares by value: canonical text and its upper-case spelling both find the row.
    EXPECT_EQ(Serializado(LinhaPorUuid(*s, tabela, Maiusculas(kUuid1))), esperado);
    EXPECT_THROW(LinhaPorUuid(*s, tabela, "nao-e-uuid"), EErroBanco);
  }

  // A table that no longer exists raises the database error.
  EXPECT_THROW(LinhaPorUuid(*s, "SUMIU", Uuid(kUuid1)), EErroBanco);
  // The name is taken exactly as given, never upper-cased.
  EXPECT_THROW(LinhaPorUuid(*s, Pg() ? "Pedido" : "pedido", Uuid(kUuid1)), EErroBanco);
}

TEST_P(Sync, LinhaPorUuidNomesExatosEColunaSoUuid) {
  // Mixed case and a double quote inside the name: the table is addressed by its stored name.
  s->Executar("create table \"Item \"\"Novo\"\"\" (\"Qtd\" integer, " + ColunaUuid() + ")");
  s->Executar("insert into \"Item \"\"Novo\"\"\" values (3, '" + Uuid(kUuid1) + "')");
  EXPECT_EQ(Serializado(LinhaPorUuid(*s, "Item \"Novo\"", Uuid(kUuid1))), "{\"Qtd\":3}");

  s->Executar("create table SO_UUID (" + ColunaUuid() + ")");
  s->Executar("insert into SO_UUID values ('" + Uuid(kUuid2) + "')");
  EXPECT_EQ(Serializado(LinhaPorUuid(*s, Pg() ? "so_uuid" : "SO_UUID", Uuid(kUuid2))), "{}");
}

TEST_P(Sync, BinariosVaziosPequenosEDeUmMega) {
  s->Executar(std::string("create table BIN (id integer, ") + ColunaUuid() + ", b " +
              (Pg() ? "bytea" : "blob sub_type binary") + ")");
  std::string mega(1u << 20, '\0');
  std::mt19937 gerador(6);
  for (char& c : mega) c = static_cast<char>(gerador() & 0xFF);
  const struct {
    const char* uuid;
    std::string bytes;
  } casos[] = {{"00000000-0000-0000-0000-000000000001", std::string("\x00\x01\x02", 3)},
               {"00000000-0000-0000-0000-000000000002", ""},
               {"00000000-0000-0000-0000-000000000003", mega}};
  for (const auto& c : casos)
    s->Executar("insert into BIN (uuid, b) values (:u, :b)",
                {{"u", Valor::Texto(c.uuid)}, {"b", Valor::Blob(c.bytes)}});
  const std::string b = Pg() ? "b" : "B";
  for (const auto& c : casos) {
    SCOPED_TRACE(c.uuid);
    const std::optional<tw::Json> linha = LinhaPorUuid(*s, Pg() ? "bin" : "BIN", c.uuid);
    ASSERT_TRUE(linha.has_value());
    const tw::Json& valor = linha->at(b);
    ASSERT_TRUE(valor.is_object());
    EXPECT_EQ(valor.size(), 1u);
    const std::string b64 = valor.at("__b64__").get<std::string>();
    EXPECT_TRUE(b64 == CodificarBase64(c.bytes));
    EXPECT_EQ(b64.find('\n'), std::string::npos);
    EXPECT_TRUE(DecodificarBase64(b64) == c.bytes);
  }
  EXPECT_EQ(SerializarJson(*LinhaPorUuid(*s, Pg() ? "bin" : "BIN", casos[0].uuid)),
            "{\"" + std::string(Pg() ? "id" : "ID") + "\":null,\"" + b + "\":{\"__b64__\":\"AAEC\"}}");
}

TEST_P(Sync, EstruturaEVersaoPorDialeto) {
  s->Executar("create table CLIENTE (id integer not null primary key, nome varchar(60), saldo numeric(15,2), " +
              ColunaUuid() + ")");
  const std::string t = Pg() ? "cliente" : "CLIENTE";
  const tw::Json esperado = Pg() ? EstruturaTabelaPg(*s, t) : EstruturaTabelaFb(*s, t);
  EXPECT_EQ(SerializarJson(EstruturaTabela(*s, t)), SerializarJson(esperado));
  EXPECT_TRUE(EstruturaTabela(*s, t).contains("temblob") == Pg());
  const std::string versao = VersaoTabela(*s, t);
  EXPECT_EQ(versao, Pg() ? HashEstruturaPg(*s, t) : HashEstruturaFb(*s, t));
  EXPECT_EQ(versao.size(), 64u);
}

INSTANTIATE_TEST_SUITE_P(Servidores, Sync, ::testing::Values(Sgbd::Firebird, Sgbd::Postgres),
                         [](const ::testing::TestParamInfo<Sgbd>& i) {
                           return i.param == Sgbd::Postgres ? "PostgreSQL" : "Firebird";
                         });

// --- Every kind with real columns, one server at a time --------------------------------------

class TiposFb : public ::testing::Test {
 protected:
  std::string Linha(const char* uuid) {
    const std::optional<Json> j = LinhaPorUuid(*s, "TIPOS", uuid);
    return j ? SerializarJson(*j) : "(nada)";
  }
  teste::BancoTeste db{teste::ServidorFb(), "syncfb"};
  SessaoPtr s = db.Abrir();
};

TEST_F(TiposFb, CadaTipoDaTabelaDeTipos) {
  s->Executar(
      "create table TIPOS (S smallint, I integer, B bigint, L boolean, F float, D double precision, "
      "UUID char(36), N18 numeric(18,4), N9 numeric(9,2), D4 decimal(4,1), N0 numeric(18,0), D0 decimal(9,0), "
      "DT date, HR time, TS timestamp, C10 char(10), V varchar(20), M blob sub_type text, "
      "BB blob sub_type binary, CO char(3) character set octets, VO varchar(10) character set octets)");
  s->Executar(
      "insert into TIPOS values (32767, 2147483647, 9223372036854775807, true, 0.1, 1.5e300, "
      "'00000000-0000-0000-0000-000000000001', 12345678901234.5678, -0.01, -123.4, 123456789012345678, -5, "
      "'2024-03-05', '14:07:09.9999', '2024-03-05 14:07:09.12', 'ABC', 'x  ', 'memo', x'000102', x'000102', "
      "x'')");
  s->Executar(
      "insert into TIPOS values (-32768, -2147483648, -9223372036854775807 - 1, false, -2.5, -0.1, "
      "'00000000-0000-0000-0000-000000000002', -12345678901234.5678, 0, 0.5, 0, 0, "
      "'0001-01-01', '00:00:00', '0001-01-01 00:00:00.005', '', '', '', x'', x'01', x'ff')");
  s->Executar("insert into TIPOS (UUID) values ('00000000-0000-0000-0000-000000000003')");

  EXPECT_EQ(Linha("00000000-0000-0000-0000-000000000001"),
            "{\"S\":32767,\"I\":2147483647,\"B\":9223372036854775807,\"L\":true,\"F\":0.1,\"D\":1.5e+300,"
            "\"N18\":\"12345678901234.5678\",\"N9\":\"-0.01\",\"D4\":\"-123.4\",\"N0\":\"123456789012345678\","
            "\"D0\":\"-5\",\"DT\":\"2024-03-05\",\"HR\":\"14:07:09\",\"TS\":\"2024-03-05T14:07:09.120\","
            "\"C10\":\"ABC\",\"V\":\"x  \",\"M\":\"memo\",\"BB\":{\"__b64__\":\"AAEC\"},"
            "\"CO\":{\"__b64__\":\"AAEC\"},\"VO\":{\"__b64__\":\"\"}}");
  // CHAR OCTETS is binary: its zero padding is part of the value.
  EXPECT_EQ(Linha("00000000-0000-0000-0000-000000000002"),
            "{\"S\":-32768,\"I\":-2147483648,\"B\":-9223372036854775808,\"L\":false,\"F\":-2.5,\"D\":-0.1,"
            "\"N18\":\"-12345678901234.5678\",\"N9\":\"0.00\",\"D4\":\"0.5\",\"N0\":\"0\",\"D0\":\"0\","
            "\"DT\":\"0001-01-01\",\"HR\":\"00:00:00\",\"TS\":\"0001-01-01T00:00:00.005\",\"C10\":\"\",\"V\":\"\","
            "\"M\":\"\",\"BB\":{\"__b64__\":\"\"},\"CO\":{\"__b64__\":\"AQAA\"},\"VO\":{\"__b64__\":\"/w==\"}}");
  EXPECT_EQ(Linha("00000000-0000-0000-0000-000000000003"),
            "{\"S\":null,\"I\":null,\"B\":null,\"L\":null,\"F\":null,\"D\":null,\"N18\":null,\"N9\":null,"
            "\"D4\":null,\"N0\":null,\"D0\":null,\"DT\":null,\"HR\":null,\"TS\":null,\"C10\":null,\"V\":null,"
            "\"M\":null,\"BB\":null,\"CO\":null,\"VO\":null}");

  // A full scan encodes every row from the one set of column descriptions.
  const Resultado r = s->Consultar("select * from TIPOS order by UUID");
  ASSERT_EQ(r.linhas.size(), 3u);
  EXPECT_EQ(SerializarJson(LinhaParaJson(r, 0)), Linha("00000000-0000-0000-0000-000000000001"));
  EXPECT_EQ(SerializarJson(LinhaParaJson(r, 2)), Linha("00000000-0000-0000-0000-000000000003"));
}

TEST_F(TiposFb, TextoDeCadaConjuntoDeCaracteresSaiEmUtf8) {
  s->Executar(
      "create table TXT (UUID char(36), W varchar(10) character set win1252, "
      "L varchar(10) character set iso8859_1, U varchar(10) character set utf8, "
      "N varchar(10) character set none, CW char(8) character set win1252, "
      "MW blob sub_type text character set win1252, MN blob sub_type text character set none)");
  const std::string acao = "A\xC3\xA7\xC3\xA3o";  // "Ação"
  s->Executar("insert into TXT values ('1', ?, ?, ?, ?, ?, ?, ?)", {{"", Valor::Texto(acao)},
                                                                    {"", Valor::Texto(acao)},
                                                                    {"", Valor::Texto(acao)},
                                                                    {"", Valor::Texto(acao)},
                                                                    {"", Valor::Texto(acao)},
                                                                    {"", Valor::Memo(acao)},
                                                                    {"", Valor::Memo(acao)}});
  // Bytes stored by another program in a NONE column: read as WIN1252.
  s->Executar("insert into TXT (UUID, N, MN) values ('2', x'41E7E36F', x'41E7E36F')");

  const std::optional<Json> um = LinhaPorUuid(*s, "TXT", "1");
  ASSERT_TRUE(um.has_value());
  for (const char* coluna : {"W", "L", "U", "N", "CW", "MW", "MN"}) {
    SCOPED_TRACE(coluna);
    EXPECT_EQ(um->at(coluna).get<std::string>(), acao);
  }
  EXPECT_EQ(SerializarJson(um->at("CW")), "\"A\\u00e7\\u00e3o\"");
  const std::optional<Json> dois = LinhaPorUuid(*s, "TXT", "2");
  ASSERT_TRUE(dois.has_value());
  EXPECT_EQ(dois->at("N").get<std::string>(), acao);
  EXPECT_EQ(dois->at("MN").get<std::string>(), acao);
}

class TiposPg : public ::testing::Test {
 protected:
  std::string Linha(const char* uuid) {
    const std::optional<Json> j = LinhaPorUuid(*s, "tipos", uuid);
    return j ? SerializarJson(*j) : "(nada)";
  }
  teste::BancoTeste db{teste::ServidorPg(), "syncpg"};
  SessaoPtr s = db.Abrir();
};

TEST_F(TiposPg, CadaTipoDaTabelaDeTipos) {
  s->Executar(
      "create table tipos (s smallint, i integer, b bigint, l boolean, r real, d double precision, "
      "m money, uuid uuid, n18 numeric(18,4), n numeric, n0 numeric(10,0), dt date, hr time, ts timestamp, "
      "tz timestamptz, c10 char(10), v varchar(20), t text, by bytea, u2 uuid, j jsonb, iv interval)");
  s->Executar(
      "insert into tipos values (32767, 2147483647, 9223372036854775807, true, 0.1, 1.5e300, 1234.56, "
      "'00000000-0000-0000-0000-000000000001', 12345678901234.5678, "
      "123456789012345678901234567890.123456789, 42, '2024-03-05', '14:07:09.999', "
      "'2024-03-05 14:07:09.12', '2024-03-05 14:07:09.12+00', 'ABC', 'x  ', 'A\xC3\xA7\xC3\xA3o', "
      "'\\x000102', 'A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11', '{\"a\": 1}', '1 day 2 hours')");
  s->Executar(
      "insert into tipos values (-32768, -2147483648, -9223372036854775808, false, 'NaN', '-Infinity', "
      "-1234.56, '00000000-0000-0000-0000-000000000002', -0.01, -0.000001, -5, '0001-01-01', '00:00:00', "
      "'2024-03-05 14:07:09.123456', null, '', '', '', '', null, null, null)");
  s->Executar("insert into tipos (uuid) values ('00000000-0000-0000-0000-000000000003')");
  s->Executar("set timezone = 'UTC'");

  EXPECT_EQ(Linha("00000000-0000-0000-0000-000000000001"),
            "{\"s\":32767,\"i\":2147483647,\"b\":9223372036854775807,\"l\":true,\"r\":0.1,\"d\":1.5e+300,"
            "\"m\":1234.56,\"n18\":\"12345678901234.5678\",\"n\":\"123456789012345678901234567890.123456789\","
            "\"n0\":\"42\",\"dt\":\"2024-03-05\",\"hr\":\"14:07:09\",\"ts\":\"2024-03-05T14:07:09.120\","
            "\"tz\":\"2024-03-05T14:07:09.120\",\"c10\":\"ABC\",\"v\":\"x  \",\"t\":\"A\\u00e7\\u00e3o\","
            "\"by\":{\"__b64__\":\"AAEC\"},\"u2\":\"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11\",\"j\":\"{\\\"a\\\": 1}\","
            "\"iv\":\"1 day 02:00:00\"}");
  EXPECT_EQ(Linha("00000000-0000-0000-0000-000000000002"),
            "{\"s\":-32768,\"i\":-2147483648,\"b\":-9223372036854775808,\"l\":false,\"r\":\"NaN\","
            "\"d\":\"-Infinity\",\"m\":-1234.56,\"n18\":\"-0.0100\",\"n\":\"-0.000001\",\"n0\":\"-5\","
            "\"dt\":\"0001-01-01\",\"hr\":\"00:00:00\",\"ts\":\"2024-03-05T14:07:09.123\",\"tz\":null,\"c10\":\"\","
            "\"v\":\"\",\"t\":\"\",\"by\":{\"__b64__\":\"\"},\"u2\":null,\"j\":null,\"iv\":null}");
  EXPECT_EQ(Linha("00000000-0000-0000-0000-000000000003"),
            "{\"s\":null,\"i\":null,\"b\":null,\"l\":null,\"r\":null,\"d\":null,\"m\":null,\"n18\":null,"
            "\"n\":null,\"n0\":null,\"dt\":null,\"hr\":null,\"ts\":null,\"tz\":null,\"c10\":null,\"v\":null,"
            "\"t\":null,\"by\":null,\"u2\":null,\"j\":null,\"iv\":null}");

  const Resultado r = s->Consultar("select * from tipos order by uuid");
  ASSERT_EQ(r.linhas.size(), 3u);
  EXPECT_EQ(SerializarJson(LinhaParaJson(r, 1)), Linha("00000000-0000-0000-0000-000000000002"));
}

}  // namespace
}  // namespace tw
