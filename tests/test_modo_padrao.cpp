// The console's default mode, run as the built program against a loopback server.
#include <gtest/gtest.h>

#include <filesystem>

#include "apoio.h"
#include "servidor_http.h"
#include "u_config.h"

namespace tw {
namespace {
namespace fs = std::filesystem;

// A copy of the program in its own folder (it reads tidewell.ini beside itself), run from another
// folder (its logs and checkpoint go there).
class ModoPadrao : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(teste::ProgramaConsole(), pastaPrograma.Arquivo("TidewellAgente"));
    fs::create_directory(Trabalho());
  }
  std::string Trabalho() const { return pastaTrabalho.Arquivo("cwd"); }
  std::string Checkpoint() const { return Trabalho() + "/logs/checkpoint.txt"; }
  void EscreverConfig(const std::string& endpoint, const std::string& token) const {
    TConfigAgente c;
    c.Endpoint = endpoint;
    c.Token = token;
    c.AgenteUUID = "0A1B2C3D-uuid-do-agente";
    SalvarConfig(pastaPrograma.Arquivo("tidewell.ini"), c);
  }
  teste::SaidaProcesso Rodar(const std::vector<std::string>& args = {}) const {
    return teste::RodarProcesso(pastaPrograma.Arquivo("TidewellAgente"), args, Trabalho());
  }
  static bool Tem(const teste::SaidaProcesso& r, const std::string& linha) {
    return r.saida.find("  " + linha + "\n") != std::string::npos;
  }

  teste::PastaTemp pastaPrograma, pastaTrabalho;
};

TEST_F(ModoPadrao, HeartbeatComSucessoContaOsComandosSemExecutar) {
  teste::ServidorHttp servidor([](const teste::PedidoHttp&) {
    return teste::Resposta(200, R"({"data":{"ativo":false,"comandos":[
      {"id":1,"tipo":"recarga_completa"},{"id":2,"tipo":"enviar_logs","params":{}}]}})");
  });
  EscreverConfig(servidor.Url(), "tok-padrao");
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"modo-desconhecido"}}) {
    SCOPED_TRACE(args.empty() ? "(sem argumento)" : args[0]);
    const auto r = Rodar(args);
    EXPECT_EQ(r.codigo, 0);
    EXPECT_TRUE(Tem(r, "modo padrao: teste de conexao do agente 0A1B2C3D-uuid-do-agente com " + servidor.Url()))
        << r.saida;
    EXPECT_TRUE(Tem(r, "heartbeat OK (ativo=False, comandos=2)")) << r.saida;
    EXPECT_TRUE(Tem(r, "ciclo concluido")) << r.saida;
    EXPECT_EQ(r.saida.find("ERRO"), std::string::npos) << r.saida;
  }
  EXPECT_TRUE(fs::exists(Checkpoint()));
  // Only the heartbeats: the commands were counted, never run (no result was posted).
  const auto p = servidor.Pedidos();
  ASSERT_EQ(p.size(), 2u);
  for (const auto& pedido : p) {
    EXPECT_EQ(pedido.alvo, "/api/v1/agentes/heartbeat");
    EXPECT_EQ(pedido.corpo, R"({"versao":"0.2.25","telemetria":{"fila":0}})");
    EXPECT_EQ(pedido.Cabecalho("Authorization"), "Bearer tok-padrao");
  }
}

TEST_F(ModoPadrao, HeartbeatRecusadoViraLinhaInformativa) {
  teste::ServidorHttp servidor([](const teste::PedidoHttp&) { return teste::Resposta(401, "token revogado"); });
  EscreverConfig(servidor.Url(), "tok");
  const auto r = Rodar();
  EXPECT_EQ(r.codigo, 0);
  EXPECT_TRUE(Tem(r, "heartbeat falhou: HTTP 401: token revogado")) << r.saida;
  EXPECT_TRUE(Tem(r, "ciclo concluido")) << r.saida;
  EXPECT_EQ(r.saida.find("[ERRO]"), std::string::npos) << r.saida;
  EXPECT_TRUE(fs::exists(Checkpoint()));
}

TEST_F(ModoPadrao, EndpointVazioVaiAoLoopbackNaPorta9500) {
  EscreverConfig("", "tok-local");
  {
    teste::ServidorHttp local([](const teste::PedidoHttp&) { return teste::Resposta(200, R"({"data":{}})"); },
                              teste::TlsServidor::nenhum, 9500);
    const auto r = Rodar();
    EXPECT_TRUE(Tem(r, "modo padrao: teste de conexao do agente 0A1B2C3D-uuid-do-agente com http://127.0.0.1:9500"))
        << r.saida;
    EXPECT_TRUE(Tem(r, "heartbeat OK (ativo=True, comandos=0)")) << r.saida;
    ASSERT_EQ(local.Pedidos().size(), 1u);
    EXPECT_EQ(local.Pedidos()[0].Cabecalho("Authorization"), "Bearer tok-local");
  }
  // Nothing listens there now.
  const auto r = Rodar();
  EXPECT_TRUE(r.saida.find("  heartbeat falhou: HTTP -1: Failed to connect to 127.0.0.1 port 9500") !=
              std::string::npos)
      << r.saida;
  EXPECT_TRUE(Tem(r, "ciclo concluido")) << r.saida;
  // The loopback endpoint was for that run only.
  TConfigAgente c;
  ASSERT_TRUE(CarregarConfig(pastaPrograma.Arquivo("tidewell.ini"), c));
  EXPECT_EQ(c.Endpoint, "");
}

TEST_F(ModoPadrao, SemTokenNaoEnviaNada) {
  teste::ServidorHttp servidor([](const teste::PedidoHttp&) { return teste::Resposta(200, "{}"); });
  auto r = Rodar();  // no configuration file at all
  EXPECT_EQ(r.codigo, 0);
  EXPECT_TRUE(Tem(r, "modo padrao: teste de conexao do agente (sem uuid) com http://127.0.0.1:9500")) << r.saida;
  EXPECT_TRUE(Tem(r, "[ERRO] modo padrao: sem config (tidewell.ini nao encontrado); heartbeat nao enviado")) << r.saida;

  EscreverConfig(servidor.Url(), "");
  r = Rodar();
  EXPECT_EQ(r.codigo, 0);
  EXPECT_TRUE(Tem(r, "[ERRO] modo padrao: Token vazio em tidewell.ini; heartbeat nao enviado")) << r.saida;
  EXPECT_EQ(r.saida.find("ciclo concluido"), std::string::npos) << r.saida;
  EXPECT_FALSE(fs::exists(Checkpoint()));
  EXPECT_TRUE(servidor.Pedidos().empty());
}

}  // namespace
}  // namespace tw
