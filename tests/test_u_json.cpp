#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "u_json.h"

namespace tw {
namespace {

bool SoAscii(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 127) return false;
  return true;
}

TEST(SerializarJson, CompactoNaOrdemDeInsercao) {
  Json o = Json::object();
  o["zeta"] = 1;
  o["alfa"] = Json::array({true, nullptr, "x", 2.5});
  o["meio"] = Json::object();
  o["grande"] = std::numeric_limits<int64_t>::max();
  o["negativo"] = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(SerializarJson(o),
            R"({"zeta":1,"alfa":[true,null,"x",2.5],"meio":{},)"
            R"("grande":9223372036854775807,"negativo":-9223372036854775808})");
}

TEST(SerializarJson, EscapaControlesENaoAscii) {
  struct Caso {
    std::string texto;
    std::string esperado;
  };
  const Caso casos[] = {
      {"simples", R"("simples")"},
      {"a\"b\\c/d", R"("a\"b\\c/d")"},
      {"\xC3\xA9", R"("\u00e9")"},                   // é
      {"S\xC3\x83O JO\xC3\x83O", R"("S\u00c3O JO\u00c3O")"},
      {"\xE2\x82\xAC", R"("\u20ac")"},               // euro sign
      {"\xF0\x9F\x98\x80", R"("\ud83d\ude00")"},     // U+1F600, beyond U+FFFF
      {std::string("\0", 1), R"("\u0000")"},
      {"\x01\x1F", R"("\u0001\u001f")"},
      {"\b\t\n\f\r", R"("\u0008\u0009\u000a\u000c\u000d")"},
      {"\x7F", "\"\x7F\""},                          // DEL is not above 127: written as itself
      {" ~", R"(" ~")"},
      // Text that merely looks like an escape stays literal text.
      {"\\n\\u007f\\t", R"("\\n\\u007f\\t")"},
      {"\\\n", R"("\\\u000a")"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.esperado);
    const std::string saida = SerializarJson(Json(c.texto));
    EXPECT_EQ(saida, c.esperado);
    EXPECT_TRUE(SoAscii(saida));
    EXPECT_EQ(Json::parse(saida).get<std::string>(), c.texto);
    EXPECT_EQ(JsonCitado(c.texto), c.esperado);
  }
}

TEST(SerializarJson, EscapaNomesDeMembros) {
  Json o = Json::object();
  o["A\xC3\xA7\xC3\xA3o"] = "Pre\xC3\xA7o\n";
  EXPECT_EQ(SerializarJson(o), R"({"A\u00e7\u00e3o":"Pre\u00e7o\u000a"})");
}

// Bytes that are not UTF-8 must neither raise nor leak into the output: each bad sequence becomes
// U+FFFD and the result is still valid, pure-ASCII JSON.
TEST(SerializarJson, Utf8InvalidoViraCaractereDeSubstituicao) {
  struct Caso {
    std::string texto;
    std::string esperado;
  };
  const Caso casos[] = {
      {"a\xFF" "b", R"("a\ufffdb")"},              // byte that never occurs in UTF-8
      {"caf\xE9", R"("caf\ufffd")"},              // Latin-1 é
      {"x\xC3", R"("x\ufffd")"},                  // sequence cut at the end
      {"\xE2\x82" "A", R"("\ufffdA")"},           // sequence cut short by the next character
      {"\xC3(", R"("\ufffd(")"},                  // lead byte followed by ASCII
      {"\xC0\xAF", R"("\ufffd\ufffd")"},          // overlong encoding of "/"
      {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},  // surrogate written in UTF-8
      {"\x80" "ok", R"("\ufffdok")"},             // stray continuation byte
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.esperado);
    std::string saida;
    ASSERT_NO_THROW(saida = SerializarJson(Json::array({c.texto})));
    EXPECT_EQ(saida, "[" + c.esperado + "]");
    EXPECT_TRUE(SoAscii(saida));
    EXPECT_TRUE(Json::accept(saida));
  }
  Json chave = Json::object();
  chave["n\xFF"] = 1;
  EXPECT_EQ(SerializarJson(chave), R"({"n\ufffd":1})");
}

}  // namespace
}  // namespace tw
