#include "u_json.h"

namespace tw {
namespace {

// nlohmann writes five control characters with their short escapes (\b \t \n \f \r) and escapes
// U+007F as well; the agent's bodies want every control character as \u plus four digits and DEL
// as itself. Outside string literals the dumped text has no backslash, and inside them every
// backslash starts a two-character escape, so a pairwise scan is enough.
std::string AjustarEscapes(const std::string& texto) {
  std::string r;
  r.reserve(texto.size() + 16);
  for (size_t i = 0; i < texto.size(); ++i) {
    if (texto[i] != '\\' || i + 1 == texto.size()) {
      r += texto[i];
      continue;
    }
    const char c = texto[++i];
    switch (c) {
      case 'b': r += "\\u0008"; break;
      case 't': r += "\\u0009"; break;
      case 'n': r += "\\u000a"; break;
      case 'f': r += "\\u000c"; break;
      case 'r': r += "\\u000d"; break;
      case 'u':
        if (texto.compare(i + 1, 4, "007f") == 0) {
          r += '\x7f';
          i += 4;
        } else {
          r += "\\u";
        }
        break;
      default:
        r += '\\';
        r += c;
    }
  }
  return r;
}

}  // namespace

std::string SerializarJson(const Json& valor) {
  return AjustarEscapes(valor.dump(-1, ' ', true, nlohmann::detail::error_handler_t::replace));
}

std::string JsonCitado(std::string_view texto) { return SerializarJson(Json(std::string(texto))); }

}  // namespace tw
