#include "u_reestrutura.h"

#include <gtest/gtest.h>

#include "apoio.h"
#include "captura_teste.h"
#include "u_erros.h"

namespace tw {
namespace {

class Reestrutura : public ::testing::Test {
 protected:
  void Remover() {
    const auto& sv = db.servidor();
    RemoverEstruturaLegada(sv.host, sv.porta, db.banco(), sv.usuario, sv.senha);
  }
  std::vector<std::string> Coluna(const std::string& sql) {
    auto s = db.Abrir();
    std::vector<std::string> r;
    for (auto& l : s->Consultar(sql).linhas) r.push_back(Aparar(l.at(0).ComoTexto()));
    return r;
  }
  static size_t Contar(const std::vector<std::string>& linhas, std::string_view inicio) {
    size_t n = 0;
    for (auto& l : linhas) n += l.compare(0, inicio.size(), inicio) == 0;
    return n;
  }

  teste::BancoTeste db{teste::ServidorFb(), "rst"};
  teste::LogDoTeste log;
};

TEST_F(Reestrutura, RemoveAEstruturaAntigaEPreservaUuidsDosUsuarios) {
  {
    // The older structure: six tables, five generators, capture triggers TR...AIUD, and a user
    // table whose foreign key keeps PROCESSOS from being dropped.
    auto s = db.Abrir();
    for (const char* sql : {
             "CREATE TABLE SINC (ID INTEGER NOT NULL PRIMARY KEY, TABELA VARCHAR(31))",
             "CREATE TABLE SINC_BLOB (ID INTEGER)", "CREATE TABLE SINC_QUARENTENA (ID INTEGER)",
             "CREATE TABLE SINCRONIZAR (ID INTEGER)", "CREATE TABLE REGRAS_FILTRO_SINC (ID INTEGER)",
             "CREATE TABLE PROCESSOS (ID INTEGER NOT NULL PRIMARY KEY)", "CREATE GENERATOR GEN_SINC_ID",
             "CREATE GENERATOR GEN_SINC_BLOB_ID", "CREATE GENERATOR GEN_SINC_QUARENTENA_ID",
             "CREATE GENERATOR GEN_REGRAS_FILTRO_SINC_ID", "CREATE GENERATOR GEN_PROCESSOS_ID",
             "CREATE TABLE CLIENTE (ID INTEGER, UUID CHAR(36), PROC INTEGER REFERENCES PROCESSOS (ID))",
             "CREATE TRIGGER TRCLIENTEAIUD FOR CLIENTE ACTIVE AFTER INSERT OR UPDATE OR DELETE POSITION 0 AS BEGIN "
             "INSERT INTO SINC (ID, TABELA) VALUES (GEN_ID(GEN_SINC_ID, 1), 'CLIENTE'); END",
             "CREATE TRIGGER TR_MEU_AIUD FOR CLIENTE ACTIVE BEFORE INSERT POSITION 1 AS BEGIN END",
             "CREATE TRIGGER TRG_OUTRO FOR CLIENTE ACTIVE BEFORE INSERT POSITION 2 AS BEGIN END",
             "INSERT INTO PROCESSOS (ID) VALUES (1)",
             "INSERT INTO CLIENTE (ID, UUID, PROC) VALUES (1, '11111111-2222-3333-4444-555555555555', 1)"})
      s->Executar(sql);
  }
  Remover();

  auto m = log.Mensagens();
  EXPECT_TRUE(log.Tem("triggers TR*AIUD removidas: 2 de 2")) << log.Tudo();
  for (const char* t : {"SINC", "SINC_BLOB", "SINC_QUARENTENA", "SINCRONIZAR", "REGRAS_FILTRO_SINC"})
    EXPECT_TRUE(log.Tem(std::string("  tabela removida: ") + t)) << t;
  EXPECT_EQ(Contar(m, "[ERRO]   falhou DROP TABLE PROCESSOS: "), 1u) << log.Tudo();
  EXPECT_EQ(Contar(m, "[ERRO]   falhou"), 1u) << log.Tudo();
  EXPECT_TRUE(log.Tem("tabelas de sync removidas: 5 de 6"));
  EXPECT_TRUE(log.Tem("generators removidos: 5 de 5"));
  ASSERT_GE(m.size(), 2u);
  EXPECT_EQ(m[m.size() - 2], "colunas UUID PRESERVADAS (nao invasivo; desenho novo usa mapa proprio)");
  EXPECT_EQ(m.back(), "reestruturacao concluida.");

  EXPECT_EQ(Coluna("select rdb$relation_name from rdb$relations where coalesce(rdb$system_flag,0)=0 order by 1"),
            (std::vector<std::string>{"CLIENTE", "PROCESSOS"}));
  EXPECT_EQ(Coluna("select rdb$trigger_name from rdb$triggers where coalesce(rdb$system_flag,0)=0"),
            std::vector<std::string>{"TRG_OUTRO"});
  EXPECT_TRUE(Coluna("select rdb$generator_name from rdb$generators where coalesce(rdb$system_flag,0)=0").empty());
  EXPECT_EQ(Coluna("select UUID from CLIENTE"), std::vector<std::string>{"11111111-2222-3333-4444-555555555555"});

  // A second run finds nothing left to drop but PROCESSOS, which still fails.
  const size_t antes = m.size();
  Remover();
  m = log.Mensagens();
  m.erase(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(antes));
  EXPECT_EQ(Contar(m, "triggers TR*AIUD removidas: 0 de 0"), 1u) << log.Tudo();
  EXPECT_EQ(Contar(m, "[ERRO]   falhou DROP TABLE "), 6u);
  EXPECT_EQ(Contar(m, "tabelas de sync removidas: 0 de 6"), 1u);
  EXPECT_EQ(Contar(m, "[ERRO]   falhou DROP GENERATOR "), 5u);
  EXPECT_EQ(Contar(m, "generators removidos: 0 de 5"), 1u);
  EXPECT_EQ(m.back(), "reestruturacao concluida.");
}

TEST(RemoverEstruturaLegada, FalhaDeConexaoSobeAoChamador) {
  const auto& sv = teste::ServidorFb();
  EXPECT_THROW(RemoverEstruturaLegada(sv.host, sv.porta, sv.pasta + "/nao_existe.fdb", sv.usuario, sv.senha),
               EErroBanco);
}

}  // namespace
}  // namespace tw
