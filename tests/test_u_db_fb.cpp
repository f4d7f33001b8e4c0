// Firebird-specific behaviour of the session layer, on the real server.
#include <gtest/gtest.h>

#include <memory>

#include "apoio.h"
#include "u_charset.h"
#include "u_db.h"
#include "u_erros.h"
#include "u_texto.h"

using namespace tw;
using namespace tw::teste;

namespace {

const std::string Frase = "A\xC3\xA7\xC3\xA3o S\xC3\xA3o Jo\xC3\xA3o \xC3\xA7 \xC3\xA3 \xC3\xA9";  // "Ação São João ç ã é"

// One database per test program; every test opens its own session and its own tables.
class FbTeste : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { banco_ = new BancoTeste(ServidorFb(), "fb"); }
  static void TearDownTestSuite() {
    delete banco_;
    banco_ = nullptr;
  }
  void SetUp() override { s_ = banco_->Abrir(); }

  SessaoPtr Abrir() const { return banco_->Abrir(); }
  static const BancoTeste& Banco() { return *banco_; }

  static BancoTeste* banco_;
  SessaoPtr s_;
};
BancoTeste* FbTeste::banco_ = nullptr;

std::string Bytes0a255(size_t n) {
  std::string r(n, '\0');
  for (size_t i = 0; i < n; ++i) r[i] = static_cast<char>(i % 256);
  return r;
}

TDataHora Dh(int a, int me, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) { return {a, me, d, h, mi, s, ms}; }

TEST_F(FbTeste, ConsultaSimplesDescreveAsColunasComoOServidor) {
  Resultado r = s_->Consultar("select 1 as um, cast('abc' as varchar(5)) texto, current_date from rdb$database");
  ASSERT_EQ(r.colunas.size(), 3u);
  EXPECT_EQ(r.colunas[0].nome, "UM");
  EXPECT_EQ(r.colunas[0].tipo, TipoValor::Inteiro);
  EXPECT_EQ(r.colunas[1].nome, "TEXTO");
  EXPECT_EQ(r.colunas[1].tipo, TipoValor::Texto);
  EXPECT_EQ(r.colunas[1].tipoNativo, 448);
  EXPECT_EQ(r.colunas[2].nome, "CURRENT_DATE");
  EXPECT_EQ(r.colunas[2].tipo, TipoValor::Data);
  ASSERT_EQ(r.linhas.size(), 1u);
  EXPECT_EQ(r.linhas[0][0].inteiro, 1);
  EXPECT_EQ(r.linhas[0][1].texto, "abc");
  EXPECT_FALSE(s_->EhPostgres());
  EXPECT_EQ(s_->Escalar("select count(*) from rdb$database where 1 = ?", {{"", Valor::Inteiro(2)}}).inteiro, 0);
  EXPECT_TRUE(s_->Escalar("select null from rdb$database").EhNulo());
}

// Text goes into each column in the column's own character set, and comes back as the same UTF-8.
TEST_F(FbTeste, TextoEmCadaConjuntoDeCaracteresIdaEVolta) {
  struct Caso {
    std::string charset;
    std::string bytesAcao;  // "Ação" as stored
  } casos[] = {
      {"UTF8", "A\xC3\xA7\xC3\xA3o"},
      {"WIN1252", "A\xE7\xE3o"},
      {"ISO8859_1", "A\xE7\xE3o"},
      {"NONE", "A\xE7\xE3o"},  // NONE is written as WIN1252
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.charset);
    const std::string t = "TX_" + c.charset;
    s_->Executar("create table " + t + " (id integer not null primary key, v varchar(40) character set " + c.charset +
                 ", f char(22) character set " + c.charset + ", m blob sub_type text character set " + c.charset + ")");
    s_->Executar("insert into " + t + " (id, v, f, m) values (:id, :v, :f, :m)",
                 {{"id", Valor::Inteiro(1)}, {"v", Valor::Texto(Frase)}, {"f", Valor::Texto(Frase)},
                  {"m", Valor::Memo(Frase)}});
    s_->Executar("insert into " + t + " (id, v, f, m) values (2, ?, ?, ?)",
                 {{"", Valor::Texto("A\xC3\xA7\xC3\xA3o")}, {"", Valor::Texto("A\xC3\xA7\xC3\xA3o")},
                  {"", Valor::Texto("A\xC3\xA7\xC3\xA3o")}});

    Resultado r = s_->Consultar("select v, f, m from " + t + " where id = 1");
    ASSERT_EQ(r.linhas.size(), 1u);
    EXPECT_EQ(r.colunas[0].charset, c.charset);
    EXPECT_EQ(r.colunas[2].charset, c.charset);
    EXPECT_EQ(r.colunas[2].tipo, TipoValor::Memo);
    EXPECT_EQ(r.colunas[2].subtipo, 1);
    EXPECT_EQ(r.linhas[0][0].texto, Frase);
    EXPECT_EQ(r.linhas[0][1].texto, Frase + "   ");  // CHAR(22) keeps its padding, 22 characters
    EXPECT_EQ(ContarCaracteres(r.linhas[0][1].texto), 22u);
    EXPECT_EQ(r.linhas[0][2].tipo, TipoValor::Memo);
    EXPECT_EQ(r.linhas[0][2].texto, Frase);

    // The stored bytes are the column's own encoding, seen through OCTETS and OCTET_LENGTH.
    Resultado b = s_->Consultar("select cast(v as varchar(40) character set octets), octet_length(v), "
                                "octet_length(m), cast(m as blob sub_type binary) from " + t + " where id = 2");
    EXPECT_EQ(b.colunas[0].tipo, TipoValor::Blob);
    EXPECT_EQ(b.linhas[0][0].texto, c.bytesAcao);
    EXPECT_EQ(b.linhas[0][1].inteiro, static_cast<int64_t>(c.bytesAcao.size()));
    EXPECT_EQ(b.linhas[0][2].inteiro, static_cast<int64_t>(c.bytesAcao.size()));
    EXPECT_EQ(b.linhas[0][3].texto, c.bytesAcao);

    // Searching by a text parameter compares in the column's encoding.
    EXPECT_EQ(s_->Escalar("select id from " + t + " where v = ?", {{"", Valor::Texto("A\xC3\xA7\xC3\xA3o")}}).inteiro, 2);
  }
}

TEST_F(FbTeste, CaractereQueNaoExisteNoConjuntoFalhaSemGravar) {
  s_->Executar("create table TX_LATIN (v varchar(10) character set iso8859_1, w varchar(10) character set win1252)");
  try {
    s_->Executar("insert into TX_LATIN (v) values (?)", {{"", Valor::Texto("\xE2\x82\xAC 10")}});
    ADD_FAILURE() << "sem excecao";
  } catch (const EErroConversao& e) {
    EXPECT_EQ(std::string(e.what()), "caractere \"\xE2\x82\xAC\" (U+20AC) nao existe no conjunto de caracteres ISO8859_1");
  }
  EXPECT_THROW(s_->Executar("insert into TX_LATIN (w) values (?)", {{"", Valor::Texto("\xC5\x91")}}), EErroConversao);
  EXPECT_EQ(s_->Escalar("select count(*) from TX_LATIN").inteiro, 0);
  // The euro sign exists in WIN1252 (0x80).
  s_->Executar("insert into TX_LATIN (w) values (?)", {{"", Valor::Texto("\xE2\x82\xAC")}});
  EXPECT_EQ(s_->Escalar("select w from TX_LATIN").texto, "\xE2\x82\xAC");
}

TEST_F(FbTeste, BytesInvalidosSaemComoSubstitutoEmUtf8Valido) {
  s_->Executar("create table TX_RUIM (n varchar(10) character set none, u varchar(10) character set utf8)");
  // x'..' literals are OCTETS: they land in the columns byte for byte.
  s_->Executar("insert into TX_RUIM (n) values (x'41814D')");
  EXPECT_EQ(s_->Escalar("select n from TX_RUIM").texto, "A\xEF\xBF\xBDM");
}

TEST_F(FbTeste, CharMultibyteGuardaSoOPreenchimentoDaColuna) {
  s_->Executar("create table TX_CHAR (u char(3) character set utf8, f char(4) character set unicode_fss, "
               "o char(4) character set octets)");
  s_->Executar("insert into TX_CHAR values (?, ?, ?)",
               {{"", Valor::Texto("\xC3\xA7")}, {"", Valor::Texto("a")}, {"", Valor::Blob(std::string("\x01\x02", 2))}});
  Resultado r = s_->Consultar("select u, f, o, cast(' ' as char(2) character set utf8) from TX_CHAR");
  EXPECT_EQ(r.linhas[0][0].texto, "\xC3\xA7  ");
  EXPECT_EQ(r.linhas[0][1].texto, "a   ");
  EXPECT_EQ(r.linhas[0][2].tipo, TipoValor::Blob);
  EXPECT_EQ(r.linhas[0][2].texto, std::string("\x01\x02\x00\x00", 4));
  EXPECT_EQ(r.linhas[0][3].texto, "  ");
}

TEST_F(FbTeste, BlobBinarioDeMaisDeUmMegaIdaEVolta) {
  s_->Executar("create table TB_BLOB (id integer, b blob sub_type binary, m blob sub_type text)");
  const std::string dados = Bytes0a255((1u << 20) + 4099);
  s_->Executar("insert into TB_BLOB values (1, ?, ?)", {{"", Valor::Blob(dados)}, {"", Valor::Memo(std::string(70000, 'x'))}});
  s_->Executar("insert into TB_BLOB values (2, ?, ?)", {{"", Valor::Blob("")}, {"", Valor::Nulo()}});
  Resultado r = s_->Consultar("select b, m, octet_length(b) from TB_BLOB order by id");
  EXPECT_EQ(r.colunas[0].tipo, TipoValor::Blob);
  EXPECT_EQ(r.colunas[0].subtipo, 0);
  EXPECT_EQ(r.colunas[0].charset, "");
  ASSERT_EQ(r.linhas.size(), 2u);
  EXPECT_EQ(r.linhas[0][0].tipo, TipoValor::Blob);
  EXPECT_TRUE(r.linhas[0][0].texto == dados);
  EXPECT_EQ(r.linhas[0][1].texto.size(), 70000u);
  EXPECT_EQ(r.linhas[0][2].inteiro, static_cast<int64_t>(dados.size()));
  EXPECT_EQ(r.linhas[1][0].texto, "");
  EXPECT_TRUE(r.linhas[1][1].EhNulo());
}

TEST_F(FbTeste, DecimaisExatosComoTexto) {
  s_->Executar("create table TN (id integer, a numeric(18,4), b numeric(9,2), c decimal(4,1), d numeric(4,1), "
               "e numeric(18,0), f double precision, g float)");
  struct Caso {
    std::string a, b, c, d;
  } casos[] = {
      {"-12.3400", "0.05", "-0.5", "999.9"},
      {"0.0001", "-0.01", "0.0", "-999.9"},
      {"922337203685477.5807", "9999999.99", "-999.9", "0.1"},
      {"-922337203685477.5808", "-21474836.48", "123.4", "-0.1"},
  };
  int id = 0;
  for (const auto& c : casos) {
    SCOPED_TRACE(c.a);
    ++id;
    s_->Executar("insert into TN (id, a, b, c, d) values (?, ?, ?, ?, ?)",
                 {{"", Valor::Inteiro(id)}, {"", Valor::Decimal(c.a)}, {"", Valor::Decimal(c.b)},
                  {"", Valor::Decimal(c.c)}, {"", Valor::Decimal(c.d)}});
    Resultado r = s_->Consultar("select a, b, c, d from TN where id = ?", {{"", Valor::Inteiro(id)}});
    EXPECT_EQ(r.colunas[0].tipo, TipoValor::Decimal);
    EXPECT_EQ(r.colunas[0].escala, 4);
    EXPECT_EQ(r.colunas[1].escala, 2);
    EXPECT_EQ(r.linhas[0][0].texto, c.a);
    EXPECT_EQ(r.linhas[0][1].texto, c.b);
    EXPECT_EQ(r.linhas[0][2].texto, c.c);
    EXPECT_EQ(r.linhas[0][3].texto, c.d);
  }
  // Integers, reals and scaled literals bound to scaled columns.
  s_->Executar("insert into TN (id, a, b, e, f, g) values (9, ?, ?, ?, ?, ?)",
               {{"", Valor::Inteiro(123)}, {"", Valor::Real(0.05)}, {"", Valor::Decimal("-5")},
                {"", Valor::Real(-1.5)}, {"", Valor::Real(0.25)}});
  Resultado r = s_->Consultar("select a, b, e, f, g, cast(123 as numeric(9,2)) from TN where id = 9");
  EXPECT_EQ(r.linhas[0][0].texto, "123.0000");
  EXPECT_EQ(r.linhas[0][1].texto, "0.05");
  EXPECT_EQ(r.colunas[2].tipo, TipoValor::Inteiro);  // NUMERIC(18,0) is a plain BIGINT
  EXPECT_EQ(r.linhas[0][2].inteiro, -5);
  EXPECT_EQ(r.colunas[3].tipo, TipoValor::Real);
  EXPECT_DOUBLE_EQ(r.linhas[0][3].real, -1.5);
  EXPECT_DOUBLE_EQ(r.linhas[0][4].real, 0.25);
  EXPECT_EQ(r.linhas[0][5].texto, "123.00");
  EXPECT_THROW(s_->Executar("insert into TN (b) values (?)", {{"", Valor::Decimal("1e3x")}}), EErroBanco);
}

TEST_F(FbTeste, InteirosBooleanosENulos) {
  s_->Executar("create table TI (s smallint, i integer, b bigint, l boolean, t varchar(30))");
  s_->Executar("insert into TI values (?, ?, ?, ?, ?)",
               {{"", Valor::Inteiro(-32768)}, {"", Valor::Inteiro(2147483647)},
                {"", Valor::Inteiro(INT64_MIN)}, {"", Valor::Booleano(true)}, {"", Valor::Inteiro(-42)}});
  s_->Executar("insert into TI values (?, ?, ?, ?, ?)",
               {{"", Valor::Nulo()}, {"", Valor::Nulo()}, {"", Valor::Nulo()}, {"", Valor::Booleano(false)},
                {"", Valor::Nulo()}});
  Resultado r = s_->Consultar("select s, i, b, l, t from TI order by l desc");
  EXPECT_EQ(r.linhas[0][0].inteiro, -32768);
  EXPECT_EQ(r.linhas[0][1].inteiro, 2147483647);
  EXPECT_EQ(r.linhas[0][2].inteiro, INT64_MIN);
  EXPECT_EQ(r.colunas[3].tipo, TipoValor::Booleano);
  EXPECT_TRUE(r.linhas[0][3].booleano);
  EXPECT_EQ(r.linhas[0][4].texto, "-42");
  for (int i : {0, 1, 2, 4}) EXPECT_TRUE(r.linhas[1][static_cast<size_t>(i)].EhNulo());
  EXPECT_FALSE(r.linhas[1][3].booleano);
  EXPECT_EQ(s_->Escalar("select count(*) from TI where l = ?", {{"", Valor::Booleano(false)}}).inteiro, 1);
  EXPECT_EQ(s_->Escalar("select count(*) from TI where s = ?", {{"", Valor::Texto("-32768")}}).inteiro, 1);
  EXPECT_EQ(s_->Escalar("select count(*) from TI where s is not distinct from ?", {{"", Valor::Nulo()}}).inteiro, 1);

  // Empty text is a value, not NULL, in a VARCHAR and in a text blob.
  s_->Executar("create table TV (v varchar(5), m blob sub_type text)");
  s_->Executar("insert into TV values (?, ?)", {{"", Valor::Texto("")}, {"", Valor::Texto("")}});
  Resultado v = s_->Consultar("select v, m, v is null, m is null from TV");
  EXPECT_EQ(v.linhas[0][0].tipo, TipoValor::Texto);
  EXPECT_EQ(v.linhas[0][1].tipo, TipoValor::Memo);
  EXPECT_EQ(v.linhas[0][1].texto, "");
  EXPECT_FALSE(v.linhas[0][2].booleano);
  EXPECT_FALSE(v.linhas[0][3].booleano);
}

TEST_F(FbTeste, DatasEHorasComMilissegundos) {
  s_->Executar("create table TD (id integer, d date, h time, t timestamp)");
  struct Caso {
    TDataHora d, h, t;
  } casos[] = {
      {Dh(2024, 3, 5), Dh(1899, 12, 30, 14, 7, 9, 123), Dh(2024, 3, 5, 14, 7, 9, 120)},
      {Dh(1, 1, 1), Dh(1899, 12, 30, 0, 0, 0, 1), Dh(1858, 11, 17, 0, 0, 0, 0)},
      {Dh(9999, 12, 31), Dh(1899, 12, 30, 23, 59, 59, 999), Dh(9999, 12, 31, 23, 59, 59, 999)},
      {Dh(2000, 2, 29), Dh(1899, 12, 30), Dh(1899, 12, 30, 0, 0, 0, 0)},
  };
  int id = 0;
  for (const auto& c : casos) {
    SCOPED_TRACE(id);
    ++id;
    s_->Executar("insert into TD values (?, ?, ?, ?)", {{"", Valor::Inteiro(id)}, {"", Valor::Data(c.d)},
                                                       {"", Valor::Hora(c.h)}, {"", Valor::DataHora(c.t)}});
    Resultado r = s_->Consultar("select d, h, t from TD where id = ?", {{"", Valor::Inteiro(id)}});
    EXPECT_EQ(r.linhas[0][0].tipo, TipoValor::Data);
    EXPECT_EQ(r.linhas[0][0].dataHora, c.d);
    EXPECT_EQ(r.linhas[0][1].tipo, TipoValor::Hora);
    EXPECT_EQ(r.linhas[0][1].dataHora, c.h);
    EXPECT_EQ(r.linhas[0][2].tipo, TipoValor::DataHora);
    EXPECT_EQ(r.linhas[0][2].dataHora, c.t);
  }
  // The server's own literals, and text bound to date columns.
  Resultado r = s_->Consultar("select timestamp '2024-03-05 14:07:09.1234', time '23:59:59.9999', date '1858-11-16' "
                              "from rdb$database");
  EXPECT_EQ(r.linhas[0][0].dataHora, Dh(2024, 3, 5, 14, 7, 9, 123));
  EXPECT_EQ(r.linhas[0][1].dataHora, Dh(1899, 12, 30, 23, 59, 59, 999));
  EXPECT_EQ(r.linhas[0][2].dataHora, Dh(1858, 11, 16));
  s_->Executar("insert into TD (id, t) values (99, ?)", {{"", Valor::Texto("2024-03-05 14:07:09.500")}});
  EXPECT_EQ(s_->Escalar("select t from TD where id = 99").dataHora, Dh(2024, 3, 5, 14, 7, 9, 500));
  EXPECT_THROW(s_->Executar("insert into TD (id, d) values (1, ?)", {{"", Valor::Data(Dh(2023, 2, 29))}}),
               EErroConversao);
}

TEST_F(FbTeste, FalhasDeConexaoTrazemAMensagemDoDriver) {
  const Servidor& sv = ServidorFb();
  struct Caso {
    std::string nome, host;
    int porta;
    std::string senha, banco, trecho;
  } casos[] = {
      {"senha errada", sv.host, sv.porta, "errada", Banco().banco(), "user name and password are not defined"},
      {"porta fechada", "127.0.0.1", 1, sv.senha, Banco().banco(), "Unable to complete network request"},
      {"arquivo ausente", sv.host, sv.porta, sv.senha, sv.pasta + "/nao_existe_fb.fdb", "nao_existe_fb.fdb"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    try {
      AbrirConexao("firebird", c.host, c.porta, c.senha, sv.usuario, c.banco);
      ADD_FAILURE() << "sem excecao";
    } catch (const EErroBanco& e) {
      EXPECT_NE(std::string(e.what()).find(c.trecho), std::string::npos) << e.what();
      EXPECT_NE(e.Codigo(), 0);
    }
  }
}

TEST_F(FbTeste, ErrosDoServidorComMensagemECodigo) {
  try {
    s_->Consultar("select * from TABELA_QUE_NAO_HA");
    ADD_FAILURE() << "sem excecao";
  } catch (const EErroBanco& e) {
    EXPECT_EQ(std::string(e.what()),
              "Dynamic SQL Error\nSQL error code = -204\nTable unknown\nTABELA_QUE_NAO_HA\nAt line 1, column 15");
    EXPECT_EQ(e.SqlState(), "42S02");
    EXPECT_EQ(e.Codigo(), 335544569L);
  }
  s_->Executar("create table TE (id integer not null primary key)");
  s_->Executar("insert into TE values (1)");
  try {
    s_->Executar("insert into TE values (?)", {{"", Valor::Inteiro(1)}});
    ADD_FAILURE() << "sem excecao";
  } catch (const EErroBanco& e) {
    EXPECT_NE(Maiusculas(e.what()).find("PRIMARY OR UNIQUE"), std::string::npos) << e.what();
  }
  EXPECT_THROW(s_->Executar("commit"), EErroBanco);
  EXPECT_THROW(s_->Consultar("select 1 from rdb$database where 1 = ?"), EErroBanco);
  EXPECT_EQ(s_->Escalar("select count(*) from TE").inteiro, 1);
}

TEST_F(FbTeste, ExecuteBlockETriggerComParametrosDePsql) {
  s_->Executar("create table TG (id integer not null, uuid char(36), n integer)");
  s_->Executar("CREATE TRIGGER TG_BI FOR TG ACTIVE BEFORE INSERT POSITION 0 AS\n"
               "BEGIN\n"
               "  IF (NEW.UUID IS NULL OR CHAR_LENGTH(NEW.UUID) <> 36) THEN NEW.UUID = UUID_TO_CHAR(GEN_UUID());\n"
               "  NEW.N = COALESCE(NEW.N, 0) + 1;\n"
               "END");
  s_->Executar("create table TG_LOG (id integer, op char(1))");
  s_->Executar("CREATE OR ALTER TRIGGER TG_AI FOR TG ACTIVE AFTER INSERT OR DELETE POSITION 0 AS BEGIN "
               "IF (INSERTING) THEN INSERT INTO TG_LOG VALUES (:NEW.ID, 'I'); ELSE INSERT INTO TG_LOG VALUES (:OLD.ID, 'D'); "
               "END");
  s_->Executar("EXECUTE BLOCK AS\n"
               "DECLARE x INTEGER = 0;\n"
               "BEGIN\n"
               "  WHILE (:x < 3) DO BEGIN\n"
               "    x = :x + 1;\n"
               "    INSERT INTO TG (id) VALUES (:x);\n"
               "  END\n"
               "END");
  Resultado r = s_->Consultar("select id, uuid, n from TG order by id");
  ASSERT_EQ(r.linhas.size(), 3u);
  EXPECT_EQ(r.linhas[2][0].inteiro, 3);
  EXPECT_EQ(r.linhas[2][1].texto.size(), 36u);
  EXPECT_EQ(r.linhas[2][2].inteiro, 1);
  // A block that returns rows, and one with a parameter.
  Resultado b = s_->Consultar("EXECUTE BLOCK RETURNS (v INTEGER) AS BEGIN v = 1; SUSPEND; v = 2; SUSPEND; END");
  ASSERT_EQ(b.linhas.size(), 2u);
  EXPECT_EQ(b.linhas[1][0].inteiro, 2);
  EXPECT_EQ(s_->Executar("update TG set n = n + 1 where id >= ?", {{"", Valor::Inteiro(2)}}), 2);
  EXPECT_EQ(s_->Executar("delete from TG"), 3);
  EXPECT_EQ(s_->Escalar("select list(op || id, ',') from (select op, id from TG_LOG order by op desc, id)").texto,
            "I1,I2,I3,D1,D2,D3");
}

TEST_F(FbTeste, ReturningDevolveALinhaEContagens) {
  s_->Executar("create table TR (id integer not null primary key, v varchar(10))");
  Resultado r = s_->Consultar("insert into TR (id, v) values (?, ?) returning id, v",
                              {{"", Valor::Inteiro(7)}, {"", Valor::Texto("sete")}});
  ASSERT_EQ(r.linhas.size(), 1u);
  EXPECT_EQ(r.colunas[1].nome, "V");
  EXPECT_EQ(r.linhas[0][0].inteiro, 7);
  EXPECT_EQ(r.linhas[0][1].texto, "sete");
  EXPECT_EQ(s_->Executar("update or insert into TR (id, v) values (:id, :v) matching (id)",
                         {{"id", Valor::Inteiro(7)}, {"v", Valor::Texto("SETE")}}),
            1);
  EXPECT_EQ(s_->Escalar("select v from TR where id = 7").texto, "SETE");
  EXPECT_EQ(s_->Executar("update TR set v = 'x' where id = 8"), 0);
}

TEST_F(FbTeste, TransacoesExplicitasESavepoints) {
  s_->Executar("create table TT (id integer)");
  EXPECT_FALSE(s_->EmTransacao());
  s_->IniciarTransacao();
  EXPECT_TRUE(s_->EmTransacao());
  s_->Executar("insert into TT values (1)");
  s_->CriarSavepoint("TWDESC");
  s_->Executar("insert into TT values (2)");
  s_->VoltarAoSavepoint("TWDESC");
  s_->LiberarSavepoint("TWDESC");
  s_->CriarSavepoint("TWDESC");
  s_->Executar("insert into TT values (3)");
  s_->LiberarSavepoint("TWDESC");
  // Not yet visible to another session.
  auto outra = Abrir();
  EXPECT_EQ(outra->Escalar("select count(*) from TT").inteiro, 0);
  s_->Confirmar();
  EXPECT_FALSE(s_->EmTransacao());
  EXPECT_EQ(outra->Escalar("select list(id) from TT").texto, "1,3");

  s_->IniciarTransacao();
  s_->Executar("insert into TT values (4)");
  s_->Desfazer();
  {
    Transacao t(*s_);
    s_->Executar("insert into TT values (5)");
  }
  EXPECT_EQ(s_->Escalar("select count(*) from TT").inteiro, 2);

  // A read-only transaction refuses writes; errors in the transaction leave it usable.
  s_->IniciarTransacao(Isolamento::LeituraConfirmadaSomenteLeitura);
  EXPECT_THROW(s_->Executar("insert into TT values (6)"), EErroBanco);
  EXPECT_EQ(s_->Escalar("select count(*) from TT").inteiro, 2);
  s_->Confirmar();

  EXPECT_THROW(s_->CriarSavepoint("X"), EErroBanco);   // outside a transaction
  EXPECT_THROW(s_->Confirmar(), EErroBanco);
  EXPECT_NO_THROW(s_->Desfazer());
  s_->IniciarTransacao();
  EXPECT_THROW(s_->IniciarTransacao(), EErroBanco);
  EXPECT_THROW(s_->CriarSavepoint("X; DROP TABLE TT"), EErroBanco);
  s_->Executar("insert into TT values (7)");
  s_.reset();  // the session's end rolls the open transaction back
  EXPECT_EQ(outra->Escalar("select count(*) from TT where id = 7").inteiro, 0);
}

TEST_F(FbTeste, ComandoQueFalhaEmModoAutomaticoNaoDeixaNadaPelaMetade) {
  s_->Executar("create table TA (id integer not null primary key)");
  EXPECT_THROW(s_->Executar("insert into TA select 1 from rdb$database union all select 1 from rdb$database"),
               EErroBanco);
  EXPECT_EQ(s_->Escalar("select count(*) from TA").inteiro, 0);
  // Each statement commits on its own: another session sees it at once.
  s_->Executar("insert into TA values (?)", {{"", Valor::Inteiro(1)}});
  EXPECT_EQ(Abrir()->Escalar("select count(*) from TA").inteiro, 1);
}

TEST_F(FbTeste, SessaoFechadaEmCaminhoDeErroNaoDeixaConexaoAberta) {
  const std::string contar = "select count(*) from mon$attachments where mon$attachment_id <> current_connection "
                             "and mon$remote_protocol is not null";
  const int64_t antes = s_->Escalar(contar).inteiro;
  {
    auto aberta = Abrir();
    EXPECT_EQ(s_->Escalar(contar).inteiro, antes + 1);  // the count does see a session
  }
  for (int i = 0; i < 3; ++i) {
    try {
      auto s = Abrir();
      s->IniciarTransacao();
      s->Executar("insert into TABELA_QUE_NAO_HA values (1)");
    } catch (const EErroBanco&) {
    }
    EXPECT_THROW(AbrirConexao("firebird", ServidorFb().host, ServidorFb().porta, "errada", ServidorFb().usuario,
                              Banco().banco()),
                 EErroBanco);
  }
  EXPECT_EQ(s_->Escalar(contar).inteiro, antes);
}

}  // namespace
