#pragma once
// Facts about the running program that the platform supplies.
#include <string>

namespace tw {

// Folder of the running program, with a trailing separator.
std::string PastaPrograma();

// Path separator of this platform.
inline constexpr char kSeparador = '/';

// Joins a folder and a name with one separator (the bare name when the folder is empty).
std::string JuntarCaminho(const std::string& pasta, const std::string& nome);

}  // namespace tw
