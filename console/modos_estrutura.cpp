// Modes that change the capture structure: criar-estrutura, limpar-antigo.
#include "modos.h"

namespace tw::console {

void ModoCriarEstrutura(const Argumentos&) { ModoAindaNaoDisponivel("criar-estrutura"); }
void ModoLimparAntigo(const Argumentos&) { ModoAindaNaoDisponivel("limpar-antigo"); }

}  // namespace tw::console
