#include "u_log.h"

// The service host arrives with the agent cycle; until then it only says so.
int main() {
  tw::RegistrarLog("TidewellSvc: servico ainda nao disponivel nesta versao");
  return 0;
}
