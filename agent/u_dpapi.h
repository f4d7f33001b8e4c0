#pragma once
// Machine-scope data protection: authenticated encryption (AES-256-GCM) under a key bound to this
// machine. The key lives in a root-only file created on first use and is mixed with the machine's
// identity, so a value protected on another machine, or tampered with, fails to unprotect.
#include <string>

namespace tw {

// Default location of the machine key.
inline constexpr const char* kArquivoChaveMaquina = "/var/lib/tidewell/machine.key";

// Encrypts bytes; raises EErroSO (code and text) when the key cannot be read or created.
std::string ProtegerDados(const std::string& dados);
// Decrypts bytes; raises EErroSO (code and text) for data from another machine or damaged data.
std::string DesprotegerDados(const std::string& blob);

// Points the layer at another key file (tests use a temporary key); empty restores the default.
void DefinirArquivoChaveMaquina(const std::string& caminho);

}  // namespace tw
