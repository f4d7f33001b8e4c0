// Modes that change the capture structure: criar-estrutura, limpar-antigo.
#include "modos.h"
#include "u_captura_fb3.h"
#include "u_log.h"
#include "u_reestrutura.h"

namespace tw::console {

void ModoCriarEstrutura(const Argumentos&) {
  TConfigAgente cfg;
  if (!CarregarConfigAtual(cfg)) {
    RegistrarLog(std::string("criar-estrutura: sem config (") + kArquivoConfig + " nao encontrado)", true);
    return;
  }
  if (cfg.Prefixo.empty()) {
    RegistrarLog(std::string("criar-estrutura: Prefixo vazio em ") + kArquivoConfig, true);
    return;
  }
  // Always a Firebird database, whatever Sgbd says.
  CriarEstruturaFb(cfg.LocalHost, cfg.LocalPorta, cfg.LocalCaminho, cfg.LocalUsuario, cfg.LocalSenha, cfg.Prefixo);
}

void ModoLimparAntigo(const Argumentos& a) { RemoverEstruturaLegada(a[2], PortaDeTexto(a[3]), a[4], a[5], a[6]); }

}  // namespace tw::console
