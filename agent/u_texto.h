#pragma once
// Small text helpers over UTF-8 strings, shared by every unit.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Upper/lower case of ASCII letters and of the Latin-1 letters (U+00C0..U+00FE) written in UTF-8;
// every other character is left as it is.
std::string Maiusculas(std::string_view s);
std::string Minusculas(std::string_view s);

// Equality without regard to letter case, with the rules of Maiusculas.
bool IguaisSemCaixa(std::string_view a, std::string_view b);

// Removes leading and trailing white space and control characters (every byte <= ' ').
std::string Aparar(std::string_view s);
std::string ApararDireita(std::string_view s);

// Decimal integer of the whole text (optional sign, digits only); nullopt for anything else or overflow.
std::optional<int64_t> LerInteiro(std::string_view s);

// Number of characters (code points) of a UTF-8 text.
size_t ContarCaracteres(std::string_view s);

// The last n characters (code points) of a UTF-8 text; the whole text when it is shorter.
std::string_view UltimosCaracteres(std::string_view s, size_t n);

// Cuts the text to at most n characters (code points).
std::string_view PrimeirosCaracteres(std::string_view s, size_t n);

// Splits at every occurrence of the separator character.
std::vector<std::string> Dividir(std::string_view s, char separador);

// Whether the text is well-formed UTF-8.
bool EhUtf8Valido(std::string_view s);

}  // namespace tw
