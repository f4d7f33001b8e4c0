#pragma once
// The configuration file "tidewell.ini" and the record it holds.
#include <cstdint>
#include <string>

namespace tw {

struct TConfigAgente {
  std::string Endpoint;
  std::string LocalHost;
  int32_t LocalPorta = 0;
  std::string LocalCaminho;
  std::string LocalUsuario;
  std::string LocalSenha;  // clear text in memory, protected in the file
  std::string Token;       // clear text in memory, protected in the file
  std::string AgenteUUID;
  std::string Prefixo;
  std::string Sgbd;        // "postgres" (any case) selects PostgreSQL; anything else Firebird
};

inline constexpr const char* kArquivoConfig = "tidewell.ini";

// name unchanged when it has a folder part; else the program's folder + name.
std::string CaminhoConfig(const std::string& nome);

// Clears the record; false when the file does not exist (record stays cleared). Missing keys take
// their defaults. Raises EErroSO when a protected value cannot be unprotected on this machine.
bool CarregarConfig(const std::string& nome, TConfigAgente& cfg);

// Writes the record key by key; senha/token only when not empty. Raises EErroSO naming the file
// when a key cannot be written (keys written before stay written).
void SalvarConfig(const std::string& nome, const TConfigAgente& cfg);

// Clear text -> protected Base64 value, and back. Empty text unprotects to empty text.
std::string ProtegerTexto(const std::string& texto);
std::string DesprotegerTexto(const std::string& texto);

// A port given as text: decimal integer, or 3050 when empty or not an integer.
int32_t PortaDeTexto(const std::string& texto);

}  // namespace tw
