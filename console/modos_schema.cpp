// Modes that read a Firebird database named on the command line: fb, hash, manifesto.
#include "modos.h"

namespace tw::console {

void ModoFb(const Argumentos&) { ModoAindaNaoDisponivel("fb"); }
void ModoHash(const Argumentos&) { ModoAindaNaoDisponivel("hash"); }
void ModoManifesto(const Argumentos&) { ModoAindaNaoDisponivel("manifesto"); }

}  // namespace tw::console
