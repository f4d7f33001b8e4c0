// The heartbeat against a loopback server: the request, and every shape of answer.
#include <gtest/gtest.h>

#include "servidor_http.h"
#include "u_erros.h"
#include "u_heartbeat.h"
#include "u_http.h"

namespace tw {
namespace {

struct Comando {
  int64_t id;
  std::string tipo, params;
};

std::vector<Comando> Simples(const std::vector<TComandoRemoto>& v) {
  std::vector<Comando> r;
  for (const auto& c : v) r.push_back({c.Id, c.Tipo, c.Params});
  return r;
}

bool operator==(const Comando& a, const Comando& b) { return a.id == b.id && a.tipo == b.tipo && a.params == b.params; }

void PrintTo(const Comando& c, std::ostream* os) { *os << "{" << c.id << ", " << c.tipo << ", " << c.params << "}"; }

TConfigAgente Config(const std::string& endpoint) {
  TConfigAgente c;
  c.Endpoint = endpoint;
  c.Token = "tok-hb";
  return c;
}

struct Resultado {
  bool ok = false;
  bool ativo = false;
  std::string erro;
  std::vector<TComandoRemoto> comandos;
};

// One heartbeat against a server that answers status and body.
Resultado Enviar(int status, const std::string& corpo) {
  teste::ServidorHttp s([&](const teste::PedidoHttp&) { return teste::Resposta(status, corpo); });
  Resultado r;
  r.ativo = false;
  r.erro = "lixo";
  r.comandos.resize(3);
  r.ok = EnviarHeartbeat(Config(s.Url()), 0, r.ativo, r.erro, r.comandos);
  return r;
}

TEST(Heartbeat, PedidoComVersaoFilaEToken) {
  teste::ServidorHttp s([](const teste::PedidoHttp&) { return teste::Resposta(200, R"({"data":{}})"); });
  bool ativo = false;
  std::string erro;
  std::vector<TComandoRemoto> comandos;
  ASSERT_TRUE(EnviarHeartbeat(Config(s.Url()), 42, ativo, erro, comandos)) << erro;
  const auto p = s.Pedidos();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].metodo, "POST");
  EXPECT_EQ(p[0].alvo, "/api/v1/agentes/heartbeat");
  EXPECT_EQ(p[0].corpo, R"({"versao":"0.2.25","telemetria":{"fila":42}})");
  EXPECT_EQ(p[0].Cabecalho("Authorization"), "Bearer tok-hb");
  EXPECT_EQ(p[0].Cabecalho("Content-Type"), "application/json");
  EXPECT_EQ(CorpoHeartbeat(0), R"({"versao":"0.2.25","telemetria":{"fila":0}})");
}

TEST(Heartbeat, AtivoEComandosDeRespostasDiversas) {
  struct Caso {
    const char* nome;
    std::string corpo;
    bool ativo;
    std::vector<Comando> comandos;
  };
  const Caso casos[] = {
      {"corpo vazio", "", true, {}},
      {"nao JSON", "<html>ok</html>", true, {}},
      {"sem data", R"({"ok":true})", true, {}},
      {"data nao objeto", R"({"data":[1]})", true, {}},
      {"ativo false", R"({"data":{"ativo":false}})", false, {}},
      {"ativo como texto", R"({"data":{"ativo":"false"}})", true, {}},
      {"ativo como 0", R"({"data":{"ativo":0}})", true, {}},
      {"ativo nulo", R"({"data":{"ativo":null}})", true, {}},
      {"comandos nao lista", R"({"data":{"comandos":{"id":1}}})", true, {}},
      {"lista vazia", R"({"data":{"ativo":true,"comandos":[]}})", true, {}},
      {"comandos",
       R"({"data":{"ativo":false,"comandos":[
          {"id":5,"tipo":"recarga_completa"},
          {"id":"7","tipo":null,"params":null},
          {"id":9,"tipo":"recarregar_tabela","params":{"tabela":"CLIENTE Ç","n":[1,2]}},
          {"tipo":3,"params":"texto"},
          {"id":9007199254740993,"tipo":"x","params":{}},
          {"id":12.0,"tipo":true,"params":[]},
          {}]}})",
       false,
       {{5, "recarga_completa", "{}"},
        {0, "", "null"},
        {9, "recarregar_tabela", R"({"tabela":"CLIENTE \u00c7","n":[1,2]})"},
        {0, "3", R"("texto")"},
        {9007199254740993, "x", "{}"},
        {12, "true", "[]"},
        {0, "", "{}"}}},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    const Resultado r = Enviar(200, c.corpo);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.erro, "");
    EXPECT_EQ(r.ativo, c.ativo);
    EXPECT_EQ(Simples(r.comandos), c.comandos);
  }
}

TEST(Heartbeat, StatusDiferenteDe200) {
  for (int status : {401, 404, 500, 201}) {
    SCOPED_TRACE(status);
    const Resultado r = Enviar(status, R"({"data":{"ativo":false,"comandos":[{"id":1}]}})");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.erro, "HTTP " + std::to_string(status) + R"(: {"data":{"ativo":false,"comandos":[{"id":1}]}})");
    EXPECT_TRUE(r.ativo);
    EXPECT_TRUE(r.comandos.empty());
  }

  bool ativo = false;
  std::string erro;
  std::vector<TComandoRemoto> comandos(2);
  EXPECT_FALSE(
      EnviarHeartbeat(Config("http://127.0.0.1:" + std::to_string(teste::PortaFechada())), 0, ativo, erro, comandos));
  EXPECT_EQ(erro.rfind("HTTP -1: Failed to connect to 127.0.0.1 port ", 0), 0u) << erro;
  EXPECT_TRUE(ativo);
  EXPECT_TRUE(comandos.empty());
}

TEST(Heartbeat, ElementoQueNaoEObjetoLevantaComAListaPelaMetade) {
  teste::ServidorHttp s([](const teste::PedidoHttp&) {
    return teste::Resposta(200, R"({"data":{"ativo":false,"comandos":[{"id":1,"tipo":"a"},5,{"id":2,"tipo":"b"}]}})");
  });
  bool ativo = true;
  std::string erro;
  std::vector<TComandoRemoto> comandos;
  try {
    EnviarHeartbeat(Config(s.Url()), 0, ativo, erro, comandos);
    ADD_FAILURE() << "nao levantou";
  } catch (const EErroJson& e) {
    EXPECT_STREQ(e.what(), "data.comandos[1] do heartbeat nao e um objeto: 5");
  }
  EXPECT_FALSE(ativo);
  EXPECT_EQ(Simples(comandos), (std::vector<Comando>{{1, "a", "{}"}, {0, "", ""}, {0, "", ""}}));
}

}  // namespace
}  // namespace tw
