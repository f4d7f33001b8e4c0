#pragma once
// The HTTP JSON client every call to the server goes through, and the readers of JSON answers.
// A transport failure never raises: it comes back as status -1 with the failure's message.
// Each request uses a client of its own, so the operations may be called from any thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "u_json.h"

namespace tw {

// A JSON answer lacks a member the caller needs, or holds a value of the wrong kind.
class EErroJson : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Client settings. A connection that is not up (TLS handshake included) within kConexaoMs fails;
// a transfer during which no byte moves for kRespostaMs fails (a long transfer that keeps moving
// is never cut short).
inline constexpr int32_t kConexaoMs = 10'000;
inline constexpr int32_t kRespostaMs = 120'000;

// Only for tests: replaces both timeouts for every request started afterwards in this process;
// RestaurarTemposHttp brings back kConexaoMs and kRespostaMs.
void DefinirTemposHttp(int32_t conexaoMs, int32_t respostaMs);
void RestaurarTemposHttp();

// One libcurl handle with the client settings (timeouts, TLS 1.2 and 1.3 only), released on
// destruction. Raises EErroSO when the handle cannot be created.
struct ClienteHttp;
struct LiberarClienteHttp {
  void operator()(ClienteHttp* c) const noexcept;
};
using ClienteHttpPtr = std::unique_ptr<ClienteHttp, LiberarClienteHttp>;
ClienteHttpPtr NovoClienteHttp();

// POST of body (UTF-8) with "Content-Type: application/json" and, when token is not empty,
// "Authorization: Bearer <token>". Returns the HTTP status, whatever it is, with the response
// content in resposta (decoded as UTF-8 whatever charset it declares; each invalid byte becomes
// U+FFFD), or -1 with the failure's message.
int32_t HttpPostJson(const std::string& url, const std::string& corpo, const std::string& token, std::string& resposta);

// GET as HttpPostJson, without body and without Content-Type.
int32_t HttpGetJson(const std::string& url, const std::string& token, std::string& resposta);

// GET whose content goes into the file at caminho, whatever the status. The file is created, or
// emptied, before the request is sent; raises EErroSO when that fails. Returns the HTTP status, or
// -1 on a transport failure or when the file cannot be written (what arrived stays in the file).
int32_t HttpGetArquivo(const std::string& url, const std::string& token, const std::string& caminho);

// "HTTP <status>: <resposta>", the error text of a call that did not answer 200.
std::string TextoErroHttp(int32_t status, const std::string& resposta);

// The document in a response text; nullopt when the text is not JSON.
std::optional<Json> LerDocumentoJson(const std::string& texto);

// The value at a dotted path ("data.ativo": member "ativo" of member "data"); nullptr when a member
// on the way is missing or is not an object. An empty path gives the value itself.
const Json* JsonBuscar(const Json& valor, std::string_view caminho);

// Text at the path: a string its text, a number its text, true/false as such, an object or array
// its compact JSON text; padrao when the path is missing or holds null.
std::string JsonTexto(const Json& valor, std::string_view caminho, const std::string& padrao);

// As JsonTexto; raises EErroJson when the path is missing or holds null.
std::string JsonTextoObrigatorio(const Json& valor, std::string_view caminho);

// The integer at the path; raises EErroJson when the path is missing, holds null, or holds
// anything but an integer that fits 32 bits.
int32_t JsonInteiro(const Json& valor, std::string_view caminho);

// The boolean at the path; raises EErroJson when the path is missing or holds anything but
// true or false.
bool JsonBooleano(const Json& valor, std::string_view caminho);

}  // namespace tw
