#include <string_view>

#include "modos.h"
#include "u_log.h"

namespace tw::console {

void Despachar(const Argumentos& a) {
  using Modo = void (*)(const Argumentos&);
  static constexpr std::pair<std::string_view, Modo> kModos[] = {
      {"fb", ModoFb},
      {"limpar-antigo", ModoLimparAntigo},
      {"config-local", ModoConfigLocal},
      {"config-assistido", ModoConfigAssistido},
      {"rodar", ModoRodar},
      {"update-check", ModoUpdateCheck},
      {"guardian", ModoGuardian},
      {"descida", ModoDescida},
      {"sincronizar", ModoSincronizar},
      {"carga", ModoCarga},
      {"criar-estrutura", ModoCriarEstrutura},
      {"hash", ModoHash},
      {"manifesto", ModoManifesto},
  };
  if (!a.valores.empty())
    for (const auto& [nome, modo] : kModos)
      if (nome == a.valores[0]) return modo(a);
  ModoPadrao(a);
}

void ModoAindaNaoDisponivel(const std::string& nome) {
  RegistrarLog("modo " + nome + " ainda nao disponivel nesta versao");
}

}  // namespace tw::console
