#include "u_plataforma.h"

#include <unistd.h>

#include <climits>
#include <string>

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

}  // namespace tw
