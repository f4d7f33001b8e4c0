#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "apoio.h"
#include "u_base64.h"
#include "u_config.h"
#include "u_dpapi.h"
#include "u_erros.h"
#include "u_ini.h"

namespace tw {
namespace {
using teste::LerArquivo;
namespace fs = std::filesystem;

void Escrever(const std::string& caminho, const std::string& conteudo) {
  std::ofstream(caminho, std::ios::binary) << conteudo;
}

class Config : public ::testing::Test {
 protected:
  void SetUp() override { DefinirArquivoChaveMaquina(pasta.Arquivo("maquina.key")); }
  void TearDown() override { DefinirArquivoChaveMaquina(""); }
  std::string Ini() const { return pasta.Arquivo("tidewell.ini"); }
  teste::PastaTemp pasta;
};

TEST_F(Config, ArquivoNovoTemSecoesEChavesNaOrdemDaPrimeiraGravacao) {
  TConfigAgente c;
  c.Endpoint = "https://api.exemplo";
  c.LocalHost = "10.0.0.5";
  c.LocalPorta = 3051;
  c.LocalCaminho = "/dados/ERP.FDB";
  c.LocalUsuario = "SYSDBA";
  c.LocalSenha = "Ação São João ç ã é";
  c.Token = "tok-123";
  c.AgenteUUID = "u-1";
  c.Prefixo = "TW";
  SalvarConfig(Ini(), c);

  std::string texto = LerArquivo(Ini());
  std::vector<std::string> chaves;
  std::istringstream in(texto);
  for (std::string l; std::getline(in, l);) {
    ASSERT_FALSE(l.empty());
    EXPECT_EQ(l.back(), '\r');
    chaves.push_back(l.substr(0, l.find_first_of("=\r")));
  }
  EXPECT_EQ(chaves, (std::vector<std::string>{"[api]", "endpoint", "[local]", "host", "porta", "caminho", "usuario",
                                              "sgbd", "senha", "[agente]", "token", "uuid", "prefixo"}));
  EXPECT_EQ(texto.find("Ação"), std::string::npos) << "a senha nunca fica em claro";

  TConfigAgente lido;
  ASSERT_TRUE(CarregarConfig(Ini(), lido));
  EXPECT_EQ(lido.Endpoint, c.Endpoint);
  EXPECT_EQ(lido.LocalHost, c.LocalHost);
  EXPECT_EQ(lido.LocalPorta, 3051);
  EXPECT_EQ(lido.LocalCaminho, c.LocalCaminho);
  EXPECT_EQ(lido.LocalSenha, c.LocalSenha);
  EXPECT_EQ(lido.Token, c.Token);
  EXPECT_EQ(lido.AgenteUUID, "u-1");
  EXPECT_EQ(lido.Prefixo, "TW");
  EXPECT_EQ(lido.Sgbd, "");
}

TEST_F(Config, SemArquivoORegistroFicaLimpo) {
  TConfigAgente c;
  c.LocalHost = "lixo";
  c.LocalPorta = 9;
  EXPECT_FALSE(CarregarConfig(Ini(), c));
  EXPECT_EQ(c.LocalHost, "");
  EXPECT_EQ(c.LocalPorta, 0);
  EXPECT_EQ(c.LocalUsuario, "");
}

TEST_F(Config, ChavesAusentesTomamOsPadroes) {
  Escrever(Ini(), "[api]\r\nendpoint=http://e\r\n");
  TConfigAgente c;
  ASSERT_TRUE(CarregarConfig(Ini(), c));
  EXPECT_EQ(c.Endpoint, "http://e");
  EXPECT_EQ(c.LocalHost, "127.0.0.1");
  EXPECT_EQ(c.LocalPorta, 3050);
  EXPECT_EQ(c.LocalUsuario, "SYSDBA");
  EXPECT_EQ(c.LocalCaminho + c.LocalSenha + c.Token + c.AgenteUUID + c.Prefixo + c.Sgbd, "");
}

TEST_F(Config, PortaLidaDoArquivo) {
  const std::pair<std::string, int> casos[] = {
      {"3051", 3051}, {"abc", 3050}, {"0x0BEA", 3050}, {"0x0bec", 3052}, {"", 3050},
      {" 5432 ", 5432}, {"0x", 3050}, {"99999999999", 3050}, {"12ab", 3050},
  };
  for (const auto& [texto, esperado] : casos) {
    SCOPED_TRACE(texto);
    Escrever(Ini(), "[local]\nporta=" + texto + "\n");
    TConfigAgente c;
    ASSERT_TRUE(CarregarConfig(Ini(), c));
    EXPECT_EQ(c.LocalPorta, esperado);
  }
}

TEST_F(Config, SenhaVaziaNaoApagaAGuardadaEOsDemaisCamposSaoSobrescritos) {
  TConfigAgente c;
  c.LocalSenha = "s1";
  c.Token = "t1";
  c.AgenteUUID = "uuid-velho";
  c.Prefixo = "AB";
  SalvarConfig(Ini(), c);
  c.LocalSenha.clear();
  c.Token.clear();
  c.AgenteUUID.clear();
  c.Prefixo.clear();
  SalvarConfig(Ini(), c);
  TConfigAgente lido;
  ASSERT_TRUE(CarregarConfig(Ini(), lido));
  EXPECT_EQ(lido.LocalSenha, "s1");
  EXPECT_EQ(lido.Token, "t1");
  EXPECT_EQ(lido.AgenteUUID, "");
  EXPECT_EQ(lido.Prefixo, "");
  EXPECT_NE(LerArquivo(Ini()).find("prefixo=\r\n"), std::string::npos);
}

TEST_F(Config, ValorDeOutraMaquinaOuAlteradoFalhaComCodigoETexto) {
  TConfigAgente c;
  c.LocalSenha = "segredo";
  SalvarConfig(Ini(), c);
  std::string original = LerArquivo(Ini());

  DefinirArquivoChaveMaquina(pasta.Arquivo("outra-maquina.key"));
  TConfigAgente lido;
  try {
    CarregarConfig(Ini(), lido);
    FAIL() << "deveria falhar";
  } catch (const EErroSO& e) {
    EXPECT_NE(e.Codigo(), 0);
    EXPECT_NE(std::string(e.what()).find("outra maquina"), std::string::npos) << e.what();
    EXPECT_EQ(NomeTipo(e), "EErroSO");
  }

  DefinirArquivoChaveMaquina(pasta.Arquivo("maquina.key"));
  auto pos = original.find("senha=") + 10;
  std::string alterado = original;
  alterado[pos] = alterado[pos] == 'A' ? 'B' : 'A';
  Escrever(Ini(), alterado);
  EXPECT_THROW(CarregarConfig(Ini(), lido), EErroSO);
  Escrever(Ini(), "[local]\nsenha=***nao base64***\n");
  EXPECT_THROW(CarregarConfig(Ini(), lido), EErroSO);
  Escrever(Ini(), "[local]\nsenha=QUJD\n");  // Base64 of "ABC": too short to be a protected value
  EXPECT_THROW(CarregarConfig(Ini(), lido), EErroSO);

  // Without senha and token the file of another machine loads.
  Escrever(Ini(), "[api]\nendpoint=x\n[agente]\nuuid=u\n");
  DefinirArquivoChaveMaquina(pasta.Arquivo("terceira.key"));
  EXPECT_TRUE(CarregarConfig(Ini(), lido));
}

TEST_F(Config, ProtecaoEmBase64NumaLinhaENaoDeterministica) {
  std::string a = ProtegerTexto("Ação"), b = ProtegerTexto("Ação");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_of("\r\n"), std::string::npos);
  EXPECT_TRUE(DecodificarBase64(a).has_value());
  EXPECT_EQ(DesprotegerTexto(a), "Ação");
  EXPECT_EQ(DesprotegerTexto(""), "");
  EXPECT_EQ(DesprotegerTexto(ProtegerTexto("")), "");
}

TEST_F(Config, ChaveDaMaquinaSoLegivelPeloDono) {
  ProtegerTexto("x");
  struct stat st {};
  ASSERT_EQ(stat(pasta.Arquivo("maquina.key").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 32);
}

TEST(CaminhoConfig, NomeSemPastaFicaAoLadoDoPrograma) {
  std::string p = CaminhoConfig("tidewell.ini");
  EXPECT_EQ(p.front(), '/');
  EXPECT_EQ(fs::path(p).filename(), "tidewell.ini");
  EXPECT_EQ(CaminhoConfig("/x/y.ini"), "/x/y.ini");
  EXPECT_EQ(CaminhoConfig("sub/y.ini"), "sub/y.ini");
}

TEST(PortaDeTexto, DecimalOu3050) {
  EXPECT_EQ(PortaDeTexto("5432"), 5432);
  EXPECT_EQ(PortaDeTexto(""), 3050);
  EXPECT_EQ(PortaDeTexto("abc"), 3050);
  EXPECT_EQ(PortaDeTexto("0x0BEA"), 3050);
}

// --- INI layer ----------------------------------------------------------------------------

class Ini : public ::testing::Test {
 protected:
  std::string Arq() const { return pasta.Arquivo("a.ini"); }
  teste::PastaTemp pasta;
};

TEST_F(Ini, NomesSemCaixaChavesExistentesNoLugarDesconhecidasIntactas) {
  Escrever(Arq(),
           "; comentario\n[Local]\nHOST = antigo \nextra=1\n\n[outra]\nk=v\n[LOCAL]\nhost=duplicada\n");
  EXPECT_EQ(LerValorIni(Arq(), "local", "host"), "antigo");
  GravarValorIni(Arq(), "LOCAL", "Host", "novo");
  GravarValorIni(Arq(), "local", "porta", "3050");
  GravarValorIni(Arq(), "nova", "a", "b");
  EXPECT_EQ(LerArquivo(Arq()),
            "; comentario\n[Local]\nHOST=novo\nextra=1\nporta=3050\n\n[outra]\nk=v\n[LOCAL]\nhost=duplicada\n"
            "[nova]\na=b\n");
  EXPECT_EQ(LerValorIni(Arq(), "OUTRA", "K"), "v");
}

TEST_F(Ini, EntradasDanificadas) {
  struct Caso {
    const char* nome;
    std::string conteudo;
    std::optional<std::string> esperado;  // value of [local] host
  };
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) % 256);
  const Caso casos[] = {
      {"lixo binario", junk, std::nullopt},
      {"lixo e depois secao", junk + "\n[local]\nhost=h\n", "h"},
      {"linha de 100 kB", "[local]\nhost=" + std::string(100000, 'x') + "\n", std::string(2047, 'x')},
      {"sem secoes", "host=h\nporta=1\n", std::nullopt},
      {"chave duplicada", "[local]\nhost=primeira\nhost=segunda\n", "primeira"},
      {"aspas", "[local]\nhost=\"h q\"\n", "h q"},
      {"BOM e CR LF", "\xEF\xBB\xBF[local]\r\nhost=b\r\n", "b"},
      {"sem fim de linha", "[local]\nhost=z", "z"},
      {"vazio", "", std::nullopt},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    Escrever(Arq(), c.conteudo);
    EXPECT_EQ(LerValorIni(Arq(), "local", "host"), c.esperado);
    // A write keeps every other byte of the file.
    GravarValorIni(Arq(), "agente", "uuid", "u");
    EXPECT_EQ(LerValorIni(Arq(), "agente", "uuid"), "u");
    EXPECT_EQ(LerValorIni(Arq(), "local", "host"), c.esperado);
    std::string depois = LerArquivo(Arq());
    std::string semBom = c.conteudo.rfind("\xEF\xBB\xBF", 0) == 0 ? c.conteudo.substr(3) : c.conteudo;
    EXPECT_NE(depois.find(semBom.substr(0, semBom.find_last_not_of('\n') + 1)), std::string::npos);
  }
}

TEST_F(Ini, ValorComQuebraDeLinhaNaoEntraNoArquivo) {
  GravarValorIni(Arq(), "api", "endpoint", "ok");
  EXPECT_THROW(GravarValorIni(Arq(), "api", "endpoint", "x\n[agente]\ntoken=roubado"), EErroSO);
  EXPECT_EQ(LerValorIni(Arq(), "api", "endpoint"), "ok");
  EXPECT_EQ(LerValorIni(Arq(), "agente", "token"), std::nullopt);
}

TEST_F(Ini, PastaSemPermissaoDeEscritaDaErroQueNomeiaOArquivo) {
  if (geteuid() == 0) {
    // root writes anywhere: use a path whose folder does not exist instead.
    try {
      GravarValorIni(pasta.Arquivo("nao/existe/a.ini"), "s", "k", "v");
      FAIL();
    } catch (const EErroSO& e) {
      EXPECT_NE(std::string(e.what()).find("nao/existe/a.ini"), std::string::npos) << e.what();
    }
    return;
  }
  fs::permissions(pasta.Caminho(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_THROW(GravarValorIni(Arq(), "s", "k", "v"), EErroSO);
}

TEST_F(Ini, GravacaoNaoDeixaTemporarioNemPerdePermissoes) {
  GravarValorIni(Arq(), "s", "k", "v");
  fs::permissions(Arq(), fs::perms::owner_read | fs::perms::owner_write);
  GravarValorIni(Arq(), "s", "k", "w");
  EXPECT_EQ(fs::status(Arq()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  int arquivos = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(pasta.Caminho())) ++arquivos;
  EXPECT_EQ(arquivos, 1);
}

}  // namespace
}  // namespace tw
