#include "u_captura_fb3.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <tuple>

#include "apoio.h"
#include "captura_teste.h"
#include "u_db.h"

namespace tw {
namespace {

using teste::LinhaJournal;

const std::regex kUuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");

class CapturaFb : public ::testing::Test {
 protected:
  void Criar(const std::string& prefixo = "abc", const ProgressoEstrutura& progresso = {}) {
    const auto& sv = db.servidor();
    CriarEstruturaFb(sv.host, sv.porta, db.banco(), sv.usuario, sv.senha, prefixo, progresso);
  }
  // Runs the statements on a session of their own, each committed by itself.
  void Preparar(std::initializer_list<std::string> sqls) {
    auto s = db.Abrir();
    for (const auto& sql : sqls) s->Executar(sql);
  }
  // Runs one write in its own transaction; returns the transaction number.
  static int64_t Escrever(Sessao& s, const std::string& sql) {
    Transacao t(s);
    s.Executar(sql);
    const int64_t tx = s.Escalar("select current_transaction from rdb$database").ComoInteiro();
    t.Confirmar();
    return tx;
  }
  static std::vector<std::string> Coluna(Sessao& s, const std::string& sql) {
    std::vector<std::string> r;
    for (auto& l : s.Consultar(sql).linhas) r.push_back(Aparar(l.at(0).ComoTexto()));
    return r;
  }

  teste::BancoTeste db{teste::ServidorFb(), "cfb"};
  teste::LogDoTeste log;
};

TEST(CriarEstruturaFbPrefixo, PrefixoInvalidoRecusadoAntesDeConectar) {
  // Nothing listens on port 1: a connection attempt would raise EErroBanco instead.
  for (const std::string prefixo : {"ab", "abcd", "", "a b", "1ab", "a'b"}) {
    SCOPED_TRACE(prefixo);
    try {
      CriarEstruturaFb("127.0.0.1", 1, "/nao/existe.fdb", "SYSDBA", "x", prefixo);
      ADD_FAILURE() << "nao recusou";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "prefixo invalido: " + prefixo);
    }
  }
}

TEST_F(CapturaFb, InsercaoAlteracaoExclusaoGeramUmaLinhaDeJournalCada) {
  Preparar({"CREATE TABLE CLIENTE (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(40))",
            "CREATE TABLE PEDIDO (ID INTEGER NOT NULL PRIMARY KEY, VALOR NUMERIC(12,2))",
            "INSERT INTO CLIENTE (ID, NOME) VALUES (1, 'Ana')", "INSERT INTO CLIENTE (ID, NOME) VALUES (2, 'Bia')"});
  Criar("abc");

  auto s = db.Abrir();
  for (const auto& u : Coluna(*s, "select UUID from CLIENTE order by ID")) EXPECT_TRUE(std::regex_match(u, kUuid)) << u;
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "T1"), "CLIENTE");
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "T2"), "PEDIDO");
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "qtdtabelas"), "2");
  EXPECT_TRUE(log.Tem("objetos base criados (prefixo ABC)")) << log.Tudo();
  EXPECT_TRUE(log.Tem("tabelas: 2 | colunas UUID adicionadas: 2 | triggers: 2 pares")) << log.Tudo();
  EXPECT_TRUE(log.Tem("estrutura Tidewell (modelo UUID) criada.")) << log.Tudo();
  EXPECT_EQ(log.ComecandoCom("  (ignorado): DROP TABLE ABCM... [").size(), 1u) << log.Tudo();

  const int64_t txI = Escrever(*s, "insert into PEDIDO (ID, VALOR) values (10, 5.5)");
  const std::string uuid = Aparar(s->Escalar("select UUID from PEDIDO where ID = 10").ComoTexto());
  EXPECT_TRUE(std::regex_match(uuid, kUuid)) << uuid;
  const int64_t txU = Escrever(*s, "update PEDIDO set VALOR = 6 where ID = 10");
  const int64_t txD = Escrever(*s, "delete from PEDIDO where ID = 10");
  const int64_t txC = Escrever(*s, "update CLIENTE set NOME = 'Ana Maria' where ID = 1");
  const std::string uuidAna = Aparar(s->Escalar("select UUID from CLIENTE where ID = 1").ComoTexto());

  const std::vector<LinhaJournal> esperado = {
      {2, uuid, "I", txI}, {2, uuid, "U", txU}, {2, uuid, "D", txD}, {1, uuidAna, "U", txC}};
  EXPECT_EQ(teste::LerJournal(*s, "ABCJ"), esperado);

  // The UUID trigger keeps a well-formed UUID given by the writer and replaces a malformed one.
  const std::string dado = "11111111-2222-3333-4444-555555555555";
  s->Executar("insert into CLIENTE (ID, NOME, UUID) values (3, 'x', '" + dado + "')");
  s->Executar("insert into CLIENTE (ID, NOME, UUID) values (4, 'y', 'curto')");
  EXPECT_EQ(Aparar(s->Escalar("select UUID from CLIENTE where ID = 3").ComoTexto()), dado);
  EXPECT_TRUE(std::regex_match(Aparar(s->Escalar("select UUID from CLIENTE where ID = 4").ComoTexto()), kUuid));
}

// A row can be left without UUID under an active journal trigger: inserted by another connection
// between the UUID backfill and the trigger creation, or set to NULL by an application. The
// business's own writes to such a row must not fail on the journal's NOT NULL SID.
TEST_F(CapturaFb, LinhaSemUuidNaoImpedeAsEscritasDoUsuario) {
  Preparar({"CREATE TABLE ITEM (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20))"});
  Criar("abc");
  Preparar({"ALTER TRIGGER ABCU_0001 INACTIVE", "INSERT INTO ITEM (ID, NOME) VALUES (1, 'sem uuid')",
            "ALTER TRIGGER ABCU_0001 ACTIVE", "INSERT INTO ITEM (ID, NOME) VALUES (2, 'com uuid')"});
  auto s = db.Abrir();
  EXPECT_TRUE(s->Escalar("select UUID from ITEM where ID = 1").EhNulo());
  EXPECT_NO_THROW(s->Executar("update ITEM set NOME = 'alterado' where ID = 1"));
  EXPECT_NO_THROW(s->Executar("update ITEM set UUID = NULL where ID = 2"));
  EXPECT_NO_THROW(s->Executar("delete from ITEM where ID = 1"));
  EXPECT_NO_THROW(s->Executar("delete from ITEM where ID = 2"));
  // Only the insert of the row that had a UUID was journalled: rows without one cannot be named.
  auto j = teste::LerJournal(*s, "ABCJ");
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0].op, "I");
}

TEST_F(CapturaFb, SupressaoValeSoParaASessaoQueALigou) {
  Preparar({"CREATE TABLE ITEM (ID INTEGER NOT NULL PRIMARY KEY)"});
  Criar("abc");
  auto a = db.Abrir();
  auto b = db.Abrir();
  MarcarAplicando(*a, "abc", true);
  a->Executar("insert into ITEM (ID) values (1)");
  EXPECT_TRUE(teste::LerJournal(*b, "ABCJ").empty());
  EXPECT_TRUE(std::regex_match(Aparar(a->Escalar("select UUID from ITEM where ID = 1").ComoTexto()), kUuid));

  b->Executar("insert into ITEM (ID) values (2)");
  a->Executar("update ITEM set ID = 3 where ID = 1");
  auto j = teste::LerJournal(*b, "ABCJ");
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0].op, "I");

  MarcarAplicando(*a, "abc", false);
  a->Executar("delete from ITEM where ID = 3");
  j = teste::LerJournal(*b, "ABCJ");
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[1].op, "D");
}

TEST_F(CapturaFb, NumeracaoPulaPrefixoELegadasEODecimoRecebe0010) {
  Preparar({"CREATE TABLE C01 (ID INTEGER, UUID CHAR(36))", "INSERT INTO C01 VALUES (1, NULL)",
            "INSERT INTO C01 VALUES (2, '')", "INSERT INTO C01 VALUES (3, 'curto')",
            "INSERT INTO C01 VALUES (4, '11111111-2222-3333-4444-555555555555')"});
  for (int i = 2; i <= 9; ++i) Preparar({"CREATE TABLE C0" + std::to_string(i) + " (ID INTEGER)"});
  Preparar({"CREATE TABLE SINC (ID INTEGER)", "CREATE TABLE \"Sinc\" (ID INTEGER)", "CREATE TABLE Z10 (ID INTEGER)",
            "CREATE TABLE ABCX (ID INTEGER)", "CREATE TABLE \"abcX\" (ID INTEGER)"});

  std::vector<std::tuple<int, int, std::string>> chamadas;
  Criar("abc", [&](int n, int total, const std::string& t) { chamadas.emplace_back(n, total, t); });

  // Listed: 9 C tables, SINC, Sinc, Z10, abcX, ABCX and the agent's ABCB, ABCC, ABCJ.
  ASSERT_EQ(chamadas.size(), 11u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(chamadas[static_cast<size_t>(i)], std::make_tuple(i + 1, 17, "C0" + std::to_string(i + 1)));
  EXPECT_EQ(chamadas[9], std::make_tuple(10, 17, std::string("Z10")));
  EXPECT_EQ(chamadas[10], std::make_tuple(11, 17, std::string("abcX")));

  auto s = db.Abrir();
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "T10"), "Z10");
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "T11"), "abcX");
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "qtdtabelas"), "11");
  EXPECT_EQ(Coluna(*s, "select cast(v as varchar(60)) from ABCC where cast(v as varchar(60)) in ('SINC', 'Sinc', 'ABCX')"),
            std::vector<std::string>{});
  EXPECT_EQ(Coluna(*s, "select rdb$trigger_name from rdb$triggers where rdb$relation_name = 'Z10' order by 1"),
            (std::vector<std::string>{"ABCT_0010", "ABCU_0010"}));
  EXPECT_EQ(Coluna(*s, "select rdb$index_name from rdb$indices where rdb$relation_name = 'Z10'"),
            std::vector<std::string>{"ABCUQ_0010"});
  EXPECT_TRUE(log.Tem("tabelas: 11 | colunas UUID adicionadas: 10 | triggers: 11 pares")) << log.Tudo();

  // C01 already had its UUID column: the valid value stays, the others are replaced.
  const auto uuids = Coluna(*s, "select UUID from C01 order by ID");
  ASSERT_EQ(uuids.size(), 4u);
  for (const auto& u : uuids) EXPECT_TRUE(std::regex_match(u, kUuid)) << u;
  EXPECT_EQ(uuids[3], "11111111-2222-3333-4444-555555555555");

  s->Executar("insert into Z10 (ID) values (1)");
  s->Executar("insert into \"abcX\" (ID) values (1)");
  s->Executar("insert into SINC (ID) values (1)");
  const auto j = teste::LerJournal(*s, "ABCJ");
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0].tb, 10);
  EXPECT_EQ(j[1].tb, 11);
}

TEST_F(CapturaFb, SegundaCriacaoRenumeraERecriaJournalEMapaVazios) {
  Preparar({"CREATE TABLE A (ID INTEGER)", "CREATE TABLE B (ID INTEGER)"});
  Criar("abc");
  Preparar({"insert into A (ID) values (1)", "UPDATE OR INSERT INTO ABCC (K, V) VALUES ('cursor', '5') MATCHING (K)",
            "CREATE TABLE AA (ID INTEGER)",
            "CREATE TRIGGER ABCMEU FOR B ACTIVE BEFORE INSERT POSITION 5 AS BEGIN END"});
  Criar("abc");

  auto s = db.Abrir();
  EXPECT_TRUE(teste::LerJournal(*s, "ABCJ").empty());
  EXPECT_EQ(Coluna(*s, "select k || '=' || cast(v as varchar(60)) from ABCC order by k"),
            (std::vector<std::string>{"T1=A", "T2=AA", "T3=B", "qtdtabelas=3"}));
  EXPECT_EQ(Coluna(*s, "select rdb$trigger_name from rdb$triggers where rdb$relation_name = 'B' order by 1"),
            (std::vector<std::string>{"ABCT_0003", "ABCU_0003"}));
  // Index names 0001 (still on A) and 0002 (still on B) exist from the first run.
  const auto indices = log.ComecandoCom("  (ignorado): CREATE UNIQUE INDEX");
  ASSERT_EQ(indices.size(), 2u) << log.Tudo();
  EXPECT_EQ(indices[0].substr(0, 59), "  (ignorado): CREATE UNIQUE INDEX ABCUQ_0001 ON \"A\" (UUI...");
  EXPECT_EQ(indices[1].substr(0, 59), "  (ignorado): CREATE UNIQUE INDEX ABCUQ_0002 ON \"AA\" (UU...");
  EXPECT_TRUE(log.Tem("tabelas: 3 | colunas UUID adicionadas: 1 | triggers: 3 pares")) << log.Tudo();

  s->Executar("insert into B (ID) values (1)");
  s->Executar("insert into AA (ID) values (1)");
  const auto j = teste::LerJournal(*s, "ABCJ");
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0].tb, 3);
  EXPECT_EQ(j[1].tb, 2);
}

TEST_F(CapturaFb, BancoSemTabelasGanhaObjetosBaseEQtdZero) {
  int chamadas = 0;
  Criar("xyz", [&](int, int, const std::string&) { ++chamadas; });
  EXPECT_EQ(chamadas, 0);
  auto s = db.Abrir();
  EXPECT_EQ(Coluna(*s, "select rdb$relation_name from rdb$relations where rdb$relation_name starting with 'XYZ' order by 1"),
            (std::vector<std::string>{"XYZB", "XYZC", "XYZJ"}));
  EXPECT_EQ(Coluna(*s, "select rdb$generator_name from rdb$generators where rdb$generator_name starting with 'XYZ'"),
            std::vector<std::string>{"XYZG"});
  EXPECT_EQ(Coluna(*s, "select rdb$index_name from rdb$indices where rdb$index_name = 'XYZJ_TBSID'"),
            std::vector<std::string>{"XYZJ_TBSID"});
  EXPECT_EQ(teste::LerMapa(*s, "XYZC", "qtdtabelas"), "0");
  EXPECT_TRUE(log.Tem("tabelas: 0 | colunas UUID adicionadas: 0 | triggers: 0 pares")) << log.Tudo();
  // Nothing of the prefix existed: the five drops of the removal step are logged as ignored.
  EXPECT_EQ(log.ComecandoCom("  (ignorado): DROP ").size(), 5u) << log.Tudo();
}

TEST_F(CapturaFb, NomeComAspasDuplasTambemECapturado) {
  Preparar({"CREATE TABLE \"Q\"\"T\" (ID INTEGER)"});
  Criar("abc");
  auto s = db.Abrir();
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "T1"), "Q\"T");
  s->Executar("insert into \"Q\"\"T\" (ID) values (1)");
  const auto j = teste::LerJournal(*s, "ABCJ");
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0].tb, 1);
  EXPECT_TRUE(std::regex_match(j[0].sid, kUuid));
  EXPECT_TRUE(log.ComecandoCom("  (ignorado): ALTER").empty()) << log.Tudo();
}

}  // namespace
}  // namespace tw
