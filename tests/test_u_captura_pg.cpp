#include "u_captura_pg.h"

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

const std::regex kUuid("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");

class CapturaPg : public ::testing::Test {
 protected:
  void Preparar(std::initializer_list<std::string> sqls) {
    for (const auto& sql : sqls) s->Executar(sql);
  }
  // Runs one write in its own transaction; returns the transaction id.
  int64_t Escrever(const std::string& sql) {
    Transacao t(*s);
    s->Executar(sql);
    const int64_t tx = s->Escalar("select txid_current()").ComoInteiro();
    t.Confirmar();
    return tx;
  }
  std::vector<std::string> Coluna(const std::string& sql) {
    std::vector<std::string> r;
    for (auto& l : s->Consultar(sql).linhas) r.push_back(l.at(0).ComoTexto());
    return r;
  }
  std::vector<std::string> Gatilhos(const std::string& tabela) {
    return Coluna("select tgname from pg_trigger where tgrelid = '" + tabela +
                  "'::regclass and not tgisinternal order by 1");
  }
  std::string Uuid(const std::string& tabela, int id) {
    return s->Escalar("select uuid::text from " + tabela + " where id = " + std::to_string(id)).ComoTexto();
  }

  teste::BancoTeste db{teste::ServidorPg(), "cpg"};
  teste::LogDoTeste log;
  SessaoPtr s = db.Abrir();
};

TEST_F(CapturaPg, PrefixoInvalidoOuVazioRecusadoSemTocarNoBanco) {
  Preparar({"create table t (id int)"});
  for (const std::string prefixo : {"ab", "abcd", "", "a'b", "1ab"}) {
    SCOPED_TRACE(prefixo);
    try {
      CriarEstruturaPg(*s, prefixo);
      ADD_FAILURE() << "nao recusou";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "prefixo invalido: " + prefixo);
    }
  }
  std::vector<std::string> lista;
  try {
    ListarTabelas(*s, "", lista, TabelasMapeadas::Incluir);
    ADD_FAILURE() << "nao recusou";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), "ListarTabelas: prefixo vazio (a infra do Tidewell nao pode ser criada sem prefixo)");
  }
  EXPECT_EQ(Coluna("select table_name from information_schema.tables where table_schema = 'public'"),
            std::vector<std::string>{"t"});
  EXPECT_EQ(Coluna("select column_name from information_schema.columns where table_name = 't'"),
            std::vector<std::string>{"id"});
}

TEST_F(CapturaPg, InsercaoAlteracaoExclusaoGeramUmaLinhaDeJournalCada) {
  Preparar({"create table cliente (id int primary key, nome text)", "insert into cliente values (1, 'Ana'), (2, 'Bia')",
            "create table pedido (id int primary key, valor numeric(12,2))"});
  std::vector<std::tuple<int, int, std::string>> chamadas;
  CriarEstruturaPg(*s, "ABC", [&](int n, int total, const std::string& t) { chamadas.emplace_back(n, total, t); });

  EXPECT_EQ(chamadas, (std::vector<std::tuple<int, int, std::string>>{{1, 2, "cliente"}, {2, 2, "pedido"}}));
  EXPECT_TRUE(std::regex_match(Uuid("cliente", 1), kUuid));
  EXPECT_TRUE(std::regex_match(Uuid("cliente", 2), kUuid));
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "T1"), "cliente");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "T2"), "pedido");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "qtdtabelas"), "2");
  EXPECT_EQ(log.Mensagens(), (std::vector<std::string>{"objetos base criados (prefixo abc)",
                                                       "estrutura Tidewell (Postgres) criada: 2 tabelas."}));

  const int64_t txI = Escrever("insert into pedido (id, valor) values (10, 5.5)");
  const std::string uuid = Uuid("pedido", 10);
  EXPECT_TRUE(std::regex_match(uuid, kUuid)) << uuid;
  const int64_t txU = Escrever("update pedido set valor = 6 where id = 10");
  const int64_t txD = Escrever("delete from pedido where id = 10");
  const int64_t txC = Escrever("update cliente set nome = 'Ana Maria' where id = 1");
  const std::vector<LinhaJournal> esperado = {
      {2, uuid, "I", txI}, {2, uuid, "U", txU}, {2, uuid, "D", txD}, {1, Uuid("cliente", 1), "U", txC}};
  EXPECT_EQ(teste::LerJournal(*s, "abcj"), esperado);
}

TEST_F(CapturaPg, SupressaoValeSoParaASessaoQueALigou) {
  Preparar({"create table item (id int)"});
  CriarEstruturaPg(*s, "abc");
  auto b = db.Abrir();
  MarcarAplicando(*s, "abc", true);
  s->Executar("insert into item (id) values (1)");
  EXPECT_TRUE(teste::LerJournal(*b, "abcj").empty());
  EXPECT_TRUE(std::regex_match(Uuid("item", 1), kUuid));

  b->Executar("insert into item (id) values (2)");
  s->Executar("update item set id = 3 where id = 1");
  auto j = teste::LerJournal(*b, "abcj");
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0].op, "I");

  MarcarAplicando(*s, "abc", false);
  s->Executar("delete from item where id = 3");
  j = teste::LerJournal(*b, "abcj");
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[1].op, "D");
}

TEST_F(CapturaPg, NumeracaoRegraDoPrefixoEObjetosExistentes) {
  // t01 already has a uuid column (one value null) and a unique index under the name it will get.
  Preparar({"create table t01 (id int, uuid uuid)",
            "insert into t01 values (1, null), (2, '11111111-2222-3333-4444-555555555555')",
            "create unique index abcuq_0002 on t01 (uuid)", "create table abcx (id int)",
            "create table \"ABCX\" (id int)"});
  for (int i = 2; i <= 10; ++i) Preparar({"create table t" + std::string(i < 10 ? "0" : "") + std::to_string(i) + " (id int)"});
  CriarEstruturaPg(*s, "abc");

  // "ABCX" sorts first; the lower-case abcx is the agent's by its name and is left out.
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "T1"), "ABCX");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "T2"), "t01");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "T10"), "t09");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "qtdtabelas"), "11");
  EXPECT_TRUE(Coluna("select k from abcc where v = 'abcx'").empty());
  EXPECT_EQ(Gatilhos("t09"), std::vector<std::string>{"abct_0010"});
  EXPECT_EQ(Coluna("select indexname from pg_indexes where tablename = 't09' order by 1"),
            std::vector<std::string>{"abcuq_0010"});
  EXPECT_EQ(Coluna("select indexname from pg_indexes where tablename = 't01' order by 1"),
            std::vector<std::string>{"abcuq_0002"});
  EXPECT_EQ(Coluna("select uuid::text from t01 where id = 2"),
            std::vector<std::string>{"11111111-2222-3333-4444-555555555555"});
  EXPECT_TRUE(std::regex_match(Uuid("t01", 1), kUuid));
  EXPECT_TRUE(log.ComecandoCom("[ERRO]").empty()) << log.Tudo();

  Preparar({"insert into t09 (id) values (1)", "insert into \"ABCX\" (id) values (1)", "insert into abcx (id) values (1)"});
  const auto j = teste::LerJournal(*s, "abcj");
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0].tb, 10);
  EXPECT_EQ(j[1].tb, 1);
}

TEST_F(CapturaPg, CriacaoRepetidaDeixaUmSoGatilhoPorTabela) {
  Preparar({"create table b (id int)", "create table c (id int)"});
  CriarEstruturaPg(*s, "abc");
  Preparar({"insert into b (id) values (1)", "create table a (id int)"});
  CriarEstruturaPg(*s, "abc");

  EXPECT_EQ(Gatilhos("a"), std::vector<std::string>{"abct_0001"});
  EXPECT_EQ(Gatilhos("b"), std::vector<std::string>{"abct_0002"});
  EXPECT_EQ(Gatilhos("c"), std::vector<std::string>{"abct_0003"});
  EXPECT_EQ(Coluna("select k || '=' || v from abcc order by k"),
            (std::vector<std::string>{"T1=a", "T2=b", "T3=c", "qtdtabelas=3"}));

  Preparar({"insert into b (id) values (2)", "insert into c (id) values (1)"});
  const auto j = teste::LerJournal(*s, "abcj");
  ASSERT_EQ(j.size(), 3u);  // the journal of the first run is kept
  EXPECT_EQ(j[0].tb, 1);
  EXPECT_EQ(j[1].tb, 2);
  EXPECT_EQ(j[1].sid, Uuid("b", 2));
  EXPECT_EQ(j[2].tb, 3);
}

TEST_F(CapturaPg, ProvisionaDepoisDoMaiorNumeroMapeado) {
  Preparar({"create table x1 (id int)"});
  CriarEstruturaPg(*s, "abc");
  Preparar({"create table x5 (id int)", "insert into abcc values ('T5', 'x5'), ('Tlivre', 'texto')",
            "create table novo (id int, uuid uuid)", "insert into novo values (1, null)",
            "create table \"ABCnovo\" (id int)", "create table abcnovo (id int)"});
  EXPECT_EQ(ProximoIdTabelaPg(*s, "abc"), 6);
  EXPECT_TRUE(HaTabelasNovasPg(*s, "ABC"));

  std::vector<std::string> lista;
  EXPECT_EQ(ProvisionarTabelasNovasPg(*s, "ABC", &lista), 2);
  EXPECT_EQ(lista, (std::vector<std::string>{"ABCnovo", "novo"}));
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "T6"), "ABCnovo");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "T7"), "novo");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "T5"), "x5");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "cargadone:novo"), "");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "cargapos:ABCnovo"), "");
  EXPECT_EQ(teste::LerMapa(*s, "abcc", "qtdtabelas"), "7");
  EXPECT_TRUE(log.Tem("tabela nova provisionada (pg): \"novo\" (id 7)")) << log.Tudo();
  EXPECT_TRUE(std::regex_match(Uuid("novo", 1), kUuid));

  // novo's own uuid column had no default: it gets one, so its new rows are captured too.
  Preparar({"insert into novo (id) values (2)"});
  const auto j = teste::LerJournal(*s, "abcj");
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0], (LinhaJournal{7, Uuid("novo", 2), "I", j[0].tx}));

  const auto linhas = log.Mensagens().size();
  EXPECT_FALSE(HaTabelasNovasPg(*s, "abc"));
  EXPECT_EQ(ProvisionarTabelasNovasPg(*s, "abc"), 0);
  EXPECT_EQ(log.Mensagens().size(), linhas);
}

TEST_F(CapturaPg, TabelaRenomeadaGanhaNumeroNovoSemOGatilhoAntigo) {
  Preparar({"create table a (id int)"});
  CriarEstruturaPg(*s, "abc");
  Preparar({"alter table a rename to z"});
  EXPECT_EQ(ProvisionarTabelasNovasPg(*s, "abc"), 1);
  EXPECT_EQ(Gatilhos("z"), std::vector<std::string>{"abct_0002"});
  Preparar({"insert into z (id) values (1)"});
  const auto j = teste::LerJournal(*s, "abcj");
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0].tb, 2);
}

TEST_F(CapturaPg, ExecutarDdlPgCalaSoOQueJaExiste) {
  const std::string longa = "select * from nao_existe_" + std::string(200, 'x');
  ExecutarDdlPg(*s, "create table dup (id int)");
  ExecutarDdlPg(*s, "create table dup (id int)");
  EXPECT_TRUE(log.Mensagens().empty()) << log.Tudo();

  ExecutarDdlPg(*s, "create table (");
  ExecutarDdlPg(*s, longa);
  const std::string tudo = log.Tudo();
  EXPECT_EQ(log.ComecandoCom("[ERRO] estrutura pg: ").size(), 2u) << tudo;
  EXPECT_NE(tudo.find(" | SQL: create table (\n"), std::string::npos) << tudo;
  EXPECT_NE(tudo.find(" | SQL: " + longa.substr(0, 160) + "\n"), std::string::npos) << tudo;
}

}  // namespace
}  // namespace tw
