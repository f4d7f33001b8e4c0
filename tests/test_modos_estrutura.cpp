// The console modes criar-estrutura and limpar-antigo, run as the built program.
#include <gtest/gtest.h>

#include <filesystem>

#include "apoio.h"
#include "captura_teste.h"
#include "u_config.h"

namespace tw {
namespace {
namespace fs = std::filesystem;

class ModosEstrutura : public ::testing::Test {
 protected:
  // The program reads tidewell.ini beside itself: run a copy in a folder of its own.
  void SetUp() override { fs::copy_file(teste::ProgramaConsole(), pasta.Arquivo("TidewellAgente")); }
  teste::SaidaProcesso Rodar(const std::vector<std::string>& args) {
    return teste::RodarProcesso(pasta.Arquivo("TidewellAgente"), args, pasta.Caminho());
  }
  void EscreverConfig(const std::string& prefixo) {
    TConfigAgente c = db.Config();
    c.Prefixo = prefixo;
    c.Sgbd = "postgres";  // criar-estrutura always connects to Firebird
    SalvarConfig(pasta.Arquivo("tidewell.ini"), c);
  }

  teste::PastaTemp pasta;
  teste::BancoTeste db{teste::ServidorFb(), "mes"};
};

TEST_F(ModosEstrutura, CriarEstruturaComOArquivoDeConfiguracao) {
  db.Abrir()->Executar("CREATE TABLE CLIENTE (ID INTEGER)");
  EscreverConfig("xyz");
  const auto r = Rodar({"criar-estrutura"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_NE(r.saida.find("tabelas: 1 | colunas UUID adicionadas: 1 | triggers: 1 pares"), std::string::npos) << r.saida;
  EXPECT_NE(r.saida.find("estrutura Tidewell (modelo UUID) criada."), std::string::npos) << r.saida;
  EXPECT_TRUE(fs::exists(pasta.Arquivo("logs")));

  auto s = db.Abrir();
  EXPECT_EQ(teste::LerMapa(*s, "XYZC", "T1"), "CLIENTE");
  s->Executar("INSERT INTO CLIENTE (ID) VALUES (1)");
  const auto j = teste::LerJournal(*s, "XYZJ");
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0].tb, 1);
  EXPECT_EQ(j[0].op, "I");
}

TEST_F(ModosEstrutura, CriarEstruturaSemArquivoOuSemPrefixoValido) {
  const std::pair<const char*, const char*> casos[] = {
      {nullptr, "[ERRO] criar-estrutura: sem config (tidewell.ini nao encontrado)"},
      {"", "[ERRO] criar-estrutura: Prefixo vazio em tidewell.ini"},
      {"ab", "ERRO: invalid_argument: prefixo invalido: ab"},
  };
  for (auto [prefixo, linha] : casos) {
    SCOPED_TRACE(linha);
    if (prefixo) EscreverConfig(prefixo);
    const auto r = Rodar({"criar-estrutura"});
    EXPECT_EQ(r.codigo, 0);
    EXPECT_NE(r.saida.find(linha), std::string::npos) << r.saida;
    EXPECT_EQ(r.saida.find("objetos base criados"), std::string::npos) << r.saida;
  }
}

TEST_F(ModosEstrutura, LimparAntigoComOsArgumentosDaLinhaDeComando) {
  {
    auto s = db.Abrir();
    s->Executar("CREATE TABLE SINC (ID INTEGER)");
    s->Executar("CREATE GENERATOR GEN_SINC_ID");
    s->Executar("CREATE TABLE CLIENTE (ID INTEGER)");
    s->Executar("CREATE TRIGGER TRCLIENTEAIUD FOR CLIENTE ACTIVE AFTER INSERT POSITION 0 AS BEGIN END");
  }
  const auto& sv = db.servidor();
  auto r = Rodar({"limpar-antigo", sv.host, std::to_string(sv.porta), db.banco(), sv.usuario, sv.senha});
  EXPECT_EQ(r.codigo, 0);
  for (const char* linha : {"triggers TR*AIUD removidas: 1 de 1", "  tabela removida: SINC",
                            "tabelas de sync removidas: 1 de 6", "generators removidos: 1 de 5",
                            "reestruturacao concluida."})
    EXPECT_NE(r.saida.find(linha), std::string::npos) << linha << "\n" << r.saida;

  r = Rodar({"limpar-antigo", sv.host, std::to_string(sv.porta), sv.pasta + "/nao_existe.fdb", sv.usuario, sv.senha});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_NE(r.saida.find("ERRO: EErroBanco: "), std::string::npos) << r.saida;
}

}  // namespace
}  // namespace tw
