// Modes that run steps of the agent cycle.
#include <vector>

#include "modos.h"
#include "u_heartbeat.h"
#include "u_log.h"
#include "u_tipos.h"

namespace tw::console {
namespace {

// Endpoint of the default mode when the configuration has none: loopback, port 9500, plain HTTP.
constexpr const char* kEndpointLocal = "http://127.0.0.1:9500";

}  // namespace

void ModoRodar(const Argumentos&) { ModoAindaNaoDisponivel("rodar"); }
void ModoUpdateCheck(const Argumentos&) { ModoAindaNaoDisponivel("update-check"); }
void ModoGuardian(const Argumentos&) { ModoAindaNaoDisponivel("guardian"); }
void ModoDescida(const Argumentos&) { ModoAindaNaoDisponivel("descida"); }
void ModoSincronizar(const Argumentos&) { ModoAindaNaoDisponivel("sincronizar"); }
void ModoCarga(const Argumentos&) { ModoAindaNaoDisponivel("carga"); }

// A connection self-test: one heartbeat; the commands it brings are counted, never executed.
void ModoPadrao(const Argumentos&) {
  TConfigAgente cfg;
  const bool temArquivo = CarregarConfigAtual(cfg);         // without the file every field stays empty
  if (cfg.Endpoint.empty()) cfg.Endpoint = kEndpointLocal;  // this run only; nothing is saved
  RegistrarLog("modo padrao: teste de conexao do agente " + (cfg.AgenteUUID.empty() ? "(sem uuid)" : cfg.AgenteUUID) +
               " com " + cfg.Endpoint);
  // Without a token the server can only refuse, and the service would not run a cycle either:
  // say what is missing instead of sending a request bound to fail.
  if (cfg.Token.empty()) {
    RegistrarLog(std::string("modo padrao: ") +
                     (temArquivo ? std::string("Token vazio em ") + kArquivoConfig
                                 : std::string("sem config (") + kArquivoConfig + " nao encontrado)") +
                     "; heartbeat nao enviado",
                 true);
    return;
  }
  bool ativo = true;
  std::string erro;
  std::vector<TComandoRemoto> comandos;
  if (EnviarHeartbeat(cfg, 0, ativo, erro, comandos))
    RegistrarLog(std::string("heartbeat OK (ativo=") + (ativo ? "True" : "False") +
                 ", comandos=" + std::to_string(comandos.size()) + ")");
  else
    RegistrarLog("heartbeat falhou: " + erro);
  GravarCheckpoint();
  RegistrarLog("ciclo concluido");
}

}  // namespace tw::console
