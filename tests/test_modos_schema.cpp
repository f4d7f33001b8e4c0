// The console modes fb, hash and manifesto, run as the built program against a real Firebird server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "apoio.h"
#include "u_json.h"

namespace tw {
namespace {
using teste::LerArquivo;

namespace fs = std::filesystem;
using teste::BancoTeste;
using teste::PastaTemp;
using teste::ServidorFb;

bool Contem(const std::string& texto, const std::string& trecho) { return texto.find(trecho) != std::string::npos; }

// A copy of the console program in a folder of its own (it writes its files beside itself),
// run with that folder as working directory, against a fresh Firebird database.
class ModosSchema : public ::testing::Test {
 protected:
  void SetUp() override {
    programa_ = pasta_.Arquivo("TidewellAgente");
    fs::copy_file(teste::ProgramaConsole(), programa_);
    banco_ = std::make_unique<BancoTeste>(ServidorFb(), "modos");
    SessaoPtr s = banco_->Abrir();
    s->Executar("create table CLIENTE (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(60) CHARACTER SET WIN1252, "
                "SALDO NUMERIC(15,2), FOTO BLOB SUB_TYPE 0, UUID CHAR(36))");
    s->Executar("create table \"Cora\xC3\xA7\xC3\xA3o\" (A INTEGER)");
    s->Executar("create table \"Sinc\" (A INTEGER)");
  }

  std::string Rodar(std::vector<std::string> args, const std::string& porta = "3050", const std::string& senha = {}) {
    const auto& sv = banco_->servidor();
    std::vector<std::string> todos = {args.at(0), sv.host, porta, banco_->banco(), sv.usuario,
                                      senha.empty() ? sv.senha : senha};
    todos.insert(todos.end(), args.begin() + 1, args.end());
    const teste::SaidaProcesso r = teste::RodarProcesso(programa_, todos, pasta_.Caminho());
    EXPECT_EQ(r.codigo, 0) << r.saida;
    return r.saida;
  }

  PastaTemp pasta_;
  std::string programa_;
  std::unique_ptr<BancoTeste> banco_;
};

TEST_F(ModosSchema, HashImprimeOHashDaTabela) {
  EXPECT_TRUE(Contem(Rodar({"hash", "CLIENTE"}),
                     "hash CLIENTE = e4909eb191d122e2830af17d78ed7d93ccd69ed91d3a8eeaca4e9f0bff2c9f9e\n"));
  // No table name: the hash of the empty name ("|PK:"). An empty or non-numeric port means 3050.
  EXPECT_TRUE(Contem(Rodar({"hash"}, ""), "hash  = 4875781f124c4af5b6dfa9ef7e45939ab139c197622473eee04ea14806855975\n"));
  EXPECT_TRUE(Contem(Rodar({"hash"}, "porta"), "hash  = 4875781f124c4af5b6dfa9ef7e45939ab139c197622473eee04ea14806855975\n"));
}

TEST_F(ModosSchema, ManifestoGravaArquivoComBomESubstituiNaSegundaVez) {
  const std::string arquivo = pasta_.Arquivo("manifesto.json");
  std::string saida = Rodar({"manifesto"});
  std::string conteudo = LerArquivo(arquivo);
  ASSERT_GT(conteudo.size(), 3u);
  EXPECT_EQ(conteudo.substr(0, 3), "\xEF\xBB\xBF");
  std::string documento = conteudo.substr(3);
  EXPECT_TRUE(Contem(saida, "manifesto montado: 2 tabelas\n"));
  EXPECT_TRUE(Contem(saida, "tamanho do manifesto: " + std::to_string(documento.size()) + " chars\n"));
  EXPECT_TRUE(Contem(saida, "salvo em manifesto.json\n"));
  EXPECT_TRUE(Contem(documento, R"({"nome":"Cora\u00e7\u00e3o",)"));
  Json doc = Json::parse(documento);
  ASSERT_EQ(doc["manifesto"]["tabelas"].size(), 2u);
  EXPECT_EQ(doc["manifesto"]["tabelas"][0]["nome"], "CLIENTE");
  EXPECT_EQ(doc["manifesto"]["tabelas"][1]["nome"], "Cora\xC3\xA7\xC3\xA3o");

  banco_->Abrir()->Executar("create table NOVA (A INTEGER)");
  saida = Rodar({"manifesto"});
  EXPECT_TRUE(Contem(saida, "manifesto montado: 3 tabelas\n"));
  conteudo = LerArquivo(arquivo);
  ASSERT_EQ(conteudo.substr(0, 3), "\xEF\xBB\xBF");
  doc = Json::parse(conteudo.substr(3));
  ASSERT_EQ(doc["manifesto"]["tabelas"].size(), 3u);
  EXPECT_EQ(doc["manifesto"]["tabelas"][2]["nome"], "NOVA");
  // Only the program, its log folder and the manifest: no temporary file left behind.
  std::vector<std::string> nomes;
  for (const auto& e : fs::directory_iterator(pasta_.Caminho())) nomes.push_back(e.path().filename().string());
  std::sort(nomes.begin(), nomes.end());
  EXPECT_EQ(nomes, (std::vector<std::string>{"TidewellAgente", "logs", "manifesto.json"}));
}

TEST_F(ModosSchema, FbImprimeODiagnostico) {
  const std::string saida = Rodar({"fb"});
  for (const char* linha : {"conectado.\n", "tabelas de usuario: 3\n", "primeiras tabelas:\n", "  CLIENTE\n",
                            "  Sinc\n", "tabela SINC (antigo) existe: False\n", "triggers TR_*_AIUD (antigo): 0\n",
                            "colunas UUID (antigo) em N tabelas: 1\n"}) {
    SCOPED_TRACE(linha);
    EXPECT_TRUE(Contem(saida, linha)) << saida;
  }
  EXPECT_TRUE(Contem(saida, "conectando ao Firebird " + banco_->servidor().host + ":3050 " + banco_->banco() + "\n"));
}

TEST_F(ModosSchema, FalhaDeConexaoViraLinhaDeErro) {
  for (const char* modo : {"fb", "hash", "manifesto"}) {
    SCOPED_TRACE(modo);
    const std::string saida = Rodar({modo}, "3050", "senha-errada");
    EXPECT_TRUE(Contem(saida, "ERRO: EErroBanco: ")) << saida;
    EXPECT_FALSE(Contem(saida, "conectado.\n"));
    EXPECT_FALSE(Contem(saida, "salvo em manifesto.json"));
  }
  EXPECT_FALSE(fs::exists(pasta_.Arquivo("manifesto.json")));
}

}  // namespace
}  // namespace tw
