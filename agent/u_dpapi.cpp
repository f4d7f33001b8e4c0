#include "u_dpapi.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "u_erros.h"

namespace tw {
namespace {

constexpr unsigned char kVersao = 1;
constexpr size_t kTamChave = 32, kTamNonce = 12, kTamTag = 16;
// Code and text of the failure when a value was protected on another machine or was altered.
constexpr int kErroChaveInvalida = static_cast<int>(0x8009000Bu - 0x100000000ull);
constexpr int kErroDadosInvalidos = 13;

using Chave = std::array<unsigned char, kTamChave>;

std::mutex g_mutex;
std::string g_arquivoChave;  // empty = default

std::string ArquivoChave() { return g_arquivoChave.empty() ? kArquivoChaveMaquina : g_arquivoChave; }

[[noreturn]] void FalhaChave(const std::string& caminho, int erro, const char* oque) {
  throw EErroSO(erro, std::string("nao foi possivel ") + oque + " a chave da maquina " + caminho + ": " +
                          std::strerror(erro));
}

std::string LerTudo(const std::string& caminho) {
  std::ifstream in(caminho, std::ios::binary);
  if (!in) return {};
  std::ostringstream ss;
  ss << in.rdbuf();
  return std::move(ss).str();
}

// Creates the secret with O_EXCL through a temporary file and link(), so that two processes
// starting at once end up with the same secret and no one reads a half-written file.
void CriarSegredo(const std::string& caminho) {
  auto barra = caminho.rfind('/');
  if (barra != std::string::npos && barra > 0) {
    std::string pasta = caminho.substr(0, barra);
    if (::mkdir(pasta.c_str(), 0700) != 0 && errno != EEXIST) FalhaChave(caminho, errno, "criar");
  }
  std::array<unsigned char, kTamChave> segredo{};
  if (RAND_bytes(segredo.data(), static_cast<int>(segredo.size())) != 1) FalhaChave(caminho, EIO, "gerar");
  const std::string temp = caminho + ".tmp" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) FalhaChave(caminho, errno, "criar");
  bool ok = ::write(fd, segredo.data(), segredo.size()) == static_cast<ssize_t>(segredo.size()) && ::fsync(fd) == 0;
  int erro = errno;
  ::close(fd);
  if (!ok) {
    ::unlink(temp.c_str());
    FalhaChave(caminho, erro ? erro : EIO, "gravar");
  }
  if (::link(temp.c_str(), caminho.c_str()) != 0 && errno != EEXIST) {
    erro = errno;
    ::unlink(temp.c_str());
    FalhaChave(caminho, erro, "gravar");
  }
  ::unlink(temp.c_str());
}

// The machine key: SHA-256 over the secret file and the machine's identity, so that a secret file
// copied to another machine does not open values protected here.
Chave ChaveDaMaquina() {
  std::lock_guard lock(g_mutex);
  const std::string caminho = ArquivoChave();
  if (::access(caminho.c_str(), F_OK) != 0) CriarSegredo(caminho);
  std::string segredo = LerTudo(caminho);
  if (segredo.size() != kTamChave) {
    if (::access(caminho.c_str(), R_OK) != 0) FalhaChave(caminho, errno, "ler");
    FalhaChave(caminho, EINVAL, "usar (tamanho invalido)");
  }
  std::string material = "tidewell-protecao-maquina-v1";
  material += segredo;
  material += LerTudo("/etc/machine-id");
  Chave chave{};
  unsigned int n = 0;
  EVP_Digest(material.data(), material.size(), chave.data(), &n, EVP_sha256(), nullptr);
  OPENSSL_cleanse(material.data(), material.size());
  OPENSSL_cleanse(segredo.data(), segredo.size());
  return chave;
}

using Contexto = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

}  // namespace

void DefinirArquivoChaveMaquina(const std::string& caminho) {
  std::lock_guard lock(g_mutex);
  g_arquivoChave = caminho;
}

// Layout: version (1 byte) | nonce (12) | ciphertext | tag (16); the version byte is authenticated.
std::string ProtegerDados(const std::string& dados) {
  Chave chave = ChaveDaMaquina();
  std::string saida(1 + kTamNonce + dados.size() + kTamTag, '\0');
  saida[0] = static_cast<char>(kVersao);
  unsigned char* nonce = Bytes(saida) + 1;
  if (RAND_bytes(nonce, kTamNonce) != 1) throw EErroSO(EIO, "falha ao gerar numero aleatorio");
  Contexto ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int n = 0;
  bool ok = ctx && EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, chave.data(), nonce) == 1 &&
            EVP_EncryptUpdate(ctx.get(), nullptr, &n, Bytes(saida), 1) == 1 &&
            EVP_EncryptUpdate(ctx.get(), nonce + kTamNonce, &n, Bytes(dados), static_cast<int>(dados.size())) == 1 &&
            EVP_EncryptFinal_ex(ctx.get(), nonce + kTamNonce + n, &n) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTamTag, nonce + kTamNonce + dados.size()) == 1;
  OPENSSL_cleanse(chave.data(), chave.size());
  if (!ok) throw EErroSO(EIO, "falha ao proteger os dados");
  return saida;
}

std::string DesprotegerDados(const std::string& blob) {
  if (blob.size() < 1 + kTamNonce + kTamTag || static_cast<unsigned char>(blob[0]) != kVersao)
    throw EErroSO(kErroDadosInvalidos, "Os dados protegidos sao invalidos.");
  Chave chave = ChaveDaMaquina();
  const unsigned char* nonce = Bytes(blob) + 1;
  const size_t tamCifra = blob.size() - 1 - kTamNonce - kTamTag;
  std::string claro(tamCifra, '\0');
  std::array<unsigned char, kTamTag> tag{};
  std::memcpy(tag.data(), nonce + kTamNonce + tamCifra, kTamTag);
  Contexto ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int n = 0;
  bool ok = ctx && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, chave.data(), nonce) == 1 &&
            EVP_DecryptUpdate(ctx.get(), nullptr, &n, Bytes(blob), 1) == 1 &&
            EVP_DecryptUpdate(ctx.get(), Bytes(claro), &n, nonce + kTamNonce, static_cast<int>(tamCifra)) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTamTag, tag.data()) == 1 &&
            EVP_DecryptFinal_ex(ctx.get(), Bytes(claro) + n, &n) == 1;
  OPENSSL_cleanse(chave.data(), chave.size());
  if (!ok) {
    OPENSSL_cleanse(claro.data(), claro.size());
    throw EErroSO(kErroChaveInvalida,
                  "Chave nao valida para uso no estado especificado: o valor foi protegido em outra maquina ou "
                  "foi alterado.");
  }
  return claro;
}

}  // namespace tw
