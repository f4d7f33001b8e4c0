// The session layer on both real servers: statement texts, typed round trips, the catalogue caches,
// capture suppression, transactions and savepoints, connection failures; plus the pure helpers.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "apoio.h"
#include "u_db.h"
#include "u_db_interno.h"
#include "u_erros.h"
#include "u_log.h"

namespace tw {
namespace {

using teste::BancoTeste;
using teste::Servidor;

TDataHora DH(int ano, int mes, int dia, int hora = 0, int minuto = 0, int segundo = 0, int ms = 0) {
  return TDataHora{ano, mes, dia, hora, minuto, segundo, ms};
}

// --- Helpers that need no server -----------------------------------------------------------

TEST(SgbdEhPostgres, EscolheODialetoPeloNome) {
  struct Caso {
    const char* nome;
    bool pg;
  } casos[] = {{"postgres", true}, {"PostgreS", true}, {"POSTGRES", true}, {"postgresql", false},
               {"", false},        {"firebird", false}, {" postgres", false}};
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    EXPECT_EQ(SgbdEhPostgres(c.nome), c.pg);
    EXPECT_EQ(PortaPadrao(c.nome), c.pg ? 5432 : 3050);
    EXPECT_EQ(UsuarioPadrao(c.nome), c.pg ? "postgres" : "SYSDBA");
  }
}

TEST(TipoPgParaCodigo, MapeiaDataHoraEIgnoraOResto) {
  struct Caso {
    const char* tipo;
    int32_t codigo;
  } casos[] = {{"timestamp with time zone", 35}, {"timestamp without time zone", 35}, {"time without time zone", 13},
               {"time with time zone", 13},      {" DATE ", 12},                      {"date", 12},
               {"interval", 0},                  {"text", 0},                         {"", 0},
               {"daterange", 0}};
  for (const auto& c : casos) {
    SCOPED_TRACE(c.tipo);
    EXPECT_EQ(TipoPgParaCodigo(c.tipo), c.codigo);
  }
}

TEST(TextoParaDataHora, FormasAceitas) {
  struct Caso {
    const char* texto;
    TDataHora esperado;
  } casos[] = {
      {"2024-03-05T14:07:09.123Z", DH(2024, 3, 5, 14, 7, 9)},
      {"2024-03-05 14:07:09", DH(2024, 3, 5, 14, 7, 9)},
      {"2024-03-05 14:07:09+03:00", DH(2024, 3, 5, 14, 7, 9)},
      {"2024-03-05 14:07", DH(2024, 3, 5)},
      {"2024-03-05", DH(2024, 3, 5)},
      {"2024-02-29", DH(2024, 2, 29)},
      {"14:07:09", DH(1899, 12, 30, 14, 7, 9)},
      {"23:59:59.999", DH(1899, 12, 30, 23, 59, 59)},
      {"", DH(1899, 12, 30)},
      {"05/03/2024", DH(1899, 12, 30)},
      {"2024", DH(1899, 12, 30)},
      {"14:07", DH(1899, 12, 30)},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.texto);
    EXPECT_EQ(TextoParaDataHora(c.texto), c.esperado);
  }
}

TEST(TextoParaDataHora, CampoMalformadoEErroDeConversao) {
  for (const char* texto : {"2024-13-01", "2024-00-10", "2023-02-29", "2024-04-31", "0000-01-01", "2024-03-05T24:00:00",
                            "2024-03-05 12:60:00", "2024-03-05 12:00:61", "20a4-03-05", "2024-0x-05", "2024-03-05Tab:00:00",
                            "25:00:00", "1a:00:00"}) {
    SCOPED_TRACE(texto);
    try {
      TextoParaDataHora(texto);
      ADD_FAILURE() << "sem erro";
    } catch (const EErroConversao& e) {
      EXPECT_NE(std::string(e.what()).find(texto), std::string::npos) << e.what();
    }
  }
}

TEST(Valor, ComoTextoEComoInteiro) {
  EXPECT_EQ(Valor::Nulo().ComoTexto(), "");
  EXPECT_EQ(Valor::Inteiro(-42).ComoTexto(), "-42");
  EXPECT_EQ(Valor::Real(0.1).ComoTexto(), "0.1");
  EXPECT_EQ(Valor::Booleano(true).ComoTexto(), "1");
  EXPECT_EQ(Valor::Data(DH(2024, 3, 5, 1, 2, 3)).ComoTexto(), "2024-03-05");
  EXPECT_EQ(Valor::Hora(DH(1899, 12, 30, 1, 2, 3, 4)).ComoTexto(), "01:02:03");
  EXPECT_EQ(Valor::DataHora(DH(2024, 3, 5, 1, 2, 3)).ComoTexto(), "2024-03-05 01:02:03");
  EXPECT_EQ(Valor::Decimal("-12.3400").ComoTexto(), "-12.3400");

  EXPECT_EQ(Valor::Nulo().ComoInteiro(), 0);
  EXPECT_EQ(Valor::Texto(" 77 ").ComoInteiro(), 77);
  EXPECT_EQ(Valor::Decimal("12.000").ComoInteiro(), 12);
  EXPECT_EQ(Valor::Real(3.0).ComoInteiro(), 3);
  EXPECT_EQ(Valor::Texto("-9223372036854775808").ComoInteiro(), std::numeric_limits<int64_t>::min());
  for (const Valor& v : {Valor::Texto("abc"), Valor::Decimal("12.5"), Valor::Real(2.5), Valor::Texto("99999999999999999999"),
                         Valor::Data(DH(2024, 1, 1))}) {
    SCOPED_TRACE(v.ComoTexto());
    EXPECT_THROW(v.ComoInteiro(), EErroConversao);
  }
}

std::string Marca(size_t i) { return "<" + std::to_string(i) + ">"; }

TEST(AnalisarParametros, SoSubstituiParametrosForaDeLiteraisComentariosECorpos) {
  struct Caso {
    const char* sql;
    const char* texto;
    std::vector<std::string> nomes;
  } casos[] = {
      {"select 1", "select 1", {}},
      {"select :a, ?, :B_2 from t where x = :a", "select <0>, <1>, <2> from t where x = <3>", {"a", "", "B_2", "a"}},
      {"select ':x ?' from t where y = :y", "select ':x ?' from t where y = <0>", {"y"}},
      {"select 'it''s :x' , :y", "select 'it''s :x' , <0>", {"y"}},
      {"select E'a\\' :x', :y", "select E'a\\' :x', <0>", {"y"}},
      {"select \"col:x?\" from \"t\"\"q:z\" where a = ?", "select \"col:x?\" from \"t\"\"q:z\" where a = <0>", {""}},
      {"select 1 -- :x ?\n, :y", "select 1 -- :x ?\n, <0>", {"y"}},
      {"select /* :x ? */ :y", "select /* :x ? */ <0>", {"y"}},
      {"select :a::text, x::int", "select <0>::text, x::int", {"a"}},
      {"do $$ begin v := :x; end $$; select :y", "do $$ begin v := :x; end $$; select <0>", {"y"}},
      {"select $f$ :x ? $f$, $1, :y", "select $f$ :x ? $f$, $1, <0>", {"y"}},
      {"select rdb$relation_name from rdb$relations where rdb$relation_name = :t",
       "select rdb$relation_name from rdb$relations where rdb$relation_name = <0>", {"t"}},
      {"select q'{:x ' ?}' from rdb$database where a = :y", "select q'{:x ' ?}' from rdb$database where a = <0>", {"y"}},
      {"v := 1", "v := 1", {}},
      {"select 'sem fim :x", "select 'sem fim :x", {}},
      {"select :", "select :", {}},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.sql);
    const db_interno::SqlPreparado p = db_interno::AnalisarParametros(c.sql, &Marca);
    EXPECT_EQ(p.texto, c.texto);
    EXPECT_EQ(p.nomes, c.nomes);
  }
}

TEST(OrdenarParametros, CasaNomesSemCaixaEPosicionaisEmOrdem) {
  const auto p = db_interno::AnalisarParametros("select ?, :Nome, ?, :nome", &Marca);
  const Parametros dados{{"", Valor::Inteiro(1)}, {"NOME", Valor::Texto("n")}, {"", Valor::Inteiro(2)}};
  const auto ordem = db_interno::OrdenarParametros(p, dados);
  ASSERT_EQ(ordem.size(), 4u);
  EXPECT_EQ(ordem[0]->inteiro, 1);
  EXPECT_EQ(ordem[1]->texto, "n");
  EXPECT_EQ(ordem[2]->inteiro, 2);
  EXPECT_EQ(ordem[3], ordem[1]);

  try {
    db_interno::OrdenarParametros(db_interno::AnalisarParametros("select :falta", &Marca), dados);
    ADD_FAILURE() << "sem erro";
  } catch (const EErroBanco& e) {
    EXPECT_STREQ(e.what(), "parametro :falta nao informado");
  }
  EXPECT_THROW(db_interno::OrdenarParametros(db_interno::AnalisarParametros("select ?, ?, ?", &Marca), dados), EErroBanco);
}

// --- Both servers ----------------------------------------------------------------------------

const Servidor& ServidorDe(const std::string& nome) { return nome == "postgres" ? teste::ServidorPg() : teste::ServidorFb(); }

class UDb : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    LimparCachesCatalogo();
    banco_ = std::make_unique<BancoTeste>(ServidorDe(GetParam()), "udb");
    s_ = banco_->Abrir();
  }

  bool Pg() const { return GetParam() == "postgres"; }
  // The same statement in each dialect.
  const char* Ddl(const char* pg, const char* fb) const { return Pg() ? pg : fb; }
  std::string DeUmaLinha() const { return Pg() ? "" : " from rdb$database"; }

  // The count of the given table's rows.
  int64_t Contar(Sessao& s, const std::string& tabela) { return s.Escalar("select count(*) from " + tabela).ComoInteiro(); }

  // Closes the session's connection from the server side, so that its next statement fails.
  void DerrubarConexao(Sessao& alvo) {
    SessaoPtr outra = banco_->Abrir();
    if (Pg()) {
      const int64_t pid = alvo.Escalar("select pg_backend_pid()").ComoInteiro();
      // With a time-out the call returns only once the server process is gone.
      outra->Escalar("select pg_terminate_backend(:p, 10000)", {{"p", Valor::Inteiro(pid)}});
    } else {
      const int64_t id = alvo.Escalar("select current_connection from rdb$database").ComoInteiro();
      outra->Executar("delete from mon$attachments where mon$attachment_id = :p", {{"p", Valor::Inteiro(id)}});
    }
  }

  std::unique_ptr<BancoTeste> banco_;
  SessaoPtr s_;
};

std::string NomeDoServidor(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(Servidores, UDb, ::testing::Values("postgres", "firebird"), NomeDoServidor);

TEST_P(UDb, TextosDasInstrucoes) {
  struct Caso {
    const char* oque;
    std::string obtido;
    const char* pg;
    const char* fb;
  } casos[] = {
      {"LimiteLinhas cabeca", LimiteLinhas(*s_, 500).cabeca, "", "first 500 "},
      {"LimiteLinhas cauda", LimiteLinhas(*s_, 500).cauda, " limit 500", ""},
      {"CitarIdent", CitarIdent(*s_, "Pedido"), "\"Pedido\"", "\"PEDIDO\""},
      {"CitarIdent acentos", CitarIdent(*s_, "Ação"), "\"Ação\"", "\"AÇÃO\""},
      {"CitarIdent aspas", CitarIdent(*s_, "a\"b"), "\"a\"\"b\"", "\"A\"\"B\""},
      {"ParamUuid", ParamUuid(*s_, "sid"), "cast(:sid as uuid)", ":sid"},
      {"SqlGravarPorUuid", SqlGravarPorUuid(*s_, "cliente", {"nome", "saldo"}),
       "insert into \"cliente\" (\"uuid\", \"nome\", \"saldo\") values (cast(:UUID as uuid), :p0, :p1) on conflict "
       "(\"uuid\") do update set \"nome\" = excluded.\"nome\", \"saldo\" = excluded.\"saldo\"",
       "update or insert into \"CLIENTE\" (\"UUID\", \"NOME\", \"SALDO\") values (:UUID, :p0, :p1) matching (\"UUID\")"},
      {"SqlGravarPorUuid sem colunas", SqlGravarPorUuid(*s_, "T", {}),
       "insert into \"T\" (\"uuid\") values (cast(:UUID as uuid)) on conflict (\"uuid\") do nothing",
       "update or insert into \"T\" (\"UUID\") values (:UUID) matching (\"UUID\")"},
      {"SqlApagarPorUuid", SqlApagarPorUuid(*s_, "cliente"),
       "delete from \"cliente\" where \"uuid\" = cast(:sid as uuid)", "delete from \"CLIENTE\" where \"UUID\" = :sid"},
  };
  EXPECT_EQ(EhPostgres(*s_), Pg());
  for (const auto& c : casos) {
    SCOPED_TRACE(c.oque);
    EXPECT_EQ(c.obtido, Pg() ? c.pg : c.fb);
  }
}

TEST_P(UDb, GravarApagarEExistirPorUuidNumaTabelaReal) {
  // The table name carries a double quote, as a name read from a catalogue may.
  const std::string tabela = "cli\"ente";
  s_->Executar("create table " + CitarIdent(*s_, tabela) +
               Ddl(" (uuid uuid primary key, nome varchar(60), saldo numeric(12,2))",
                   " (uuid char(36) not null primary key, nome varchar(60), saldo numeric(12,2))"));
  const std::string u1 = "25b164ba-6a50-4d5e-9c3e-0123456789ab", u2 = "35b164ba-6a50-4d5e-9c3e-0123456789ab";
  const std::string gravar = SqlGravarPorUuid(*s_, tabela, {"nome", "saldo"});
  s_->Executar(gravar, {{"UUID", Valor::Texto(u1)}, {"p0", Valor::Texto("Ana")}, {"p1", Valor::Decimal("10.50")}});
  s_->Executar(gravar, {{"UUID", Valor::Texto(u1)}, {"p0", Valor::Texto("Ana Maria")}, {"p1", Valor::Decimal("-3.25")}});
  s_->Executar(gravar, {{"UUID", Valor::Texto(u2)}, {"p0", Valor::Nulo()}, {"p1", Valor::Nulo()}});
  const std::string so = SqlGravarPorUuid(*s_, tabela, {});
  s_->Executar(so, {{"UUID", Valor::Texto(u2)}});

  const Resultado r = s_->Consultar("select nome, saldo from " + CitarIdent(*s_, tabela) + " order by nome nulls last");
  ASSERT_EQ(r.linhas.size(), 2u);
  EXPECT_EQ(r.Campo(0, "NOME").texto, "Ana Maria");
  EXPECT_EQ(r.Campo(0, "saldo").texto, "-3.25");

  EXPECT_TRUE(ExisteUuid(*s_, tabela, u1));
  EXPECT_FALSE(ExisteUuid(*s_, tabela, "45b164ba-6a50-4d5e-9c3e-0123456789ab"));
  EXPECT_EQ(s_->Executar(SqlApagarPorUuid(*s_, tabela), {{"sid", Valor::Texto(u1)}}), 1);
  EXPECT_FALSE(ExisteUuid(*s_, tabela, u1));
  EXPECT_TRUE(ExisteUuid(*s_, tabela, u2));
  EXPECT_THROW(ExisteUuid(*s_, "nao_existe", u2), EErroBanco);
}

TEST_P(UDb, CadaTipoIdaEVoltaPorUmaTabela) {
  s_->Executar(Ddl("create table tipos (id integer primary key, i32 integer, i64 bigint, r double precision, "
                   "b boolean, t varchar(200), m text, bl bytea, d date, h time, dh timestamp, n numeric(18,4))",
                   "create table tipos (id integer not null primary key, i32 integer, i64 bigint, r double precision, "
                   "b boolean, t varchar(200), m blob sub_type text, bl blob sub_type binary, d date, h time, "
                   "dh timestamp, n numeric(18,4))"));
  std::string grande(1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < grande.size(); ++i) grande[i] = static_cast<char>((i * 131 + i / 256) % 256);
  const std::string acentos = "Ação São João ç ã é";
  std::string memo;
  for (int i = 0; i < 20000; ++i) memo += acentos + " " + std::to_string(i) + "\n";

  struct Linha {
    int id;
    int64_t i32, i64;
    double r;
    bool b;
    std::string t, m, bl;
    TDataHora d, h, dh;
    std::string n, nLido;
  } linhas[] = {
      {1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int64_t>::max(), 0.1, true, acentos, memo, grande,
       DH(2024, 3, 5), DH(1899, 12, 30, 23, 59, 59, 999), DH(2024, 3, 5, 14, 7, 9, 123), "12345678901234.5678",
       "12345678901234.5678"},
      {2, std::numeric_limits<int32_t>::max(), std::numeric_limits<int64_t>::min(), -1.5e300, false, "'; --\"", "",
       std::string("\0\x01\xff'\\", 5), DH(1, 1, 1), DH(1899, 12, 30), DH(1999, 12, 31, 0, 0, 0, 1), "-0.0001", "-0.0001"},
      {3, 0, 0, 123456.789, true, "", "x", "", DH(9999, 12, 31), DH(1899, 12, 30, 12, 0, 0, 500), DH(2000, 2, 29, 12, 30, 45),
       "7", "7.0000"},
  };
  const char* inserir =
      "insert into tipos (id, i32, i64, r, b, t, m, bl, d, h, dh, n) values (:id, :i32, :i64, :r, :b, ?, :m, :bl, :d, "
      ":h, :dh, :n)";
  for (const auto& l : linhas) {
    EXPECT_EQ(s_->Executar(inserir, {{"id", Valor::Inteiro(l.id)}, {"i32", Valor::Inteiro(l.i32)}, {"i64", Valor::Inteiro(l.i64)},
                                     {"r", Valor::Real(l.r)}, {"b", Valor::Booleano(l.b)}, {"", Valor::Texto(l.t)},
                                     {"m", Valor::Memo(l.m)}, {"bl", Valor::Blob(l.bl)}, {"d", Valor::Data(l.d)},
                                     {"h", Valor::Hora(l.h)}, {"dh", Valor::DataHora(l.dh)}, {"n", Valor::Decimal(l.n)}}),
              1);
  }
  s_->Executar("insert into tipos (id) values (4)");

  const Resultado r = s_->Consultar("select id, i32, i64, r, b, t, m, bl, d, h, dh, n from tipos order by id");
  ASSERT_EQ(r.linhas.size(), 4u);
  const int n = r.Indice("n");
  ASSERT_GE(n, 0);
  EXPECT_EQ(r.colunas[static_cast<size_t>(n)].tipo, TipoValor::Decimal);
  EXPECT_EQ(r.colunas[static_cast<size_t>(n)].escala, 4);
  for (size_t i = 0; i < 3; ++i) {
    const Linha& l = linhas[i];
    SCOPED_TRACE(l.id);
    EXPECT_EQ(r.Campo(i, "id").inteiro, l.id);
    EXPECT_EQ(r.Campo(i, "i32").tipo, TipoValor::Inteiro);
    EXPECT_EQ(r.Campo(i, "i32").inteiro, l.i32);
    EXPECT_EQ(r.Campo(i, "i64").inteiro, l.i64);
    EXPECT_EQ(r.Campo(i, "r").tipo, TipoValor::Real);
    EXPECT_EQ(r.Campo(i, "r").real, l.r);
    EXPECT_EQ(r.Campo(i, "b").tipo, TipoValor::Booleano);
    EXPECT_EQ(r.Campo(i, "b").booleano, l.b);
    EXPECT_EQ(r.Campo(i, "t").tipo, TipoValor::Texto);
    EXPECT_EQ(r.Campo(i, "t").texto, l.t);
    EXPECT_TRUE(r.Campo(i, "m").tipo == TipoValor::Memo || r.Campo(i, "m").tipo == TipoValor::Texto);
    EXPECT_TRUE(r.Campo(i, "m").texto == l.m) << "memo de " << l.m.size() << " bytes difere";
    EXPECT_EQ(r.Campo(i, "bl").tipo, TipoValor::Blob);
    EXPECT_TRUE(r.Campo(i, "bl").texto == l.bl) << "blob de " << l.bl.size() << " bytes difere";
    EXPECT_EQ(r.Campo(i, "d").tipo, TipoValor::Data);
    EXPECT_EQ(r.Campo(i, "d").dataHora, l.d);
    EXPECT_EQ(r.Campo(i, "h").tipo, TipoValor::Hora);
    EXPECT_EQ(r.Campo(i, "h").dataHora, l.h);
    EXPECT_EQ(r.Campo(i, "dh").tipo, TipoValor::DataHora);
    EXPECT_EQ(r.Campo(i, "dh").dataHora, l.dh);
    EXPECT_EQ(r.Campo(i, "n").tipo, TipoValor::Decimal);
    EXPECT_EQ(r.Campo(i, "n").texto, l.nLido);
  }
  for (const char* c : {"i32", "i64", "r", "b", "t", "m", "bl", "d", "h", "dh", "n"}) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(r.Campo(3, c).EhNulo());
  }
  // Equality with a bound parameter, exact on decimals and on the fraction of a second.
  EXPECT_EQ(s_->Escalar("select id from tipos where n = :n and dh = :dh and t = :t",
                        {{"n", Valor::Decimal("12345678901234.5678")}, {"dh", Valor::DataHora(linhas[0].dh)},
                         {"t", Valor::Texto(acentos)}})
                .inteiro,
            1);
}

TEST_P(UDb, NomesDeColunaComoOServidorInformaEEscalar) {
  const Resultado r = s_->Consultar("select 1 as \"MiXto\", 2 as minusculo" + DeUmaLinha());
  ASSERT_EQ(r.colunas.size(), 2u);
  EXPECT_EQ(r.colunas[0].nome, "MiXto");
  EXPECT_EQ(r.colunas[1].nome, Pg() ? "minusculo" : "MINUSCULO");
  EXPECT_EQ(r.Indice("mixto"), 0);
  EXPECT_EQ(r.Indice("nada"), -1);
  EXPECT_THROW(r.Campo(0, "nada"), EErroBanco);

  s_->Executar("create table e (id integer)");
  EXPECT_TRUE(s_->Escalar("select id from e").EhNulo());
  s_->Executar("insert into e values (1)");
  s_->Executar("insert into e values (2)");
  EXPECT_EQ(s_->Executar("update e set id = id + 10"), 2);
  EXPECT_EQ(s_->Executar("delete from e where id = :x", {{"x", Valor::Inteiro(99)}}), 0);
}

TEST_P(UDb, ParametrosNaoSaoVistosEmLiteraisIdentificadoresEComentarios) {
  const std::string sql = "select ':x ? -- /*' as \"c:y?\", cast(:a as integer) as a, cast(? as integer) as b, "
                          "cast(:A as integer) as a2 /* :z ? */ -- :w ?\n" +
                          DeUmaLinha();
  const Resultado r = s_->Consultar(sql, {{"", Valor::Inteiro(2)}, {"a", Valor::Inteiro(1)}});
  ASSERT_EQ(r.linhas.size(), 1u);
  EXPECT_EQ(r.colunas[0].nome, "c:y?");
  EXPECT_EQ(r.linhas[0][0].texto, ":x ? -- /*");
  EXPECT_EQ(r.Campo(0, "a").inteiro, 1);
  EXPECT_EQ(r.Campo(0, "b").inteiro, 2);
  EXPECT_EQ(r.Campo(0, "a2").inteiro, 1);
  try {
    s_->Consultar(sql, {{"a", Valor::Inteiro(1)}});
    ADD_FAILURE() << "sem erro";
  } catch (const EErroBanco& e) {
    EXPECT_STREQ(e.what(), "parametro posicional 1 (?) nao informado");
  }
  // Run without parameters, a statement reaches the server as written: block variables keep their colons.
  EXPECT_EQ(s_->Escalar(Ddl("select 41 + 1",
                            "execute block returns (r integer) as declare variable x integer = 41; "
                            "begin select :x + 1 from rdb$database into :r; suspend; end"))
                .ComoInteiro(),
            42);
}

TEST_P(UDb, ErroDoDriverChegaComAMensagemDele) {
  try {
    s_->Consultar("select * from nao_existe");
    ADD_FAILURE() << "sem erro";
  } catch (const EErroBanco& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(Pg() ? "relation \"nao_existe\" does not exist" : "Table unknown"), std::string::npos) << msg;
    EXPECT_FALSE(msg.ends_with("\n"));
    EXPECT_FALSE(e.SqlState().empty());
  }
  // The session stays usable after a failed statement.
  EXPECT_EQ(s_->Escalar("select 5" + DeUmaLinha()).ComoInteiro(), 5);
}

TEST_P(UDb, FalhaDeConexaoLevantaErroDoDriver) {
  const Servidor& sv = ServidorDe(GetParam());
  struct Caso {
    const char* oque;
    int porta;
    std::string senha;
    const char* trechoPg;
    const char* trechoFb;
  } casos[] = {
      {"senha errada", sv.porta, "errada", "password authentication failed", "user name and password are not defined"},
      {"porta fechada", 1, sv.senha, "Connection refused", "Unable to complete network request"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.oque);
    try {
      AbrirConexao(sv.sgbd, sv.host, c.porta, c.senha, sv.usuario, banco_->banco());
      ADD_FAILURE() << "sem erro";
    } catch (const EErroBanco& e) {
      EXPECT_NE(std::string(e.what()).find(Pg() ? c.trechoPg : c.trechoFb), std::string::npos) << e.what();
    }
  }
  // The agent's configuration reaches the same database.
  SessaoPtr pelaConfig = AbrirConexaoAgente(banco_->Config());
  EXPECT_EQ(pelaConfig->EhPostgres(), Pg());
}

TEST_P(UDb, CachesLeemOCatalogoUmaVezPorTabela) {
  s_->Executar(Ddl("create table cliente (id integer, nome text, dobro integer generated always as (id * 2) stored, "
                   "d date, h time without time zone, dh timestamp with time zone, bl bytea)",
                   "create table cliente (id integer, nome blob sub_type text, dobro computed by (id * 2), "
                   "d date, h time, dh timestamp, bl blob sub_type binary)"));
  const TListaColunas& comp = ComputadasDe(*s_, "cliente");
  EXPECT_EQ(comp, TListaColunas{"DOBRO"});
  EXPECT_TRUE(ContemSemCaixa(comp, "Dobro"));
  EXPECT_FALSE(ContemSemCaixa(comp, "id"));

  const TMapaTipos& tipos = TiposDe(*s_, "cliente");
  ASSERT_EQ(tipos.size(), 7u);
  EXPECT_EQ(tipos.at("D").Tipo, 12);
  EXPECT_EQ(tipos.at("H").Tipo, 13);
  EXPECT_EQ(tipos.at("DH").Tipo, 35);
  if (Pg()) {
    EXPECT_EQ(tipos.at("NOME").Tipo, 0);
    EXPECT_EQ(tipos.at("BL").Tipo, 0);
  } else {
    EXPECT_EQ(tipos.at("NOME").Tipo, 261);
    EXPECT_EQ(tipos.at("NOME").Sub, 1);
    EXPECT_EQ(tipos.at("BL").Tipo, 261);
    EXPECT_EQ(tipos.at("BL").Sub, 0);
  }

  // Once read, the catalogue is not asked again: not even a dropped table changes the answer,
  // and any spelling of the name finds the same entry.
  s_->Executar("drop table cliente");
  for (const char* nome : {"cliente", "Cliente", "CLIENTE"}) {
    SCOPED_TRACE(nome);
    EXPECT_EQ(&ComputadasDe(*s_, nome), &comp);
    EXPECT_EQ(&TiposDe(*s_, nome), &tipos);
  }
  EXPECT_EQ(comp, TListaColunas{"DOBRO"});
  EXPECT_EQ(tipos.size(), 7u);
}

TEST_P(UDb, ConsultaDeCatalogoQueFalhaEAnotadaUmaVez) {
  teste::PastaTemp pasta;
  const std::string pastaAntes = PastaLog();
  DefinirPastaLog(pasta.Caminho());
  s_->Executar("create table cliente (id integer)");
  DerrubarConexao(*s_);

  const TListaColunas& comp = ComputadasDe(*s_, "cliente");
  const TMapaTipos& tipos = TiposDe(*s_, "Cliente");
  EXPECT_TRUE(comp.empty());
  EXPECT_TRUE(tipos.empty());
  EXPECT_EQ(&ComputadasDe(*s_, "CLIENTE"), &comp);
  EXPECT_EQ(&TiposDe(*s_, "cliente"), &tipos);
  // A fresh, working session still gets the cached (empty) answer: entries are never refreshed.
  SessaoPtr nova = banco_->Abrir();
  EXPECT_TRUE(ComputadasDe(*nova, "cliente").empty());
  EXPECT_TRUE(TiposDe(*nova, "cliente").empty());

  std::ostringstream todo;
  for (const auto& e : std::filesystem::directory_iterator(pasta.Caminho())) todo << std::ifstream(e.path()).rdbuf();
  const std::string log = todo.str();
  const auto contar = [&](const std::string& trecho) {
    size_t n = 0;
    for (size_t p = log.find(trecho); p != std::string::npos; p = log.find(trecho, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(contar("[ERRO] ComputadasDe(CLIENTE) falhou (segue sem exclusao): "), 1u) << log;
  EXPECT_EQ(contar("[ERRO] TiposDe(CLIENTE) falhou \xE2\x80\x94 data/hora podem quebrar nesta tabela: "), 1u) << log;
  DefinirPastaLog(pastaAntes);
}

TEST_P(UDb, MarcarAplicandoSuprimeACapturaSoNaSessaoMarcada) {
  s_->Executar("create table item (id integer, nome varchar(20))");
  s_->Executar("create table diario (id integer)");
  if (Pg()) {
    s_->Executar(
        "create function diario_f() returns trigger language plpgsql as $$ begin "
        "if coalesce(current_setting('tw' || '.aplicando', true), '') <> '' then return new; end if; "
        "insert into diario (id) values (new.id); return new; end $$");
    s_->Executar("create trigger item_t after insert on item for each row execute function diario_f()");
  } else {
    s_->Executar(
        "create trigger item_t for item after insert as begin "
        "if (rdb$get_context('USER_SESSION', 'TW' || 'X') is null) then insert into diario (id) values (new.id); end");
  }
  SessaoPtr outra = banco_->Abrir();
  const char* inserir = "insert into item (id, nome) values (:id, 'x')";
  MarcarAplicando(*s_, "Tw", true);
  s_->Executar(inserir, {{"id", Valor::Inteiro(1)}});
  outra->Executar(inserir, {{"id", Valor::Inteiro(2)}});
  s_->Executar(inserir, {{"id", Valor::Inteiro(3)}});
  MarcarAplicando(*s_, "Tw", false);
  s_->Executar(inserir, {{"id", Valor::Inteiro(4)}});

  const Resultado r = s_->Consultar("select id from diario order by id");
  ASSERT_EQ(r.linhas.size(), 2u);
  EXPECT_EQ(r.linhas[0][0].inteiro, 2);
  EXPECT_EQ(r.linhas[1][0].inteiro, 4);
  EXPECT_EQ(Contar(*s_, "item"), 4);
  // A prefix with quotes goes in as a literal and is never spliced into the statement.
  try {
    MarcarAplicando(*s_, "x', '1', false); drop table item; --", true);
  } catch (const EErroBanco&) {
    // PostgreSQL refuses such a setting name; what matters is that nothing else ran.
  }
  EXPECT_EQ(Contar(*outra, "item"), 4);
}

TEST_P(UDb, SavepointDesfazSoOItemETransacaoDesfazAoSairDoEscopo) {
  s_->Executar("create table it (id integer not null primary key)");
  SessaoPtr outra = banco_->Abrir();
  const char* inserir = "insert into it (id) values (?)";
  {
    Transacao t(*s_);
    EXPECT_TRUE(s_->EmTransacao());
    s_->Executar(inserir, {{"", Valor::Inteiro(1)}});
    s_->CriarSavepoint("TWDESC");
    s_->Executar(inserir, {{"", Valor::Inteiro(2)}});
    s_->VoltarAoSavepoint("TWDESC");
    // A failing item undone by its savepoint leaves the transaction usable.
    s_->CriarSavepoint("TWDESC");
    EXPECT_THROW(s_->Executar(inserir, {{"", Valor::Inteiro(1)}}), EErroBanco);
    s_->VoltarAoSavepoint("TWDESC");
    s_->CriarSavepoint("TWDESC");
    s_->Executar(inserir, {{"", Valor::Inteiro(3)}});
    s_->LiberarSavepoint("TWDESC");
    EXPECT_EQ(Contar(*outra, "it"), 0);  // not yet visible elsewhere
    t.Confirmar();
  }
  EXPECT_FALSE(s_->EmTransacao());
  EXPECT_EQ(s_->Consultar("select id from it order by id").linhas.size(), 2u);
  EXPECT_EQ(s_->Escalar("select sum(id) from it").ComoInteiro(), 4);

  {
    Transacao t(*s_);
    s_->Executar(inserir, {{"", Valor::Inteiro(10)}});
    EXPECT_EQ(Contar(*s_, "it"), 3);
  }
  EXPECT_FALSE(s_->EmTransacao());
  EXPECT_EQ(Contar(*s_, "it"), 2);
  EXPECT_EQ(Contar(*outra, "it"), 2);

  // Outside a transaction each statement commits on its own.
  s_->Executar(inserir, {{"", Valor::Inteiro(20)}});
  EXPECT_EQ(Contar(*outra, "it"), 3);

  {
    Transacao t(*s_, Isolamento::LeituraConfirmadaSomenteLeitura);
    EXPECT_EQ(Contar(*s_, "it"), 3);
    EXPECT_THROW(s_->Executar(inserir, {{"", Valor::Inteiro(30)}}), EErroBanco);
  }
  EXPECT_EQ(Contar(*s_, "it"), 3);
}

}  // namespace
}  // namespace tw
