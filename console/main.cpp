#include <exception>

#include "modos.h"
#include "u_erros.h"
#include "u_log.h"

int main(int argc, char** argv) {
  using namespace tw;
  console::Argumentos args;
  for (int i = 1; i < argc; ++i) args.valores.emplace_back(argv[i]);

  DefinirEcoConsole(true);
  try {
    DefinirPastaLog("logs");
  } catch (const std::exception& e) {
    // Without a log folder the lines still reach the console; the file write is swallowed.
    RegistrarLog("ERRO: " + DescreverFalha(e));
  }
  RegistrarLog(std::string("Tidewell Agente ") + console::kVersao + " iniciando");
  try {
    console::Despachar(args);
  } catch (const std::exception& e) {
    RegistrarLog("ERRO: " + DescreverFalha(e));
  } catch (...) {
    RegistrarLog("ERRO: falha desconhecida");
  }
  return 0;
}
