#include "u_charset.h"

#include <gtest/gtest.h>

#include "u_erros.h"
#include "u_texto.h"

using namespace tw;

namespace {

const std::string Frase = "A\xC3\xA7\xC3\xA3o S\xC3\xA3o Jo\xC3\xA3o \xC3\xA7 \xC3\xA3 \xC3\xA9";  // "Ação São João ç ã é"

}  // namespace

TEST(NomeCharsetFb, IdsDoFirebird3) {
  EXPECT_EQ(NomeCharsetFb(0), "NONE");
  EXPECT_EQ(NomeCharsetFb(1), "OCTETS");
  EXPECT_EQ(NomeCharsetFb(4), "UTF8");
  EXPECT_EQ(NomeCharsetFb(21), "ISO8859_1");
  EXPECT_EQ(NomeCharsetFb(53), "WIN1252");
  EXPECT_EQ(NomeCharsetFb(63), "KOI8R");
  EXPECT_EQ(NomeCharsetFb(7), "");
  EXPECT_EQ(BytesPorCaractereFb(4), 4);
  EXPECT_EQ(BytesPorCaractereFb(3), 3);
  EXPECT_EQ(BytesPorCaractereFb(53), 1);
}

TEST(CodificarTexto, BytesDeCadaConjunto) {
  struct Caso {
    std::string charset, texto, bytes;
  } casos[] = {
      {"UTF8", "A\xC3\xA7\xC3\xA3o", "A\xC3\xA7\xC3\xA3o"},
      {"WIN1252", "A\xC3\xA7\xC3\xA3o \xE2\x82\xAC", "A\xE7\xE3o \x80"},  // "Ação €"
      {"win1252", "\xC3\xA9", "\xE9"},
      {"ISO8859_1", "A\xC3\xA7\xC3\xA3o", "A\xE7\xE3o"},
      {"NONE", "\xE2\x82\xAC\xC3\xA7", "\x80\xE7"},  // NONE is written as WIN1252
      {"DOS850", "\xC3\xA7", "\x87"},
      {"KOI8R", "\xD0\x96", "\xF6"},  // Cyrillic Zhe
      {"WIN1250", "\xC5\x91", "\xF5"},  // o with double acute
      {"OCTETS", "\xC3\xA7\xFF", "\xC3\xA7\xFF"},  // bytes as they are
      {"ASCII", "abc", "abc"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.charset);
    EXPECT_EQ(CodificarTexto(c.texto, c.charset), c.bytes);
    if (c.charset != "OCTETS") {
      EXPECT_EQ(DecodificarTexto(c.bytes, c.charset), c.texto);
    }
  }
  EXPECT_EQ(DecodificarTexto(CodificarTexto(Frase, "WIN1252"), "WIN1252"), Frase);
}

TEST(CodificarTexto, CaractereSemRepresentacaoFalhaNomeandoOConjunto) {
  struct Caso {
    std::string charset, texto, mensagem;
  } casos[] = {
      {"ISO8859_1", "pre\xC3\xA7o \xE2\x82\xAC", "caractere \"\xE2\x82\xAC\" (U+20AC) nao existe no conjunto de caracteres ISO8859_1"},
      {"WIN1252", "\xC5\x91", "caractere \"\xC5\x91\" (U+0151) nao existe no conjunto de caracteres WIN1252"},
      {"ASCII", "\xC3\xA9", "caractere \"\xC3\xA9\" (U+00E9) nao existe no conjunto de caracteres ASCII"},
      {"NONE", "\xE4\xB8\xAD", "caractere \"\xE4\xB8\xAD\" (U+4E2D) nao existe no conjunto de caracteres NONE"},
      {"UNICODE_FSS", "\xF0\x9F\x98\x80", "caractere \"\xF0\x9F\x98\x80\" (U+1F600) nao existe no conjunto de caracteres UNICODE_FSS"},
      {"WIN1252", "ab\xC3", "texto com UTF-8 invalido na posicao 2 nao pode ser gravado no conjunto de caracteres WIN1252"},
      {"UTF8", "\xED\xA0\x80", "texto com UTF-8 invalido na posicao 0 nao pode ser gravado no conjunto de caracteres UTF8"},
      {"EBCDIC", "a", "conjunto de caracteres nao suportado: EBCDIC"},
      {"CYRL", "a", "conjunto de caracteres nao suportado: CYRL"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.charset);
    try {
      CodificarTexto(c.texto, c.charset);
      ADD_FAILURE() << "sem excecao";
    } catch (const EErroConversao& e) {
      EXPECT_EQ(std::string(e.what()), c.mensagem);
    }
  }
}

TEST(DecodificarTexto, BytesInvalidosViramSubstitutoEOResultadoEUtf8Valido) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Caso {
    std::string charset, bytes, texto;
  } casos[] = {
      {"WIN1252", "a\x81" "b", "a" + fffd + "b"},  // 0x81 is undefined in cp1252
      {"NONE", "\x80\x8D", "\xE2\x82\xAC" + fffd},
      {"OCTETS", "\xE9", "\xC3\xA9"},
      {"UTF8", "ok\xC3(\xFF", "ok" + fffd + "(" + fffd},
      {"UTF8", "\xC0\xAF", fffd + fffd},          // overlong
      {"UNICODE_FSS", "\xED\xA0\x80", fffd + fffd + fffd},  // surrogate
      {"ASCII", "a\xE9", "a" + fffd},
      {"SJIS_0208", "\x82", fffd},                // cut in the middle of a character
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.charset + " " + c.bytes);
    const std::string r = DecodificarTexto(c.bytes, c.charset);
    EXPECT_EQ(r, c.texto);
    EXPECT_TRUE(EhUtf8Valido(r));
  }
  EXPECT_THROW(DecodificarTexto("x", "NEXT"), EErroConversao);
}

TEST(SanearUtf8, SoTrocaOQueEInvalido) {
  EXPECT_EQ(SanearUtf8(Frase), Frase);
  EXPECT_EQ(SanearUtf8("a\xF4\x90\x80\x80"), "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(SanearUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}
