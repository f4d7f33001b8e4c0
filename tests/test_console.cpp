// The console program run as a process: start-up, dispatch, config-local, the failure guard.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "apoio.h"
#include "u_config.h"
#include "u_ini.h"

namespace tw {
namespace {
using teste::LerArquivo;
namespace fs = std::filesystem;
using teste::RodarProcesso;

// A copy of the program in its own folder (it keeps tidewell.ini beside itself) and another
// folder to run it from (its logs go there).
class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(teste::ProgramaConsole(), Programa());
    fs::create_directory(Trabalho());
  }
  std::string Programa() const { return pastaPrograma.Arquivo("TidewellAgente"); }
  std::string Ini() const { return pastaPrograma.Arquivo("tidewell.ini"); }
  std::string Trabalho() const { return pastaTrabalho.Arquivo("cwd"); }
  teste::SaidaProcesso Rodar(const std::vector<std::string>& args) const {
    return RodarProcesso(Programa(), args, Trabalho());
  }
  teste::PastaTemp pastaPrograma, pastaTrabalho;
};

TEST_F(Console, InicioEDespachoPorNomeExato) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"RODAR"}, {"Rodar"}, {"xyz"}}) {
    SCOPED_TRACE(args.empty() ? "(sem argumento)" : args[0]);
    auto r = Rodar(args);
    EXPECT_EQ(r.codigo, 0);
    EXPECT_NE(r.saida.find("  Tidewell Agente 0.2.25 iniciando\n"), std::string::npos) << r.saida;
    EXPECT_NE(r.saida.find("padrao"), std::string::npos) << r.saida;
  }
  // The log goes under the working folder, not beside the program.
  ASSERT_TRUE(fs::is_directory(Trabalho() + "/logs"));
  EXPECT_FALSE(fs::exists(pastaPrograma.Arquivo("logs")));
  int arquivos = 0;
  for (auto& e : fs::directory_iterator(Trabalho() + "/logs")) {
    ++arquivos;
    EXPECT_NE(LerArquivo(e.path()).find("Tidewell Agente 0.2.25 iniciando\r\n"), std::string::npos);
  }
  EXPECT_EQ(arquivos, 1);
}

TEST_F(Console, ConfigLocalComSeteArgumentosGravaSenhaProtegida) {
  auto r = Rodar({"config-local", "https://api", "db.local", "3051", "/dados/x.fdb", "SYSDBA", "Senha Ção"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_EQ(r.saida.find("ERRO"), std::string::npos) << r.saida;
  EXPECT_FALSE(fs::exists(Trabalho() + "/tidewell.ini"));
  std::string texto = LerArquivo(Ini());
  EXPECT_EQ(texto.find("Senha Ção"), std::string::npos);
  TConfigAgente c;
  ASSERT_TRUE(CarregarConfig(Ini(), c));
  EXPECT_EQ(c.Endpoint, "https://api");
  EXPECT_EQ(c.LocalHost, "db.local");
  EXPECT_EQ(c.LocalPorta, 3051);
  EXPECT_EQ(c.LocalCaminho, "/dados/x.fdb");
  EXPECT_EQ(c.LocalUsuario, "SYSDBA");
  EXPECT_EQ(c.LocalSenha, "Senha Ção");
  EXPECT_EQ(c.Sgbd, "");
}

TEST_F(Console, ConfigLocalComDoisArgumentosMantemSenhaETokenEEsvaziaUuidEPrefixo) {
  TConfigAgente antes;
  antes.LocalSenha = "velha";
  antes.Token = "tok";
  antes.AgenteUUID = "uuid-1";
  antes.Prefixo = "TW";
  SalvarConfig(Ini(), antes);
  auto r = Rodar({"config-local", "http://novo"});
  EXPECT_EQ(r.codigo, 0);
  TConfigAgente c;
  ASSERT_TRUE(CarregarConfig(Ini(), c));
  EXPECT_EQ(c.Endpoint, "http://novo");
  EXPECT_EQ(LerValorIni(Ini(), "local", "host"), "");
  EXPECT_EQ(c.LocalPorta, 3050);
  EXPECT_EQ(c.LocalCaminho, "");
  EXPECT_EQ(LerValorIni(Ini(), "local", "usuario"), "");
  EXPECT_EQ(c.LocalSenha, "velha");
  EXPECT_EQ(c.Token, "tok");
  EXPECT_EQ(c.AgenteUUID, "");
  EXPECT_EQ(c.Prefixo, "");

  Rodar({"config-local", "x", "h", "abc"});
  EXPECT_EQ(LerValorIni(Ini(), "local", "porta"), "3050");
}

TEST_F(Console, FalhaViraLinhaErroComTipoECodigoZero) {
  // A protected value from another machine: the guard writes the failure and the program ends with 0.
  std::ofstream(Ini()) << "[local]\nsenha=QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVowMTIzNDU2Nzg5\n[agente]\ntoken=x\n";
  auto r = Rodar({});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_EQ(r.saida.find("[ERRO]"), std::string::npos);

  std::ofstream(Ini()) << "[api]\nendpoint=x\n";
  std::ofstream(Ini(), std::ios::app) << "\xff\xfe\x00junk\n";
  r = Rodar({"config-local", "a\nb"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_NE(r.saida.find("  ERRO: EErroSO: nao foi possivel gravar " + Ini()), std::string::npos) << r.saida;
}

TEST_F(Console, SemPermissaoDeEscritaNemPastaDeLog) {
  if (geteuid() != 0) GTEST_SKIP() << "precisa de root para rodar como outro usuario";
  // Folders owned by root, readable by everybody, writable by nobody else.
  fs::permissions(pastaPrograma.Caminho(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(pastaTrabalho.Caminho(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(Trabalho(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  auto r = RodarProcesso("/usr/sbin/runuser", {"-u", "nobody", "--", Programa(), "config-local", "http://x"}, Trabalho());
  EXPECT_EQ(r.codigo, 0) << r.saida;
  EXPECT_NE(r.saida.find("ERRO: EErroSO: nao foi possivel criar a pasta de log logs"), std::string::npos) << r.saida;
  EXPECT_NE(r.saida.find("Tidewell Agente 0.2.25 iniciando"), std::string::npos) << r.saida;
  EXPECT_NE(r.saida.find("ERRO: EErroSO: nao foi possivel gravar " + Ini()), std::string::npos) << r.saida;
  EXPECT_FALSE(fs::exists(Ini()));
}

}  // namespace
}  // namespace tw
