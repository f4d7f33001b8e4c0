#pragma once
// Base64 (RFC 4648, "=" padding, one line), SHA-256 and hexadecimal.
#include <optional>
#include <string>
#include <string_view>

namespace tw {

std::string CodificarBase64(std::string_view bytes);
// nullopt when the text is not valid Base64 (blanks and line breaks are ignored).
std::optional<std::string> DecodificarBase64(std::string_view texto);

// Lowercase hexadecimal SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);
// Lowercase hexadecimal of the bytes.
std::string Hex(std::string_view bytes);

}  // namespace tw
