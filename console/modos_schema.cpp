// Modes that read a Firebird database named on the command line: fb, hash, manifesto.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "modos.h"
#include "u_config.h"
#include "u_diag.h"
#include "u_erros.h"
#include "u_estrutura.h"
#include "u_log.h"
#include "u_plataforma.h"

namespace tw::console {
namespace {

[[noreturn]] void FalhaArquivo(const std::string& oque, const std::string& caminho) {
  const int codigo = errno;
  throw EErroSO(codigo, oque + " " + caminho + ": " + std::strerror(codigo));
}

class Descritor {
 public:
  explicit Descritor(int fd) : fd_(fd) {}
  ~Descritor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descritor(const Descritor&) = delete;
  Descritor& operator=(const Descritor&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close is seen; false when it failed.
  bool Fechar() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Writes the file through a temporary file beside it and a rename, so an earlier file is replaced
// whole or left as it was. Raises EErroSO naming the file.
void GravarArquivoSubstituindo(const std::string& caminho, std::string_view conteudo) {
  const std::string temporario = caminho + ".tmp" + std::to_string(::getpid());
  Descritor fd(::open(temporario.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0) FalhaArquivo("nao foi possivel criar", temporario);
  while (!conteudo.empty()) {
    const ssize_t n = ::write(fd.get(), conteudo.data(), conteudo.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int codigo = errno;
      ::unlink(temporario.c_str());
      errno = codigo;
      FalhaArquivo("nao foi possivel gravar", temporario);
    }
    conteudo.remove_prefix(static_cast<size_t>(n));
  }
  if (!fd.Fechar() || ::rename(temporario.c_str(), caminho.c_str()) != 0) {
    const int codigo = errno;
    ::unlink(temporario.c_str());
    errno = codigo;
    FalhaArquivo("nao foi possivel gravar", caminho);
  }
}

}  // namespace

void ModoFb(const Argumentos& a) { DiagnosticoFb(a[2], PortaDeTexto(a[3]), a[4], a[5], a[6]); }

void ModoHash(const Argumentos& a) {
  const std::string tabela = a[7];
  const std::string hash = HashTabelaFb(a[2], PortaDeTexto(a[3]), a[4], a[5], a[6], tabela);
  RegistrarLog("hash " + tabela + " = " + hash);
}

void ModoManifesto(const Argumentos& a) {
  const std::string documento = MontarManifestoFb(a[2], PortaDeTexto(a[3]), a[4], a[5], a[6], "");
  // The document is pure ASCII, so its length in bytes is its length in characters.
  RegistrarLog("tamanho do manifesto: " + std::to_string(documento.size()) + " chars");
  GravarArquivoSubstituindo(JuntarCaminho(PastaPrograma(), "manifesto.json"), "\xEF\xBB\xBF" + documento);
  RegistrarLog("salvo em manifesto.json");
}

}  // namespace tw::console
