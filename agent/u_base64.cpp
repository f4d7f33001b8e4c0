#include "u_base64.h"

#include <openssl/evp.h>

#include <array>

namespace tw {

namespace {
constexpr char kAlfabeto[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValorBase64(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

std::string CodificarBase64(std::string_view bytes) {
  std::string r;
  r.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16) |
                 (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8) |
                 static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 2]));
    r += kAlfabeto[(v >> 18) & 63];
    r += kAlfabeto[(v >> 12) & 63];
    r += kAlfabeto[(v >> 6) & 63];
    r += kAlfabeto[v & 63];
  }
  if (size_t resto = bytes.size() - i; resto > 0) {
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (resto == 2) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    r += kAlfabeto[(v >> 18) & 63];
    r += kAlfabeto[(v >> 12) & 63];
    r += resto == 2 ? kAlfabeto[(v >> 6) & 63] : '=';
    r += '=';
  }
  return r;
}

std::optional<std::string> DecodificarBase64(std::string_view texto) {
  std::string r;
  r.reserve(texto.size() / 4 * 3);
  uint32_t acumulado = 0;
  int bits = 0;
  size_t enchimento = 0, simbolos = 0;
  for (char c : texto) {
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
    if (c == '=') {
      ++enchimento;
      continue;
    }
    int v = ValorBase64(c);
    if (v < 0 || enchimento > 0) return std::nullopt;
    ++simbolos;
    acumulado = (acumulado << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      r += static_cast<char>((acumulado >> bits) & 0xFF);
    }
  }
  if (enchimento > 2 || (simbolos + enchimento) % 4 != 0 || simbolos % 4 == 1) return std::nullopt;
  return r;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigitos[] = "0123456789abcdef";
  std::string r;
  r.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    r += kDigitos[b >> 4];
    r += kDigitos[b & 15];
  }
  return r;
}

std::string Sha256Hex(std::string_view bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> md{};
  unsigned int n = 0;
  EVP_Digest(bytes.data(), bytes.size(), md.data(), &n, EVP_sha256(), nullptr);
  return Hex(std::string_view(reinterpret_cast<const char*>(md.data()), n));
}

}  // namespace tw
