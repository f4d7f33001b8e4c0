#pragma once
// The console program's modes. Each gets the command-line arguments (argumentos[0] is the mode,
// [1..6] its values; a missing argument reads as empty text).
#include <string>
#include <vector>

#include "u_config.h"
#include "u_versao.h"

namespace tw::console {

inline constexpr const char* kVersao = kVersaoAgente;

struct Argumentos {
  std::vector<std::string> valores;
  // Positional argument n (1 = the mode); empty text when not given.
  std::string operator[](size_t n) const { return n >= 1 && n <= valores.size() ? valores[n - 1] : std::string(); }
};

// Clears the configuration and loads "tidewell.ini"; true when the file exists.
bool CarregarConfigAtual(TConfigAgente& cfg);

void ModoFb(const Argumentos& a);
void ModoLimparAntigo(const Argumentos& a);
void ModoConfigLocal(const Argumentos& a);
void ModoConfigAssistido(const Argumentos& a);
void ModoRodar(const Argumentos& a);
void ModoUpdateCheck(const Argumentos& a);
void ModoGuardian(const Argumentos& a);
void ModoDescida(const Argumentos& a);
void ModoSincronizar(const Argumentos& a);
void ModoCarga(const Argumentos& a);
void ModoCriarEstrutura(const Argumentos& a);
void ModoHash(const Argumentos& a);
void ModoManifesto(const Argumentos& a);
void ModoPadrao(const Argumentos& a);

// Runs the mode named by argument 1 (exact, case-sensitive), or ModoPadrao.
void Despachar(const Argumentos& a);

// Line written by a mode whose work this build does not do yet.
void ModoAindaNaoDisponivel(const std::string& nome);

}  // namespace tw::console
