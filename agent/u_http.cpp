#include "u_http.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>

#include "u_charset.h"
#include "u_erros.h"
#include "u_texto.h"

namespace tw {

using Relogio = std::chrono::steady_clock;

struct ClienteHttp {
  CURL* curl = nullptr;
  char erro[CURL_ERROR_SIZE] = {};
  int32_t respostaMs = kRespostaMs;
  // Idle watch: armed once the connection is up, pushed forward whenever a byte moves.
  bool conectado = false;
  Relogio::time_point ultimoMovimento{};
  curl_off_t ultimoTotal = 0;
  bool ociosoEsgotado = false;
  // Where the content goes: the file of HttpGetArquivo (with its first write failure), or a text.
  std::string* texto = nullptr;
  std::FILE* arquivo = nullptr;
  std::string falhaArquivo;
};

void LiberarClienteHttp::operator()(ClienteHttp* c) const noexcept {
  if (!c) return;
  curl_easy_cleanup(c->curl);
  delete c;
}

namespace {

std::atomic<int32_t> g_conexaoMs{kConexaoMs};
std::atomic<int32_t> g_respostaMs{kRespostaMs};

using ListaCabecalhos = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

void IniciarCurlUmaVez() {
  static const CURLcode r = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (r != CURLE_OK)
    throw EErroSO(static_cast<int>(r),
                  std::string("nao foi possivel iniciar o cliente HTTP: ") + curl_easy_strerror(r));
}

void Opcao(CURL* curl, CURLoption opcao, auto valor) {
  const CURLcode r = curl_easy_setopt(curl, opcao, valor);
  if (r != CURLE_OK)
    throw EErroSO(static_cast<int>(r), std::string("opcao do cliente HTTP recusada: ") + curl_easy_strerror(r));
}

void Movimento(ClienteHttp& c) { c.ultimoMovimento = Relogio::now(); }

// Called by libcurl once the connection is up, before the request goes out.
int AoConectar(void* dados, char*, char*, int, int) {
  auto& c = *static_cast<ClienteHttp*>(dados);
  c.conectado = true;
  Movimento(c);
  return CURL_PREREQFUNC_OK;
}

// Called often while bytes move and about once a second while they do not.
int AoProgresso(void* dados, curl_off_t, curl_off_t recebidos, curl_off_t, curl_off_t enviados) {
  auto& c = *static_cast<ClienteHttp*>(dados);
  if (!c.conectado) return 0;  // the connection timeout governs until then
  const curl_off_t total = recebidos + enviados;
  if (total != c.ultimoTotal) {
    c.ultimoTotal = total;
    Movimento(c);
    return 0;
  }
  if (Relogio::now() - c.ultimoMovimento >= std::chrono::milliseconds(c.respostaMs)) {
    c.ociosoEsgotado = true;
    return 1;
  }
  return 0;
}

// Response headers are an answer too, though libcurl does not count them as received bytes.
size_t AoCabecalho(char*, size_t tamanho, size_t n, void* dados) {
  Movimento(*static_cast<ClienteHttp*>(dados));
  return tamanho * n;
}

// The content goes to the file of HttpGetArquivo, or else to the response text.
size_t AoReceber(char* bytes, size_t tamanho, size_t n, void* dados) {
  auto& c = *static_cast<ClienteHttp*>(dados);
  const size_t total = tamanho * n;
  if (!c.arquivo) {
    c.texto->append(bytes, total);
    return total;
  }
  if (std::fwrite(bytes, 1, total, c.arquivo) != total) {
    const int erro = errno;
    c.falhaArquivo = std::strerror(erro);
    return 0;  // libcurl ends the transfer with a write error
  }
  return total;
}

bool TemCaractereDeControle(std::string_view s) {
  for (char ch : s) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x20 || b == 0x7f) return true;
  }
  return false;
}

std::string ComoUtf8(std::string bytes) { return EhUtf8Valido(bytes) ? bytes : SanearUtf8(bytes); }

// Sends one request on a client of its own. corpo == nullptr makes a GET. Returns the HTTP status,
// or -1 with the failure's message in falha.
int32_t Enviar(const std::string& url, const std::string& token, const std::string* corpo, std::string* texto,
               std::FILE* arquivo, std::string& falha) {
  // The token becomes a header line: a line break in it would start another header.
  if (TemCaractereDeControle(token)) {
    falha = "token invalido: contem caractere de controle";
    return -1;
  }
  try {
    ClienteHttpPtr cliente = NovoClienteHttp();
    ClienteHttp& c = *cliente;
    CURL* curl = c.curl;
    c.texto = texto;
    c.arquivo = arquivo;

    ListaCabecalhos cabecalhos(nullptr, &curl_slist_free_all);
    auto acrescentar = [&](const std::string& linha) {
      curl_slist* nova = curl_slist_append(cabecalhos.get(), linha.c_str());
      if (!nova) throw EErroSO(ENOMEM, "sem memoria para os cabecalhos HTTP");
      cabecalhos.release();
      cabecalhos.reset(nova);
    };
    if (corpo) {
      acrescentar("Content-Type: application/json");
      // No "Expect: 100-continue" on large bodies: it only adds a round trip.
      acrescentar("Expect:");
    }
    if (!token.empty()) acrescentar("Authorization: Bearer " + token);

    Opcao(curl, CURLOPT_URL, url.c_str());
    if (cabecalhos) Opcao(curl, CURLOPT_HTTPHEADER, cabecalhos.get());
    if (corpo) {
      Opcao(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(corpo->size()));
      Opcao(curl, CURLOPT_POSTFIELDS, corpo->c_str());
    } else {
      Opcao(curl, CURLOPT_HTTPGET, 1L);
    }
    Opcao(curl, CURLOPT_WRITEFUNCTION, &AoReceber);
    Opcao(curl, CURLOPT_WRITEDATA, &c);

    const CURLcode r = curl_easy_perform(curl);
    if (r != CURLE_OK) {
      if (c.ociosoEsgotado)
        falha = "tempo de resposta esgotado: " + std::to_string(c.respostaMs) + " ms sem dados do servidor";
      else if (!c.falhaArquivo.empty())
        falha = "falha ao gravar a resposta no arquivo: " + c.falhaArquivo;
      else
        falha = ComoUtf8(c.erro[0] ? std::string(c.erro) : std::string(curl_easy_strerror(r)));
      return -1;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return static_cast<int32_t>(status);
  } catch (const std::exception& e) {
    falha = e.what();
    return -1;
  }
}

}  // namespace

void DefinirTemposHttp(int32_t conexaoMs, int32_t respostaMs) {
  g_conexaoMs = conexaoMs;
  g_respostaMs = respostaMs;
}

void RestaurarTemposHttp() { DefinirTemposHttp(kConexaoMs, kRespostaMs); }

ClienteHttpPtr NovoClienteHttp() {
  IniciarCurlUmaVez();
  ClienteHttpPtr c(new ClienteHttp);
  c->curl = curl_easy_init();
  if (!c->curl) throw EErroSO(ENOMEM, "nao foi possivel criar o cliente HTTP");
  c->respostaMs = g_respostaMs;
  CURL* curl = c->curl;
  Opcao(curl, CURLOPT_ERRORBUFFER, c->erro);
  Opcao(curl, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM for timeouts: requests may run on any thread
  Opcao(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  Opcao(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(g_conexaoMs.load()));
  constexpr long kTlsMinimo = CURL_SSLVERSION_TLSv1_2;
  constexpr long kTlsMaximo = CURL_SSLVERSION_MAX_TLSv1_3;
  Opcao(curl, CURLOPT_SSLVERSION, kTlsMinimo | kTlsMaximo);
  Opcao(curl, CURLOPT_PREREQFUNCTION, &AoConectar);
  Opcao(curl, CURLOPT_PREREQDATA, c.get());
  Opcao(curl, CURLOPT_NOPROGRESS, 0L);
  Opcao(curl, CURLOPT_XFERINFOFUNCTION, &AoProgresso);
  Opcao(curl, CURLOPT_XFERINFODATA, c.get());
  Opcao(curl, CURLOPT_HEADERFUNCTION, &AoCabecalho);
  Opcao(curl, CURLOPT_HEADERDATA, c.get());
  return c;
}

int32_t HttpPostJson(const std::string& url, const std::string& corpo, const std::string& token,
                     std::string& resposta) {
  resposta.clear();
  std::string falha;
  const int32_t status = Enviar(url, token, &corpo, &resposta, nullptr, falha);
  resposta = status == -1 ? std::move(falha) : ComoUtf8(std::move(resposta));
  return status;
}

int32_t HttpGetJson(const std::string& url, const std::string& token, std::string& resposta) {
  resposta.clear();
  std::string falha;
  const int32_t status = Enviar(url, token, nullptr, &resposta, nullptr, falha);
  resposta = status == -1 ? std::move(falha) : ComoUtf8(std::move(resposta));
  return status;
}

int32_t HttpGetArquivo(const std::string& url, const std::string& token, const std::string& caminho) {
  std::unique_ptr<std::FILE, decltype(&std::fclose)> arquivo(std::fopen(caminho.c_str(), "wb"), &std::fclose);
  if (!arquivo) {
    const int erro = errno;
    throw EErroSO(erro, "nao foi possivel criar " + caminho + ": " + std::strerror(erro));
  }
  std::string falha;
  int32_t status = Enviar(url, token, nullptr, nullptr, arquivo.get(), falha);
  if (std::fclose(arquivo.release()) != 0) status = -1;
  return status;
}

std::string TextoErroHttp(int32_t status, const std::string& resposta) {
  return "HTTP " + std::to_string(status) + ": " + resposta;
}

std::optional<Json> LerDocumentoJson(const std::string& texto) {
  Json doc = Json::parse(texto, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) return std::nullopt;
  return doc;
}

const Json* JsonBuscar(const Json& valor, std::string_view caminho) {
  const Json* atual = &valor;
  if (caminho.empty()) return atual;
  for (const std::string& nome : Dividir(caminho, '.')) {
    if (!atual->is_object()) return nullptr;
    auto it = atual->find(nome);
    if (it == atual->end()) return nullptr;
    atual = &*it;
  }
  return atual;
}

namespace {

// The value at the path, neither missing nor null; raises EErroJson otherwise.
const Json& Exigir(const Json& valor, std::string_view caminho) {
  const Json* v = JsonBuscar(valor, caminho);
  if (!v) throw EErroJson("membro \"" + std::string(caminho) + "\" ausente no JSON");
  if (v->is_null()) throw EErroJson("membro \"" + std::string(caminho) + "\" nulo no JSON");
  return *v;
}

[[noreturn]] void TipoErrado(std::string_view caminho, const char* esperado, const Json& v) {
  throw EErroJson("membro \"" + std::string(caminho) + "\" nao e " + esperado + ": " +
                  std::string(PrimeirosCaracteres(SerializarJson(v), 100)));
}

}  // namespace

std::string JsonTexto(const Json& valor, std::string_view caminho, const std::string& padrao) {
  const Json* v = JsonBuscar(valor, caminho);
  if (!v || v->is_null()) return padrao;
  return v->is_string() ? v->get<std::string>() : SerializarJson(*v);
}

std::string JsonTextoObrigatorio(const Json& valor, std::string_view caminho) {
  const Json& v = Exigir(valor, caminho);
  return v.is_string() ? v.get<std::string>() : SerializarJson(v);
}

int32_t JsonInteiro(const Json& valor, std::string_view caminho) {
  const Json& v = Exigir(valor, caminho);
  if (v.is_number_unsigned()) {
    const auto n = v.get<uint64_t>();
    if (n <= static_cast<uint64_t>(INT32_MAX)) return static_cast<int32_t>(n);
  } else if (v.is_number_integer()) {
    const auto n = v.get<int64_t>();
    if (n >= INT32_MIN && n <= INT32_MAX) return static_cast<int32_t>(n);
  }
  TipoErrado(caminho, "um inteiro de 32 bits", v);
}

bool JsonBooleano(const Json& valor, std::string_view caminho) {
  const Json& v = Exigir(valor, caminho);
  if (!v.is_boolean()) TipoErrado(caminho, "booleano", v);
  return v.get<bool>();
}

}  // namespace tw
