#pragma once
// Character sets of Firebird databases and conversion between them and UTF-8.
// Names are Firebird's own ("UTF8", "WIN1252", "ISO8859_1", ...), compared without regard to case.
#include <string>
#include <string_view>

namespace tw {

// Name of the character set with this RDB$CHARACTER_SET_ID (Firebird 3); empty for an unknown id.
std::string_view NomeCharsetFb(int id);

// Most bytes one character takes in the set with this id (4 for UTF8, 3 for UNICODE_FSS, ...);
// 1 for an unknown id.
int BytesPorCaractereFb(int id);

// Text stored in `charset` as UTF-8. NONE and OCTETS are read as WIN1252. A byte sequence that is
// not valid in the set becomes U+FFFD, so the result is always valid UTF-8.
// Raises EErroConversao when the character set is not supported.
std::string DecodificarTexto(std::string_view bytes, std::string_view charset);

// UTF-8 text as bytes of `charset`. NONE is written as WIN1252; OCTETS takes the bytes unchanged.
// Raises EErroConversao (naming the set) when the text is not valid UTF-8, when one of its
// characters does not exist in the set, or when the set is not supported.
std::string CodificarTexto(std::string_view utf8, std::string_view charset);

// The text with each invalid UTF-8 sequence replaced by U+FFFD.
std::string SanearUtf8(std::string_view s);

}  // namespace tw
