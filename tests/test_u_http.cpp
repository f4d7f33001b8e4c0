// The HTTP JSON client against real servers on loopback, and the JSON value readers.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "apoio.h"
#include "servidor_http.h"
#include "u_erros.h"
#include "u_http.h"
#include "u_texto.h"

namespace tw {
namespace {
namespace fs = std::filesystem;
using teste::PedidoHttp;
using teste::RespostaHttp;

constexpr const char* kPagina404 = "<html><body><h1>404</h1>nao encontrado</body></html>";

RespostaHttp Responder(const PedidoHttp& p) {
  const std::string& a = p.alvo;
  if (a == "/ok") return teste::Resposta(200, R"({"data":{"ativo":true}})");
  if (a == "/401") return teste::Resposta(401, R"({"erro":"token invalido"})");
  if (a == "/404") return teste::Resposta(404, kPagina404, "text/html");
  if (a == "/500") return teste::Resposta(500, "falha interna", "text/plain");
  if (a == "/latin1") return teste::Resposta(200, "{\"nome\":\"caf\xe9\"}", "application/json; charset=ISO-8859-1");
  if (a == "/eco") return teste::Resposta(200, p.corpo);
  if (a == "/lento") {
    // Six parts 150 ms apart: longer than the 400 ms response timeout of the test, never idle that long.
    RespostaHttp r;
    r.partes = {"parte1;", "parte2;", "parte3;", "parte4;", "parte5;", "parte6;"};
    r.intervaloMs = 150;
    r.tipo = "application/octet-stream";
    return r;
  }
  return teste::Resposta(404, "?");
}

// Timeouts shortened for one test, restored afterwards.
struct TemposCurtos {
  TemposCurtos(int32_t conexaoMs, int32_t respostaMs) { DefinirTemposHttp(conexaoMs, respostaMs); }
  ~TemposCurtos() { RestaurarTemposHttp(); }
};

class Http : public ::testing::Test {
 protected:
  std::string Url(const std::string& caminho) const { return servidor.Url() + caminho; }
  teste::ServidorHttp servidor{Responder};
  teste::PastaTemp pasta;
};

TEST_F(Http, StatusECorpoComoVieram) {
  struct Caso {
    const char* caminho;
    int32_t status;
    std::string corpo;
  };
  const Caso casos[] = {
      {"/ok", 200, R"({"data":{"ativo":true}})"},
      {"/401", 401, R"({"erro":"token invalido"})"},
      {"/404", 404, kPagina404},
      {"/500", 500, "falha interna"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.caminho);
    std::string resposta = "lixo anterior";
    EXPECT_EQ(HttpGetJson(Url(c.caminho), "tok", resposta), c.status);
    EXPECT_EQ(resposta, c.corpo);
    resposta = "lixo anterior";
    EXPECT_EQ(HttpPostJson(Url(c.caminho), "{}", "tok", resposta), c.status);
    EXPECT_EQ(resposta, c.corpo);
  }
}

TEST_F(Http, CabecalhosDoPostEDoGet) {
  std::string resposta;
  ASSERT_EQ(HttpPostJson(Url("/eco"), R"({"a":1})", "segredo-1", resposta), 200);
  ASSERT_EQ(HttpGetJson(Url("/ok"), "segredo-1", resposta), 200);
  ASSERT_EQ(HttpGetArquivo(Url("/ok"), "segredo-1", pasta.Arquivo("x")), 200);
  ASSERT_EQ(HttpPostJson(Url("/eco"), "{}", "", resposta), 200);
  ASSERT_EQ(HttpGetJson(Url("/ok"), "", resposta), 200);
  ASSERT_EQ(HttpGetArquivo(Url("/ok"), "", pasta.Arquivo("x")), 200);

  const auto p = servidor.Pedidos();
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p[0].metodo, "POST");
  EXPECT_EQ(p[0].corpo, R"({"a":1})");
  EXPECT_EQ(p[0].Valores("Content-Type"), std::vector<std::string>{"application/json"});
  EXPECT_TRUE(p[0].Valores("Expect").empty());
  for (size_t i : {1u, 2u}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(p[i].metodo, "GET");
    EXPECT_TRUE(p[i].Valores("Content-Type").empty());
  }
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(p[i].Valores("Authorization"), std::vector<std::string>{"Bearer segredo-1"});
  // An empty token sends no Authorization header at all.
  for (size_t i = 3; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(p[i].Valores("Authorization").empty());
  }
  EXPECT_EQ(p[3].Valores("Content-Type"), std::vector<std::string>{"application/json"});
}

TEST_F(Http, TokenComQuebraDeLinhaNaoViraOutroCabecalho) {
  std::string resposta;
  EXPECT_EQ(HttpPostJson(Url("/eco"), "{}", "tok\r\nX-Injetado: sim", resposta), -1);
  EXPECT_EQ(resposta, "token invalido: contem caractere de controle");
  EXPECT_EQ(HttpGetArquivo(Url("/ok"), "tok\n", pasta.Arquivo("x")), -1);
  EXPECT_TRUE(servidor.Pedidos().empty());
}

TEST_F(Http, TextoAcentuadoSaiComoEscapesUnicode) {
  Json corpo;
  corpo["nome"] = "Ação é \u20ac\nfim";
  std::string resposta;
  ASSERT_EQ(HttpPostJson(Url("/eco"), SerializarJson(corpo), "t", resposta), 200);
  const auto p = servidor.Pedidos();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].corpo, R"({"nome":"A\u00e7\u00e3o \u00e9 \u20ac\u000afim"})");
  EXPECT_EQ(LerDocumentoJson(resposta).value()["nome"], "Ação é \u20ac\nfim");
}

TEST_F(Http, CorpoLatin1LidoComoUtf8SemQuebrarNadaDepois) {
  std::string resposta;
  ASSERT_EQ(HttpGetJson(Url("/latin1"), "t", resposta), 200);
  // The Latin-1 byte is not UTF-8: it reads as U+FFFD, and the text stays valid UTF-8.
  EXPECT_EQ(resposta, "{\"nome\":\"caf\xEF\xBF\xBD\"}");
  EXPECT_TRUE(EhUtf8Valido(resposta));
  auto doc = LerDocumentoJson(resposta);
  ASSERT_TRUE(doc);
  EXPECT_EQ(JsonTexto(*doc, "nome", ""), "caf\xEF\xBF\xBD");
  EXPECT_EQ(SerializarJson(*doc), R"({"nome":"caf\ufffd"})");

  // The file gets the bytes as sent.
  ASSERT_EQ(HttpGetArquivo(Url("/latin1"), "t", pasta.Arquivo("l")), 200);
  EXPECT_EQ(teste::LerArquivo(pasta.Arquivo("l")), "{\"nome\":\"caf\xe9\"}");
}

TEST_F(Http, ArquivoRecebeOCorpoQualquerQueSejaOStatus) {
  const std::string alvo = pasta.Arquivo("baixado.bin");
  std::ofstream(alvo) << std::string(5000, 'x');  // an older, longer file is emptied first
  EXPECT_EQ(HttpGetArquivo(Url("/404"), "t", alvo), 404);
  EXPECT_EQ(teste::LerArquivo(alvo), kPagina404);

  // Nothing listens: the file is still created (empty) and the status is -1.
  const std::string vazio = pasta.Arquivo("vazio.bin");
  EXPECT_EQ(HttpGetArquivo("http://127.0.0.1:" + std::to_string(teste::PortaFechada()) + "/x", "t", vazio), -1);
  EXPECT_TRUE(fs::exists(vazio));
  EXPECT_EQ(fs::file_size(vazio), 0u);

  // A file that cannot be created is the caller's failure, raised before any request.
  EXPECT_THROW(HttpGetArquivo(Url("/ok"), "t", pasta.Arquivo("nao/existe/x.bin")), EErroSO);
  EXPECT_EQ(servidor.Pedidos().size(), 1u);
}

TEST_F(Http, ArquivoQueNaoPodeSerGravadoDaMenosUm) {
  // /dev/full accepts the open and fails every write.
  EXPECT_EQ(HttpGetArquivo(Url("/404"), "t", "/dev/full"), -1);
}

TEST(HttpFalhas, PortaFechadaDaMenosUmComAMensagem) {
  const std::string url = "http://127.0.0.1:" + std::to_string(teste::PortaFechada()) + "/api";
  std::string resposta;
  EXPECT_EQ(HttpPostJson(url, "{}", "t", resposta), -1);
  EXPECT_NE(resposta.find("Failed to connect to 127.0.0.1 port"), std::string::npos) << resposta;
  EXPECT_EQ(HttpGetJson(url, "t", resposta), -1);
  EXPECT_NE(resposta.find("Failed to connect"), std::string::npos) << resposta;
  EXPECT_EQ(HttpGetJson("nao e uma url", "t", resposta), -1);
  EXPECT_FALSE(resposta.empty());
  EXPECT_EQ(HttpGetJson("file:///etc/hostname", "t", resposta), -1);
  EXPECT_FALSE(resposta.empty());
}

TEST(HttpFalhas, ServidorQueAceitaENaoResponde) {
  TemposCurtos tempos(10'000, 400);
  teste::PortaMuda muda;
  const std::string url = "http://127.0.0.1:" + std::to_string(muda.Porta()) + "/api";
  std::string resposta;
  EXPECT_EQ(HttpPostJson(url, R"({"a":1})", "t", resposta), -1);
  EXPECT_EQ(resposta, "tempo de resposta esgotado: 400 ms sem dados do servidor");
  EXPECT_EQ(HttpGetJson(url, "t", resposta), -1);
  EXPECT_EQ(resposta, "tempo de resposta esgotado: 400 ms sem dados do servidor");
}

TEST(HttpFalhas, ConexaoQueNaoSeCompleta) {
  TemposCurtos tempos(300, 60'000);
  teste::PortaMuda muda(0);
  muda.Lotar();  // the accept queue is full: the next SYN is dropped
  std::string resposta;
  EXPECT_EQ(HttpGetJson("http://127.0.0.1:" + std::to_string(muda.Porta()) + "/api", "t", resposta), -1);
  // curl words it "Timeout was reached" or "Connection timeout after N ms", depending on timing.
  EXPECT_TRUE(std::regex_search(resposta, std::regex("timeout|timed out", std::regex::icase))) << resposta;
}

TEST_F(Http, TransferenciaLentaQueAndaNaoECortada) {
  TemposCurtos tempos(10'000, 400);
  const std::string alvo = pasta.Arquivo("lento.bin");
  EXPECT_EQ(HttpGetArquivo(Url("/lento"), "t", alvo), 200);
  EXPECT_EQ(teste::LerArquivo(alvo), "parte1;parte2;parte3;parte4;parte5;parte6;");
  std::string resposta;
  EXPECT_EQ(HttpGetJson(Url("/lento"), "t", resposta), 200);
  EXPECT_EQ(resposta, "parte1;parte2;parte3;parte4;parte5;parte6;");
}

TEST(HttpFalhas, ServidorSoComTls10E11Recusado) {
  teste::ServidorHttp antigo(Responder, teste::TlsServidor::ateTls11);
  std::string resposta;
  EXPECT_EQ(HttpGetJson(antigo.Url() + "/ok", "t", resposta), -1);
  // Refused at the protocol version, before any certificate check.
  EXPECT_NE(resposta.find("protocol"), std::string::npos) << resposta;
  EXPECT_EQ(resposta.find("certificate"), std::string::npos) << resposta;
  EXPECT_TRUE(antigo.Pedidos().empty());
}

TEST_F(Http, VariasLinhasAoMesmoTempo) {
  std::vector<std::thread> linhas;
  std::atomic<int> certos{0};
  for (int t = 0; t < 4; ++t)
    linhas.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        std::string r;
        if (HttpPostJson(Url("/eco"), "{\"i\":" + std::to_string(i) + "}", "t", r) == 200 &&
            r == "{\"i\":" + std::to_string(i) + "}")
          ++certos;
      }
    });
  for (auto& l : linhas) l.join();
  EXPECT_EQ(certos, 20);
}

TEST(LeitoresJson, CaminhosComPontoEValores) {
  const Json doc = Json::parse(R"({"data":{"ativo":null,"n":7,"neg":-3,"s":"x","f":1.5,"b":true,
    "grande":5000000000,"o":{"a":[1,"\u00e9"]},"nivel":{"dois":{"tres":"fundo"}}}})");
  struct CasoTexto {
    const char* caminho;
    std::string esperado;
  };
  const CasoTexto textos[] = {
      {"data.ativo", ""},
      {"data.n", "7"},
      {"data.neg", "-3"},
      {"data.s", "x"},
      {"data.b", "true"},
      {"data.o", R"({"a":[1,"\u00e9"]})"},
      {"data.nivel.dois.tres", "fundo"},
      {"data.falta", ""},
      {"data.s.x", ""},
      {"falta.n", ""},
  };
  for (const auto& c : textos) {
    SCOPED_TRACE(c.caminho);
    EXPECT_EQ(JsonTexto(doc, c.caminho, ""), c.esperado);
  }
  EXPECT_EQ(JsonTexto(doc, "data.ativo", "padrao"), "padrao");
  EXPECT_EQ(JsonTexto(doc, "data.falta", "padrao"), "padrao");
  EXPECT_EQ(JsonTextoObrigatorio(doc, "data.n"), "7");
  EXPECT_EQ(JsonTextoObrigatorio(doc, "data.s"), "x");
  EXPECT_EQ(JsonInteiro(doc, "data.n"), 7);
  EXPECT_EQ(JsonInteiro(doc, "data.neg"), -3);
  EXPECT_TRUE(JsonBooleano(doc, "data.b"));
  EXPECT_EQ(JsonInteiro(Json::parse(R"({"m":-2147483648,"x":2147483647})"), "m"), INT32_MIN);
  EXPECT_EQ(JsonInteiro(Json::parse(R"({"m":-2147483648,"x":2147483647})"), "x"), INT32_MAX);

  struct CasoErro {
    std::function<void()> chamada;
    std::string mensagem;
  };
  const CasoErro erros[] = {
      {[&] { JsonTextoObrigatorio(doc, "data.ativo"); }, R"(membro "data.ativo" nulo no JSON)"},
      {[&] { JsonTextoObrigatorio(doc, "data.falta"); }, R"(membro "data.falta" ausente no JSON)"},
      {[&] { JsonInteiro(doc, "data.ativo"); }, R"(membro "data.ativo" nulo no JSON)"},
      {[&] { JsonInteiro(doc, "data.falta"); }, R"(membro "data.falta" ausente no JSON)"},
      {[&] { JsonInteiro(doc, "data.f"); }, R"(membro "data.f" nao e um inteiro de 32 bits: 1.5)"},
      {[&] { JsonInteiro(doc, "data.s"); }, R"(membro "data.s" nao e um inteiro de 32 bits: "x")"},
      {[&] { JsonInteiro(doc, "data.grande"); }, R"(membro "data.grande" nao e um inteiro de 32 bits: 5000000000)"},
      {[&] { JsonInteiro(doc, "data.b"); }, R"(membro "data.b" nao e um inteiro de 32 bits: true)"},
      {[&] { JsonBooleano(doc, "data.n"); }, R"(membro "data.n" nao e booleano: 7)"},
      {[&] { JsonBooleano(doc, "data.s"); }, R"(membro "data.s" nao e booleano: "x")"},
      {[&] { JsonBooleano(doc, "data.ativo"); }, R"(membro "data.ativo" nulo no JSON)"},
      {[&] { JsonBooleano(doc, "data.s.b"); }, R"(membro "data.s.b" ausente no JSON)"},
  };
  for (const auto& c : erros) {
    SCOPED_TRACE(c.mensagem);
    try {
      c.chamada();
      ADD_FAILURE() << "nao levantou";
    } catch (const EErroJson& e) {
      EXPECT_EQ(e.what(), c.mensagem);
      EXPECT_EQ(NomeTipo(e), "EErroJson");
    }
  }
}

TEST(LeitoresJson, DocumentoDeUmaResposta) {
  for (const char* texto : {"", "nao e json", "{\"a\":", "<html></html>"}) {
    SCOPED_TRACE(texto);
    EXPECT_FALSE(LerDocumentoJson(texto));
  }
  EXPECT_EQ(LerDocumentoJson("\xEF\xBB\xBF{\"a\":1}").value()["a"], 1);
  EXPECT_EQ(TextoErroHttp(401, "negado"), "HTTP 401: negado");
  EXPECT_EQ(TextoErroHttp(-1, "Failed to connect"), "HTTP -1: Failed to connect");
}

}  // namespace
}  // namespace tw
