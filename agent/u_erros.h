#pragma once
// Failure types of the agent. A caught failure is logged as "<type name>: <message>",
// so each type names what kind of thing went wrong.
#include <exception>
#include <stdexcept>
#include <string>

namespace tw {

// An operating-system or platform call failed (files, data protection, processes).
// Carries the system's error code and its text, as the message "<text> (codigo <code>)".
class EErroSO : public std::runtime_error {
 public:
  EErroSO(int codigo, const std::string& texto);
  int Codigo() const noexcept { return codigo_; }

 private:
  int codigo_;
};

// A database driver reported a failure; the message is the driver's own text, unchanged.
class EErroBanco : public std::runtime_error {
 public:
  explicit EErroBanco(const std::string& mensagem, std::string sqlstate = {}, long codigo = 0);
  const std::string& SqlState() const noexcept { return sqlstate_; }
  long Codigo() const noexcept { return codigo_; }

 private:
  std::string sqlstate_;
  long codigo_;
};

// A text could not be converted to the value it should hold (dates, numbers).
class EErroConversao : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The readable (demangled, namespace-free) name of the dynamic type of a failure.
std::string NomeTipo(const std::exception& e);

// "<type name>: <message>", the way failures appear in log lines.
std::string DescreverFalha(const std::exception& e);

}  // namespace tw
