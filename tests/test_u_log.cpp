#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "apoio.h"
#include "u_erros.h"
#include "u_log.h"

namespace tw {
namespace {
using teste::LerArquivo;
namespace fs = std::filesystem;

std::string NomeDoDia(int diasAtras) {
  std::time_t t = std::time(nullptr) - diasAtras * 24 * 3600;
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "ag_%Y%m%d.txt", &tm);
  return buf;
}

class Log : public ::testing::Test {
 protected:
  void SetUp() override { DefinirPastaLog(pasta.Arquivo("logs")); }
  void TearDown() override { DefinirPastaLog(""); }
  std::string Pasta() const { return pasta.Arquivo("logs"); }
  void EscreverDia(int diasAtras, const std::string& conteudo) const {
    std::ofstream(Pasta() + "/" + NomeDoDia(diasAtras), std::ios::binary) << conteudo;
  }
  teste::PastaTemp pasta;
};

TEST_F(Log, LinhasDeInformacaoEDeErroComCarimboEDoisEspacos) {
  RegistrarLog("mensagem ção");
  RegistrarLog("falhou", true);
  EXPECT_EQ(ArquivoLogDoDia(), Pasta() + "/" + NomeDoDia(0));
  std::string texto = LerArquivo(ArquivoLogDoDia());
  std::regex esperado(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  mensagem ção\r\n\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  \[ERRO\] falhou\r\n)");
  EXPECT_TRUE(std::regex_match(texto, esperado)) << texto;
  EXPECT_NE(texto.substr(0, 3), "\xEF\xBB\xBF");
}

TEST_F(Log, MensagemDeVariasLinhasFicaNumaLinhaSo) {
  RegistrarLog("falhou DROP TABLE X: unsuccessful metadata update\nDROP TABLE X failed\r\nTable X does not exist\n", true);
  RegistrarLog("falhou DROP TABLE X: unsuccessful metadata update\nDROP TABLE X failed\r\nTable X does not exist\n", true);
  std::string texto = LerArquivo(ArquivoLogDoDia());
  EXPECT_EQ(std::count(texto.begin(), texto.end(), '\n'), 2) << texto;
  EXPECT_NE(texto.find("  [ERRO] falhou DROP TABLE X: unsuccessful metadata update | DROP TABLE X failed | Table X does "
                       "not exist\r\n"),
            std::string::npos)
      << texto;
  EXPECT_NE(ErrosRecentes(1000).find("Table X does not exist  [repetido 2x ate "), std::string::npos);
}

TEST_F(Log, CheckpointComBomESemFimDeLinha) {
  GravarCheckpoint();
  GravarCheckpoint();
  std::string texto = LerArquivo(Pasta() + "/checkpoint.txt");
  EXPECT_TRUE(std::regex_match(texto, std::regex("\xEF\xBB\xBF\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"))) << texto;
}

TEST_F(Log, PurgaPelaDataDaUltimaGravacaoNaoPeloNome) {
  const auto agora = fs::file_time_type::clock::now();
  struct Caso {
    const char* nome;
    int diasAtras;
    bool fica;
  };
  const Caso casos[] = {
      {"ag_20990101.txt", 31, false}, {"ag_20000101.txt", 29, true}, {"ag_qualquer.txt", 31, false},
      {"AG_MAIUSC.TXT", 31, false},   {"outro.txt", 60, true},       {"ag_x.log", 60, true},
  };
  for (const auto& c : casos) {
    std::ofstream(Pasta() + "/" + c.nome) << "x";
    fs::last_write_time(Pasta() + "/" + c.nome, agora - std::chrono::hours(24 * c.diasAtras));
  }
  fs::create_directory(Pasta() + "/ag_pasta.txt");
  fs::last_write_time(Pasta() + "/ag_pasta.txt", agora - std::chrono::hours(24 * 40));
  DefinirPastaLog(Pasta());
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    EXPECT_EQ(fs::exists(Pasta() + "/" + c.nome), c.fica);
  }
  EXPECT_TRUE(fs::exists(Pasta() + "/ag_pasta.txt"));
}

TEST_F(Log, PastaQueNaoPodeSerCriadaLevantaErro) {
  std::ofstream(pasta.Arquivo("arquivo")) << "x";
  EXPECT_THROW(DefinirPastaLog(pasta.Arquivo("arquivo/logs")), EErroSO);
  // Lines are still swallowed without a usable folder.
  RegistrarLog("sem pasta");
}

TEST(NormalizarLinhaErro, Casos) {
  const std::pair<std::string, std::string> casos[] = {
      {"2024-01-31 10:00:00  [ERRO] Falha HTTP 500 em 12 linhas", "falha http ### em ## linhas"},
      {"[erro] Sem Carimbo [ERRO]", "sem carimbo"},
      {"2024-01-31X10:00:00  texto", "####-##-##x##:##:##  texto"},
      {"  \t[ERRO]  \x01", ""},
      {"2024-01-31 10:00:0", "####-##-## ##:##:#"},
      {"ÁÇÃO 1", "áção #"},
  };
  for (const auto& [linha, chave] : casos) {
    SCOPED_TRACE(linha);
    EXPECT_EQ(NormalizarLinhaErro(linha), chave);
  }
}

TEST_F(Log, DigestAgrupaRepeticoesEGuardaAUltimaHora) {
  EscreverDia(1,
              "2024-01-30 09:00:00  [ERRO] lote 17 recusado: HTTP 500\r\n"
              "2024-01-30 09:00:01  informacao 1\r\n");
  EscreverDia(0,
              "2024-01-31 10:00:00  [ERRO] Lote 18 recusado: HTTP 502   \r\n"
              "2024-01-31 11:00:00  [ERRO] outra falha\n"
              "[ERRO] sem hora\r\n"
              "[ERRO] sem hora\r\n"
              "2024-01-31 12:30:00  [ERRO] lote 19 recusado: http 503\r\n"
              "2024-01-31 12:31:00  [erro] minusculo nao conta\r\n");
  EXPECT_EQ(ErrosRecentes(204800),
            "2024-01-30 09:00:00  [ERRO] lote 17 recusado: HTTP 500  [repetido 3x ate 2024-01-31 12:30:00]\r\n"
            "2024-01-31 11:00:00  [ERRO] outra falha\r\n"
            "[ERRO] sem hora  [repetido 2x ate ]\r\n");
}

TEST_F(Log, DigestVazioTruncadoEJanela) {
  EXPECT_EQ(ErrosRecentes(100), "");
  EscreverDia(0, "2024-01-31 10:00:00  sem erro\r\n[ERRO]   \r\n");
  EXPECT_EQ(ErrosRecentes(100), "");

  std::string dia;
  // Digits count as one error, so the distinct lines are told apart by letters.
  for (int i = 0; dia.size() < 300000; ++i) {
    std::string palavra;
    for (int n = i; palavra.size() < 4; n /= 26) palavra += static_cast<char>('a' + n % 26);
    dia += "[ERRO] falha distinta " + palavra + "\r\n";
  }
  EscreverDia(0, dia);
  std::string digest = ErrosRecentes(1000000);
  ASSERT_GT(digest.size(), 204800u);
  std::string truncado = ErrosRecentes(204800);
  EXPECT_EQ(truncado, "...(truncado)...\r\n" + digest.substr(digest.size() - 204800));

  // Only the last 4,194,304 characters of yesterday + today are read.
  EscreverDia(1, "[ERRO] antiga demais\r\n" + std::string(4194304, 'x') + "\r\n");
  EscreverDia(0, "[ERRO] recente\r\n");
  EXPECT_EQ(ErrosRecentes(1000), "[ERRO] recente\r\n");
}

TEST(ErrosRecentes, SemPastaDeLogDevolveVazio) {
  DefinirPastaLog("");
  EXPECT_EQ(ErrosRecentes(100), "");
}

}  // namespace
}  // namespace tw
