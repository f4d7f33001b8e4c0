#include "u_texto.h"

#include <limits>

namespace tw {
namespace {

bool EhContinuacao(unsigned char c) { return (c & 0xC0) == 0x80; }

// Latin-1 letters in UTF-8 are C3 80..C3 9E (upper) and C3 A0..C3 BE (lower), minus the
// multiplication and division signs (C3 97, C3 B7) and the sharp s (C3 9F).
std::string TrocarCaixa(std::string_view s, bool paraMaiusculas) {
  std::string r(s);
  for (size_t i = 0; i < r.size(); ++i) {
    auto c = static_cast<unsigned char>(r[i]);
    if (c < 0x80) {
      if (paraMaiusculas && c >= 'a' && c <= 'z') r[i] = static_cast<char>(c - 32);
      if (!paraMaiusculas && c >= 'A' && c <= 'Z') r[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < r.size()) {
      auto d = static_cast<unsigned char>(r[i + 1]);
      if (paraMaiusculas && d >= 0xA0 && d <= 0xBE && d != 0xB7) r[i + 1] = static_cast<char>(d - 0x20);
      if (!paraMaiusculas && d >= 0x80 && d <= 0x9E && d != 0x97) r[i + 1] = static_cast<char>(d + 0x20);
      ++i;
    }
  }
  return r;
}

}  // namespace

std::string Maiusculas(std::string_view s) { return TrocarCaixa(s, true); }
std::string Minusculas(std::string_view s) { return TrocarCaixa(s, false); }

bool IguaisSemCaixa(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Maiusculas(a) == Maiusculas(b);
}

std::string Aparar(std::string_view s) {
  size_t ini = 0, fim = s.size();
  while (ini < fim && static_cast<unsigned char>(s[ini]) <= ' ') ++ini;
  while (fim > ini && static_cast<unsigned char>(s[fim - 1]) <= ' ') --fim;
  return std::string(s.substr(ini, fim - ini));
}

std::string ApararDireita(std::string_view s) {
  size_t fim = s.size();
  while (fim > 0 && static_cast<unsigned char>(s[fim - 1]) <= ' ') --fim;
  return std::string(s.substr(0, fim));
}

std::optional<int64_t> LerInteiro(std::string_view s) {
  if (s.empty()) return std::nullopt;
  size_t i = 0;
  bool negativo = false;
  if (s[0] == '-' || s[0] == '+') {
    negativo = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return std::nullopt;
  uint64_t v = 0;
  const uint64_t limite = negativo ? uint64_t{1} << 63 : uint64_t{std::numeric_limits<int64_t>::max()};
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    auto digito = static_cast<uint64_t>(s[i] - '0');
    if (v > (limite - digito) / 10) return std::nullopt;
    v = v * 10 + digito;
  }
  if (negativo) return v == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(v);
  return static_cast<int64_t>(v);
}

size_t ContarCaracteres(std::string_view s) {
  size_t n = 0;
  for (char c : s)
    if (!EhContinuacao(static_cast<unsigned char>(c))) ++n;
  return n;
}

std::string_view UltimosCaracteres(std::string_view s, size_t n) {
  if (n == 0) return s.substr(s.size());
  size_t contados = 0, i = s.size();
  while (i > 0) {
    --i;
    if (!EhContinuacao(static_cast<unsigned char>(s[i])) && ++contados == n) return s.substr(i);
  }
  return s;
}

std::string_view PrimeirosCaracteres(std::string_view s, size_t n) {
  size_t contados = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (!EhContinuacao(static_cast<unsigned char>(s[i]))) {
      if (contados == n) return s.substr(0, i);
      ++contados;
    }
  }
  return s;
}

std::vector<std::string> Dividir(std::string_view s, char separador) {
  std::vector<std::string> partes;
  size_t ini = 0;
  for (;;) {
    size_t pos = s.find(separador, ini);
    partes.emplace_back(s.substr(ini, pos == std::string_view::npos ? std::string_view::npos : pos - ini));
    if (pos == std::string_view::npos) return partes;
    ini = pos + 1;
  }
}

bool EhUtf8Valido(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t extra;
    uint32_t cp;
    if (c < 0x80) { ++i; continue; }
    if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1Fu; }
    else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0Fu; }
    else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07u; }
    else return false;
    if (i + extra >= s.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      auto d = static_cast<unsigned char>(s[i + k]);
      if (!EhContinuacao(d)) return false;
      cp = (cp << 6) | (d & 0x3Fu);
    }
    if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace tw
