#include "servidor_http.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "u_texto.h"

namespace tw::teste {

std::vector<std::string> PedidoHttp::Valores(const std::string& nome) const {
  std::vector<std::string> r;
  for (const auto& [n, v] : cabecalhos)
    if (IguaisSemCaixa(n, nome)) r.push_back(v);
  return r;
}

std::string PedidoHttp::Cabecalho(const std::string& nome) const {
  auto v = Valores(nome);
  return v.empty() ? std::string() : v.front();
}

RespostaHttp Resposta(int status, std::string corpo, std::string tipo) {
  RespostaHttp r;
  r.status = status;
  r.corpo = std::move(corpo);
  r.tipo = std::move(tipo);
  return r;
}

namespace {

using Chave = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificado = std::unique_ptr<X509, decltype(&X509_free)>;

void Exigir(bool ok, const char* oque) {
  if (!ok) throw std::runtime_error(std::string("servidor de teste: ") + oque + " falhou");
}

// A P-256 key and a self-signed certificate for 127.0.0.1, valid for one hour.
std::pair<Chave, Certificado> CertificadoDescartavel() {
  Chave chave(EVP_EC_gen("P-256"), &EVP_PKEY_free);
  Exigir(chave != nullptr, "EVP_EC_gen");
  Certificado cert(X509_new(), &X509_free);
  Exigir(cert != nullptr, "X509_new");
  Exigir(X509_set_version(cert.get(), 2) == 1, "X509_set_version");
  Exigir(ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1) == 1, "serial");
  Exigir(X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60) != nullptr, "notBefore");
  Exigir(X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600) != nullptr, "notAfter");
  Exigir(X509_set_pubkey(cert.get(), chave.get()) == 1, "X509_set_pubkey");
  X509_NAME* nome = X509_get_subject_name(cert.get());
  static const unsigned char kCn[] = "127.0.0.1";
  Exigir(X509_NAME_add_entry_by_txt(nome, "CN", MBSTRING_ASC, kCn, -1, -1, 0) == 1, "CN");
  Exigir(X509_set_issuer_name(cert.get(), nome) == 1, "X509_set_issuer_name");
  Exigir(X509_sign(cert.get(), chave.get(), EVP_sha256()) > 0, "X509_sign");
  return {std::move(chave), std::move(cert)};
}

std::unique_ptr<httplib::Server> NovoServidor(TlsServidor tls) {
  if (tls == TlsServidor::nenhum) return std::make_unique<httplib::Server>();
  auto [chave, cert] = CertificadoDescartavel();
  // The context takes its own references to the certificate and the key.
  auto s = std::make_unique<httplib::SSLServer>(cert.get(), chave.get());
  Exigir(s->is_valid(), "SSLServer");
  SSL_CTX* ctx = s->ssl_context();
  // OpenSSL 3 refuses TLS 1.0/1.1 above security level 0.
  SSL_CTX_set_security_level(ctx, 0);
  Exigir(SSL_CTX_set_cipher_list(ctx, "DEFAULT:@SECLEVEL=0") == 1, "SSL_CTX_set_cipher_list");
  Exigir(SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION) == 1, "min_proto_version");
  Exigir(SSL_CTX_set_max_proto_version(ctx, TLS1_1_VERSION) == 1, "max_proto_version");
  return s;
}

PedidoHttp ComoPedido(const httplib::Request& req) {
  PedidoHttp p;
  p.metodo = req.method;
  p.alvo = req.target;
  p.corpo = req.body;
  for (const auto& [n, v] : req.headers) p.cabecalhos.emplace_back(n, v);
  for (const auto& [n, v] : req.params) p.parametros.emplace_back(n, v);
  return p;
}

}  // namespace

struct ServidorHttp::Estado {
  TratadorHttp tratador;
  bool tls = false;
  std::unique_ptr<httplib::Server> servidor;
  std::thread linha;
  int porta = 0;
  mutable std::mutex trava;
  std::vector<PedidoHttp> pedidos;

  void Atender(const httplib::Request& req, httplib::Response& res) {
    PedidoHttp p = ComoPedido(req);
    {
      std::lock_guard<std::mutex> g(trava);
      pedidos.push_back(p);
    }
    RespostaHttp r = tratador(p);
    res.status = r.status;
    if (r.partes.empty()) {
      res.set_content(r.corpo, r.tipo.c_str());
      return;
    }
    auto proxima = std::make_shared<size_t>(0);
    res.set_chunked_content_provider(
        r.tipo, [partes = std::move(r.partes), intervalo = r.intervaloMs, proxima](size_t, httplib::DataSink& sink) {
          if (*proxima == partes.size()) {
            sink.done();
            return true;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(intervalo));
          const std::string& parte = partes[(*proxima)++];
          return sink.write(parte.data(), parte.size());
        });
  }
};

ServidorHttp::ServidorHttp(TratadorHttp tratador, TlsServidor tls, int porta) : estado_(std::make_unique<Estado>()) {
  Estado& e = *estado_;
  e.tratador = std::move(tratador);
  e.tls = tls != TlsServidor::nenhum;
  e.servidor = NovoServidor(tls);
  auto atender = [&e](const httplib::Request& req, httplib::Response& res) { e.Atender(req, res); };
  e.servidor->Get(".*", atender);
  e.servidor->Post(".*", atender);
  if (porta == 0) {
    e.porta = e.servidor->bind_to_any_port("127.0.0.1");
  } else {
    e.porta = e.servidor->bind_to_port("127.0.0.1", porta) ? porta : -1;
  }
  if (e.porta <= 0) throw std::runtime_error("servidor de teste: porta " + std::to_string(porta) + " indisponivel");
  e.linha = std::thread([&e] { e.servidor->listen_after_bind(); });
  // 0.11 has no wait_until_ready(): poll, bounded.
  for (int i = 0; i < 500 && !e.servidor->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (!e.servidor->is_running()) {
    Parar();
    throw std::runtime_error("servidor de teste nao iniciou");
  }
}

ServidorHttp::~ServidorHttp() { Parar(); }

void ServidorHttp::Parar() {
  if (!estado_->linha.joinable()) return;
  estado_->servidor->stop();
  estado_->linha.join();
}

int ServidorHttp::Porta() const { return estado_->porta; }

std::string ServidorHttp::Url() const {
  return std::string(estado_->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(estado_->porta);
}

std::vector<PedidoHttp> ServidorHttp::Pedidos() const {
  std::lock_guard<std::mutex> g(estado_->trava);
  return estado_->pedidos;
}

namespace {

// A TCP socket bound to 127.0.0.1 on a free port; returns the descriptor and sets the port.
int SocketLocal(int& porta) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t n = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0) {
    const int erro = errno;
    ::close(fd);
    throw std::runtime_error(std::string("bind: ") + std::strerror(erro));
  }
  porta = ntohs(a.sin_port);
  return fd;
}

}  // namespace

PortaMuda::PortaMuda(int fila) {
  fd_ = SocketLocal(porta_);
  if (::listen(fd_, fila) != 0) {
    const int erro = errno;
    ::close(fd_);
    throw std::runtime_error(std::string("listen: ") + std::strerror(erro));
  }
}

PortaMuda::~PortaMuda() {
  for (int c : clientes_) ::close(c);
  ::close(fd_);
}

void PortaMuda::Lotar() {
  const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (c < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  clientes_.push_back(c);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(porta_));
  if (::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
}

int PortaFechada() {
  int porta = 0;
  ::close(SocketLocal(porta));
  return porta;
}

}  // namespace tw::teste
