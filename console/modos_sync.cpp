// Modes that run steps of the agent cycle.
#include "modos.h"

namespace tw::console {

void ModoRodar(const Argumentos&) { ModoAindaNaoDisponivel("rodar"); }
void ModoUpdateCheck(const Argumentos&) { ModoAindaNaoDisponivel("update-check"); }
void ModoGuardian(const Argumentos&) { ModoAindaNaoDisponivel("guardian"); }
void ModoDescida(const Argumentos&) { ModoAindaNaoDisponivel("descida"); }
void ModoSincronizar(const Argumentos&) { ModoAindaNaoDisponivel("sincronizar"); }
void ModoCarga(const Argumentos&) { ModoAindaNaoDisponivel("carga"); }
void ModoPadrao(const Argumentos&) { ModoAindaNaoDisponivel("padrao (heartbeat)"); }

}  // namespace tw::console
