#include "u_contrato.h"

namespace tw::contrato {

std::string CodificarUrl(std::string_view valor) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string r;
  r.reserve(valor.size());
  for (char ch : valor) {
    const auto b = static_cast<unsigned char>(ch);
    const bool livre = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                       b == '.' || b == '_' || b == '~';
    if (livre) {
      r += ch;
    } else {
      r += '%';
      r += kHex[b >> 4];
      r += kHex[b & 0x0F];
    }
  }
  return r;
}

std::string ComandoResultado(int64_t id) { return "/api/v1/agentes/comando/" + std::to_string(id) + "/resultado"; }

std::string ComandoProgresso(int64_t id) { return "/api/v1/agentes/comando/" + std::to_string(id) + "/progresso"; }

std::string RestoreLote(std::string_view tabela, std::string_view cursor) {
  return "/api/v1/sync/restore?tabela=" + CodificarUrl(tabela) + "&depois=" + CodificarUrl(cursor);
}

std::string UpdateCheck(std::string_view versao) {
  return "/update/check?componente=servico&versao=" + CodificarUrl(versao);
}

std::string UpdateDownload(int64_t id) { return "/update/download/" + std::to_string(id); }

std::string Url(std::string_view endpoint, std::string_view caminho) {
  std::string r(endpoint);
  r += caminho;
  return r;
}

}  // namespace tw::contrato
