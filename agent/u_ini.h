#pragma once
// Key-by-key INI access with the semantics of the Windows private-profile functions: section and
// key names match without regard to case; a new key goes to the end of its section, a new section
// to the end of the file; an existing key keeps its place; everything else in the file is left as
// it is. Values are read with surrounding blanks removed and cut at 2047 characters.
// Each write rewrites the file through a temporary file and a rename, so a process that dies
// halfway leaves either the old or the new file, never a truncated one.
#include <optional>
#include <string>

namespace tw {

inline constexpr size_t kMaxValorIni = 2047;

// The value of section/key, or nullopt when the file, the section or the key is missing.
// The first occurrence wins when a key appears twice.
std::optional<std::string> LerValorIni(const std::string& arquivo, const std::string& secao,
                                       const std::string& chave);

// Writes section/key = value, creating the file, section or key when missing.
// Raises EErroSO naming the file when it cannot be written.
void GravarValorIni(const std::string& arquivo, const std::string& secao, const std::string& chave,
                    const std::string& valor);

}  // namespace tw
