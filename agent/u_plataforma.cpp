#include "u_plataforma.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "u_erros.h"

namespace tw {

std::string PastaPrograma() {
  std::string caminho(PATH_MAX, '\0');
  ssize_t n = readlink("/proc/self/exe", caminho.data(), caminho.size());
  if (n <= 0) return "./";
  caminho.resize(static_cast<size_t>(n));
  return caminho.substr(0, caminho.rfind(kSeparador) + 1);
}

std::string JuntarCaminho(const std::string& pasta, const std::string& nome) {
  if (pasta.empty()) return nome;
  if (pasta.back() == kSeparador) return pasta + nome;
  return pasta + kSeparador + nome;
}

namespace {

[[noreturn]] void FalhaGravacao(const std::string& arquivo, int erro) {
  throw EErroSO(erro, "nao foi possivel gravar " + arquivo + ": " + std::strerror(erro));
}

}  // namespace

void SubstituirArquivo(const std::string& arquivo, std::string_view conteudo) {
  struct stat st {};
  const bool existia = ::stat(arquivo.c_str(), &st) == 0;
  const std::string temp = arquivo + ".tmp" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, existia ? (st.st_mode & 07777) : 0644);
  if (fd < 0) FalhaGravacao(arquivo, errno);
  size_t feito = 0;
  while (feito < conteudo.size()) {
    ssize_t n = ::write(fd, conteudo.data() + feito, conteudo.size() - feito);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int erro = n < 0 ? errno : EIO;
      ::close(fd);
      ::unlink(temp.c_str());
      FalhaGravacao(arquivo, erro);
    }
    feito += static_cast<size_t>(n);
  }
  if (existia) (void)::fchmod(fd, st.st_mode & 07777);
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int erro = errno;
    ::unlink(temp.c_str());
    FalhaGravacao(arquivo, erro);
  }
  if (::rename(temp.c_str(), arquivo.c_str()) != 0) {
    int erro = errno;
    ::unlink(temp.c_str());
    FalhaGravacao(arquivo, erro);
  }
}

}  // namespace tw
