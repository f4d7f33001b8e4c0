#pragma once
// Facts about the running program that the platform supplies.
#include <string>
#include <string_view>

namespace tw {

// Folder of the running program, with a trailing separator.
std::string PastaPrograma();

// Path separator of this platform.
inline constexpr char kSeparador = '/';

// Replaces a file's whole content through a temporary file beside it and a rename, so the file is
// always either the old or the new version; an existing file keeps its permissions.
// Raises EErroSO "nao foi possivel gravar <file>: <reason>".
void SubstituirArquivo(const std::string& caminho, std::string_view conteudo);

// Joins a folder and a name with one separator (the bare name when the folder is empty).
std::string JuntarCaminho(const std::string& pasta, const std::string& nome);

}  // namespace tw
