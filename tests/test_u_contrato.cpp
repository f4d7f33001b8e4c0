// The server paths, and the values that travel inside them.
#include <gtest/gtest.h>

#include "servidor_http.h"
#include "u_contrato.h"
#include "u_http.h"

namespace tw {
namespace {
using namespace contrato;

TEST(Contrato, CaminhosComValores) {
  const std::pair<std::string, std::string> casos[] = {
      {ComandoResultado(42), "/api/v1/agentes/comando/42/resultado"},
      {ComandoProgresso(-1), "/api/v1/agentes/comando/-1/progresso"},
      {RestoreLote("CLIENTE", "0"), "/api/v1/sync/restore?tabela=CLIENTE&depois=0"},
      {RestoreLote("MEU_PEDIDO", "25B164BA-6A50"), "/api/v1/sync/restore?tabela=MEU_PEDIDO&depois=25B164BA-6A50"},
      // A name with a space, '&' or '=' stays one value; non-ASCII letters go as UTF-8 bytes.
      {RestoreLote("A B&x=1", "7#8"), "/api/v1/sync/restore?tabela=A%20B%26x%3D1&depois=7%238"},
      {RestoreLote("AÇÃO", ""), "/api/v1/sync/restore?tabela=A%C3%87%C3%83O&depois="},
      {UpdateCheck("0.2.25"), "/update/check?componente=servico&versao=0.2.25"},
      {UpdateDownload(9), "/update/download/9"},
      {Url("https://api.exemplo", kHeartbeat), "https://api.exemplo/api/v1/agentes/heartbeat"},
  };
  for (const auto& [obtido, esperado] : casos) {
    SCOPED_TRACE(esperado);
    EXPECT_EQ(obtido, esperado);
  }
}

TEST(Contrato, ValorCodificadoChegaInteiroAoServidor) {
  teste::ServidorHttp servidor([&](const teste::PedidoHttp&) { return teste::Resposta(200, "{}"); });
  std::string resposta;
  ASSERT_EQ(HttpGetJson(Url(servidor.Url(), RestoreLote("A B&depois=9", "3")), "t", resposta), 200);
  const auto p = servidor.Pedidos();
  ASSERT_EQ(p.size(), 1u);
  const std::vector<std::pair<std::string, std::string>> esperados = {{"depois", "3"}, {"tabela", "A B&depois=9"}};
  EXPECT_EQ(p[0].parametros, esperados);
}

}  // namespace
}  // namespace tw
