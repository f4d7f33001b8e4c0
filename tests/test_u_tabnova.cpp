#include "u_tabnova.h"

#include <gtest/gtest.h>

#include <regex>

#include "apoio.h"
#include "captura_teste.h"
#include "u_captura_fb3.h"
#include "u_erros.h"

namespace tw {
namespace {

const std::regex kUuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");

class TabNova : public ::testing::Test {
 protected:
  void CriarEstrutura() {
    const auto& sv = db.servidor();
    CriarEstruturaFb(sv.host, sv.porta, db.banco(), sv.usuario, sv.senha, "abc");
  }
  void Preparar(std::initializer_list<std::string> sqls) {
    auto s = db.Abrir();
    for (const auto& sql : sqls) s->Executar(sql);
  }
  static std::vector<std::string> Coluna(Sessao& s, const std::string& sql) {
    std::vector<std::string> r;
    for (auto& l : s.Consultar(sql).linhas) r.push_back(Aparar(l.at(0).ComoTexto()));
    return r;
  }

  teste::BancoTeste db{teste::ServidorFb(), "tnv"};
  teste::LogDoTeste log;
};

TEST(EhTabelaLegada, SeisNomesSemConsiderarCaixa) {
  const std::pair<const char*, bool> casos[] = {{"SINC", true},      {"sinc", true},        {"Sinc_Blob", true},
                                                {"PROCESSOS", true}, {"regras_filtro_sinc", true},
                                                {"SINC2", false},    {"SIN", false},        {"", false}};
  for (auto [nome, esperado] : casos) {
    SCOPED_TRACE(nome);
    EXPECT_EQ(EhTabelaLegada(nome), esperado);
  }
}

TEST_F(TabNova, ProvisionaDepoisDoMaiorNumeroMapeado) {
  Preparar({"CREATE TABLE A (ID INTEGER)", "CREATE TABLE B (ID INTEGER)", "CREATE TABLE C (ID INTEGER)",
            "CREATE TABLE D (ID INTEGER, UUID CHAR(36))", "INSERT INTO D VALUES (1, NULL)",
            "INSERT INTO D VALUES (2, 'curto')", "CREATE TABLE \"abcNova\" (ID INTEGER)",
            "CREATE TABLE ABCZ (ID INTEGER)", "CREATE TABLE SINC (ID INTEGER)", "CREATE TABLE \"sinc_blob\" (ID INTEGER)"});
  auto s = db.Abrir();
  CriarObjetosBaseFb(*s, "ABC");
  GravarMapaFb(*s, "ABC", "T1", "A");
  GravarMapaFb(*s, "ABC", "T2", "B");
  GravarMapaFb(*s, "ABC", "T7", "C");
  GravarMapaFb(*s, "ABC", "Tlivre", "texto qualquer");
  EXPECT_EQ(ProximoIdTabelaFb(*s, "ABC"), 8);
  EXPECT_TRUE(HaTabelasNovasFb(*s, "abc"));

  std::vector<std::string> lista{"antes"};
  EXPECT_EQ(ProvisionarTabelasNovasFb(*s, "abc", &lista), 2);
  EXPECT_EQ(lista, (std::vector<std::string>{"antes", "D", "abcNova"}));
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "T8"), "D");
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "T9"), "abcNova");
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "cargadone:D"), "");
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "cargapos:abcNova"), "");
  EXPECT_EQ(teste::LerMapa(*s, "ABCC", "qtdtabelas"), "9");
  EXPECT_TRUE(log.Tem("tabela nova provisionada: \"D\" (id 8) \u2014 UUID + triggers + mapa; carga inicial dela pendente."))
      << log.Tudo();
  for (const auto& u : Coluna(*s, "select UUID from D order by ID")) EXPECT_TRUE(std::regex_match(u, kUuid)) << u;

  s->Executar("insert into D (ID) values (3)");
  s->Executar("insert into \"abcNova\" (ID) values (1)");
  s->Executar("insert into ABCZ (ID) values (1)");
  const auto j = teste::LerJournal(*s, "ABCJ");
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0].tb, 8);
  EXPECT_EQ(j[0].op, "I");
  EXPECT_EQ(j[0].sid, Aparar(s->Escalar("select UUID from D where ID = 3").ComoTexto()));
  EXPECT_EQ(j[1].tb, 9);

  // Nothing new: no key, no line.
  const auto linhas = log.Mensagens().size();
  const auto chaves = s->Escalar("select count(*) from ABCC").ComoInteiro();
  EXPECT_FALSE(HaTabelasNovasFb(*s, "abc"));
  EXPECT_EQ(ProvisionarTabelasNovasFb(*s, "abc"), 0);
  EXPECT_EQ(log.Mensagens().size(), linhas);
  EXPECT_EQ(s->Escalar("select count(*) from ABCC").ComoInteiro(), chaves);
}

TEST_F(TabNova, ReparaQuemPerdeuUmGatilhoEDeixaOsOutros) {
  // CALC's UUID is computed: its UUID trigger cannot be created, so it stays damaged.
  Preparar({"CREATE TABLE A (ID INTEGER)", "CREATE TABLE B (ID INTEGER)", "CREATE TABLE C (ID INTEGER)",
            "CREATE TABLE CALC (ID INTEGER, UUID COMPUTED BY ('x'))"});
  CriarEstrutura();
  Preparar({"DROP TRIGGER ABCT_0001", "DROP TRIGGER ABCU_0002", "DROP TRIGGER ABCT_0002",
            "CREATE TRIGGER ABCMEU1 FOR B ACTIVE BEFORE INSERT POSITION 5 AS BEGIN END",
            "CREATE TRIGGER ABCMEU2 FOR B ACTIVE BEFORE INSERT POSITION 6 AS BEGIN END",
            "UPDATE OR INSERT INTO ABCC (K, V) VALUES ('T9', 'SUMIU') MATCHING (K)"});
  auto s = db.Abrir();
  EXPECT_EQ(ContarGatilhosFb(*s, "ABC", "A"), 1);
  EXPECT_EQ(ContarGatilhosFb(*s, "ABC", "CALC"), 1);

  std::vector<std::string> lista;
  EXPECT_EQ(RepararGatilhosFb(*s, "abc", &lista), 1);
  EXPECT_EQ(lista, std::vector<std::string>{"A"});
  EXPECT_TRUE(log.Tem("[ERRO] infra REPARADA: \"A\" (id 1) \u2014 gatilhos de captura estavam faltando e foram recriados."))
      << log.Tudo();
  const auto falhas = log.ComecandoCom("[ERRO] infra NAO reparada em \"CALC\" (id 4): os gatilhos continuam faltando. Motivo: ");
  ASSERT_EQ(falhas.size(), 1u) << log.Tudo();
  EXPECT_NE(falhas[0].find("read-only column"), std::string::npos) << falhas[0];
  const std::string fim = ". Tenta de novo no proximo ciclo.";
  EXPECT_EQ(falhas[0].substr(falhas[0].size() - fim.size()), fim);
  EXPECT_TRUE(log.ComecandoCom("[ERRO] infra REPARADA: \"B\"").empty());
  EXPECT_EQ(log.Tudo().find("SUMIU"), std::string::npos);

  EXPECT_EQ(ContarGatilhosFb(*s, "ABC", "A"), 2);
  s->Executar("insert into A (ID) values (1)");
  s->Executar("insert into B (ID) values (1)");
  const auto j = teste::LerJournal(*s, "ABCJ");
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0].tb, 1);
}

TEST_F(TabNova, SemEstruturaReparoCriaBaseEProvisionamentoFalha) {
  auto s = db.Abrir();
  EXPECT_THROW(ProvisionarTabelasNovasFb(*s, "abc"), EErroBanco);
  EXPECT_EQ(RepararGatilhosFb(*s, "abc"), 0);
  EXPECT_EQ(Coluna(*s, "select rdb$relation_name from rdb$relations where rdb$relation_name starting with 'ABC' order by 1"),
            (std::vector<std::string>{"ABCB", "ABCC", "ABCJ"}));
  EXPECT_TRUE(log.Mensagens().empty()) << log.Tudo();
  EXPECT_EQ(ProximoIdTabelaFb(*s, "ABC"), 1);
}

}  // namespace
}  // namespace tw
