#include "modos.h"
#include "u_log.h"

namespace tw::console {

bool CarregarConfigAtual(TConfigAgente& cfg) {
  cfg = TConfigAgente{};
  return CarregarConfig(kArquivoConfig, cfg);
}

void ModoConfigLocal(const Argumentos& a) {
  TConfigAgente cfg;
  cfg.Endpoint = a[2];
  cfg.LocalHost = a[3];
  cfg.LocalPorta = PortaDeTexto(a[4]);
  cfg.LocalCaminho = a[5];
  cfg.LocalUsuario = a[6];
  cfg.LocalSenha = a[7];
  SalvarConfig(kArquivoConfig, cfg);
  RegistrarLog("configuracao salva em " + CaminhoConfig(kArquivoConfig) + " (senha protegida)");
}

void ModoConfigAssistido(const Argumentos&) { ModoAindaNaoDisponivel("config-assistido"); }

}  // namespace tw::console
