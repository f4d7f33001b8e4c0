#include "u_erros.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace tw {

EErroSO::EErroSO(int codigo, const std::string& texto)
    : std::runtime_error(texto + " (codigo " + std::to_string(codigo) + ")"), codigo_(codigo) {}

EErroBanco::EErroBanco(const std::string& mensagem, std::string sqlstate, long codigo)
    : std::runtime_error(mensagem), sqlstate_(std::move(sqlstate)), codigo_(codigo) {}

std::string NomeTipo(const std::exception& e) {
  const char* bruto = typeid(e).name();
  int estado = 0;
  std::unique_ptr<char, decltype(&std::free)> nome(abi::__cxa_demangle(bruto, nullptr, nullptr, &estado),
                                                  &std::free);
  std::string texto = (estado == 0 && nome) ? nome.get() : bruto;
  // Drop namespaces: "tw::EErroBanco" reads as "EErroBanco", "std::runtime_error" as "runtime_error".
  if (auto pos = texto.rfind("::"); pos != std::string::npos && texto.find('<') == std::string::npos)
    texto.erase(0, pos + 2);
  return texto;
}

std::string DescreverFalha(const std::exception& e) { return NomeTipo(e) + ": " + e.what(); }

}  // namespace tw
