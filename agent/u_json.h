#pragma once
// The one JSON writer of the system: every JSON body the agent sends and every JSON file it writes
// is produced here. Documents are nlohmann::ordered_json, so members keep the order they were added in.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tw {

using Json = nlohmann::ordered_json;

// Compact JSON text (no white space between tokens) that is pure ASCII: every character below
// U+0020 (control characters included, so "\n" is written \u000a) and every character above U+007F
// is written as \u and four lowercase hexadecimal digits, a character beyond U+FFFF as a surrogate
// pair. Texts are read as UTF-8; a malformed sequence (a stray byte, or a sequence cut short by
// the next character) is written as U+FFFD (\ufffd), so any input gives valid JSON. Does not raise.
std::string SerializarJson(const Json& valor);

// The text as a JSON string literal (double quotes around), escaped as SerializarJson does.
std::string JsonCitado(std::string_view texto);

}  // namespace tw
