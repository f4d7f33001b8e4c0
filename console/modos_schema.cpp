// Modes that read a Firebird database named on the command line: fb, hash, manifesto.
#include "modos.h"
#include "u_config.h"
#include "u_diag.h"
#include "u_estrutura.h"
#include "u_log.h"
#include "u_plataforma.h"

namespace tw::console {

void ModoFb(const Argumentos& a) { DiagnosticoFb(a[2], PortaDeTexto(a[3]), a[4], a[5], a[6]); }

void ModoHash(const Argumentos& a) {
  const std::string tabela = a[7];
  const std::string hash = HashTabelaFb(a[2], PortaDeTexto(a[3]), a[4], a[5], a[6], tabela);
  RegistrarLog("hash " + tabela + " = " + hash);
}

void ModoManifesto(const Argumentos& a) {
  const std::string documento = MontarManifestoFb(a[2], PortaDeTexto(a[3]), a[4], a[5], a[6], "");
  // The document is pure ASCII, so its length in bytes is its length in characters.
  RegistrarLog("tamanho do manifesto: " + std::to_string(documento.size()) + " chars");
  SubstituirArquivo(JuntarCaminho(PastaPrograma(), "manifesto.json"), "\xEF\xBB\xBF" + documento);
  RegistrarLog("salvo em manifesto.json");
}

}  // namespace tw::console
