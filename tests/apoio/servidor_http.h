#pragma once
// HTTP servers for the tests, on 127.0.0.1 only: a real HTTP (or TLS 1.0/1.1-only HTTPS) server
// whose answers the test decides, a port that accepts connections and never answers, and a port
// where nothing listens.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tw::teste {

// One request as the server received it.
struct PedidoHttp {
  std::string metodo;
  std::string alvo;  // path with its query, as sent
  std::string corpo;
  std::vector<std::pair<std::string, std::string>> cabecalhos;
  std::vector<std::pair<std::string, std::string>> parametros;  // of the query, decoded
  // Values of the header with this name (without regard to case), in the order received.
  std::vector<std::string> Valores(const std::string& nome) const;
  // The first value, or empty text.
  std::string Cabecalho(const std::string& nome) const;
};

struct RespostaHttp {
  int status = 200;
  std::string corpo;
  std::string tipo = "application/json";
  // When not empty, the content goes out as these parts instead of corpo, chunked, each one after
  // a pause of intervaloMs: a slow transfer that keeps moving.
  std::vector<std::string> partes;
  int intervaloMs = 0;
};

// A plain answer: status, content and its type.
RespostaHttp Resposta(int status, std::string corpo, std::string tipo = "application/json");

using TratadorHttp = std::function<RespostaHttp(const PedidoHttp&)>;

enum class TlsServidor { nenhum, ateTls11 };

// A cpp-httplib server on 127.0.0.1 that answers every GET and POST with the handler, listening on
// its own thread from construction until destruction (stopped and joined). porta 0 picks a free
// port. TlsServidor::ateTls11 serves HTTPS with a fresh self-signed certificate and offers
// TLS 1.0 and 1.1 only. Raises std::runtime_error when the port cannot be bound.
class ServidorHttp {
 public:
  explicit ServidorHttp(TratadorHttp tratador, TlsServidor tls = TlsServidor::nenhum, int porta = 0);
  ~ServidorHttp();
  ServidorHttp(const ServidorHttp&) = delete;
  ServidorHttp& operator=(const ServidorHttp&) = delete;

  int Porta() const;
  // "http://127.0.0.1:<port>" (https for TLS).
  std::string Url() const;
  // The requests received so far, in order.
  std::vector<PedidoHttp> Pedidos() const;
  // Stops listening and joins the thread; the destructor does it too.
  void Parar();

 private:
  struct Estado;
  std::unique_ptr<Estado> estado_;
};

// A listening socket on 127.0.0.1 that never accepts: the kernel completes connections up to the
// backlog, requests go into its buffers, and no answer ever comes. With fila 0 and Lotar(), the
// queue is full and later connection attempts hang (their SYN is dropped).
class PortaMuda {
 public:
  explicit PortaMuda(int fila = 16);
  ~PortaMuda();
  PortaMuda(const PortaMuda&) = delete;
  PortaMuda& operator=(const PortaMuda&) = delete;
  int Porta() const { return porta_; }
  void Lotar();

 private:
  int fd_ = -1;
  int porta_ = 0;
  std::vector<int> clientes_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int PortaFechada();

}  // namespace tw::teste
