#pragma once
// The heartbeat: tells the server the agent's version and the size of its upload queue; the answer
// says whether synchronisation is enabled for this agent and carries the queued remote commands.
#include <cstdint>
#include <string>
#include <vector>

#include "u_config.h"
#include "u_tipos.h"

namespace tw {

// The body {"versao":...,"telemetria":{"fila":fila}} as compact ASCII JSON.
std::string CorpoHeartbeat(int64_t fila);

// POSTs the heartbeat to cfg.Endpoint with cfg.Token. True when the server answered 200; then
// ativo is "data.ativo" when that is a JSON boolean (else true) and comandos holds "data.comandos"
// in server order (a missing "params" gives "{}", a non-numeric "id" gives 0). Any other status:
// false, erro = "HTTP <status>: <response text>", ativo true, no commands.
// Raises EErroJson when an element of "data.comandos" is not an object; comandos then has the
// array's length: the commands read before it, then empty ones.
bool EnviarHeartbeat(const TConfigAgente& cfg, int64_t fila, bool& ativo, std::string& erro,
                     std::vector<TComandoRemoto>& comandos);

}  // namespace tw
