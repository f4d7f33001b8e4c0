#include "u_charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>

#include "u_erros.h"
#include "u_texto.h"

namespace tw {
namespace {

struct TCharsetFb {
  int id;
  std::string_view nome;
  int bytesPorCaractere;
  const char* iconv;  // glibc name; nullptr when the set has no converter here
};

// RDB$CHARACTER_SETS of Firebird 3.
constexpr TCharsetFb Charsets[] = {
    {0, "NONE", 1, "CP1252"},        {1, "OCTETS", 1, "CP1252"},      {2, "ASCII", 1, "ASCII"},
    {3, "UNICODE_FSS", 3, "UTF-8"},  {4, "UTF8", 4, "UTF-8"},         {5, "SJIS_0208", 2, "SJIS"},
    {6, "EUCJ_0208", 2, "EUC-JP"},   {9, "DOS737", 1, "CP737"},       {10, "DOS437", 1, "CP437"},
    {11, "DOS850", 1, "CP850"},      {12, "DOS865", 1, "CP865"},      {13, "DOS860", 1, "CP860"},
    {14, "DOS863", 1, "CP863"},      {15, "DOS775", 1, "CP775"},      {16, "DOS858", 1, "CP858"},
    {17, "DOS862", 1, "CP862"},      {18, "DOS864", 1, "CP864"},      {19, "NEXT", 1, nullptr},
    {21, "ISO8859_1", 1, "ISO-8859-1"}, {22, "ISO8859_2", 1, "ISO-8859-2"}, {23, "ISO8859_3", 1, "ISO-8859-3"},
    {34, "ISO8859_4", 1, "ISO-8859-4"}, {35, "ISO8859_5", 1, "ISO-8859-5"}, {36, "ISO8859_6", 1, "ISO-8859-6"},
    {37, "ISO8859_7", 1, "ISO-8859-7"}, {38, "ISO8859_8", 1, "ISO-8859-8"}, {39, "ISO8859_9", 1, "ISO-8859-9"},
    {40, "ISO8859_13", 1, "ISO-8859-13"}, {44, "KSC_5601", 2, "CP949"}, {45, "DOS852", 1, "CP852"},
    {46, "DOS857", 1, "CP857"},      {47, "DOS861", 1, "CP861"},      {48, "DOS866", 1, "CP866"},
    {49, "DOS869", 1, "CP869"},      {50, "CYRL", 1, nullptr},        {51, "WIN1250", 1, "CP1250"},
    {52, "WIN1251", 1, "CP1251"},    {53, "WIN1252", 1, "CP1252"},    {54, "WIN1253", 1, "CP1253"},
    {55, "WIN1254", 1, "CP1254"},    {56, "BIG_5", 2, "BIG5"},        {57, "GB_2312", 2, "GB2312"},
    {58, "WIN1255", 1, "CP1255"},    {59, "WIN1256", 1, "CP1256"},    {60, "WIN1257", 1, "CP1257"},
    {63, "KOI8R", 1, "KOI8-R"},      {64, "KOI8U", 1, "KOI8-U"},      {65, "WIN1258", 1, "CP1258"},
    {66, "TIS620", 1, "TIS-620"},    {67, "GBK", 2, "GBK"},           {68, "CP943C", 2, "CP932"},
    {69, "GB18030", 4, "GB18030"},
};

const TCharsetFb* ProcurarPorId(int id) {
  for (const auto& c : Charsets)
    if (c.id == id) return &c;
  return nullptr;
}

const TCharsetFb& ProcurarPorNome(std::string_view nome) {
  for (const auto& c : Charsets)
    if (IguaisSemCaixa(c.nome, nome)) return c;
  throw EErroConversao("conjunto de caracteres nao suportado: " + std::string(nome));
}

bool EhUtf8(const TCharsetFb& c) { return c.id == 3 || c.id == 4; }

// Single-byte sets here are all ASCII supersets, so pure ASCII text needs no converter.
bool AsciiPassaDireto(const TCharsetFb& c) { return c.bytesPorCaractere == 1 || EhUtf8(c); }

bool SoAscii(std::string_view s) {
  for (char ch : s)
    if (static_cast<unsigned char>(ch) >= 0x80) return false;
  return true;
}

// Length of the well-formed UTF-8 sequence at p (1..4), or 0 when the bytes there are not one.
size_t SequenciaUtf8(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  auto cont = [&](size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return i < n && p[i] >= lo && p[i] <= hi;
  };
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
  if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) return cont(1) && cont(2) ? 3 : 0;
  if (c == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
  if (c == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
  if (c >= 0xF1 && c <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
  if (c == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
  return 0;
}

constexpr std::string_view Substituto = "\xEF\xBF\xBD";  // U+FFFD

uint32_t PontoDeCodigo(const unsigned char* p, size_t len) {
  if (len == 1) return p[0];
  uint32_t v = p[0] & (0xFFu >> (len + 1));
  for (size_t i = 1; i < len; ++i) v = (v << 6) | (p[i] & 0x3Fu);
  return v;
}

std::string DescreverCaractere(std::string_view seq) {
  const auto* p = reinterpret_cast<const unsigned char*>(seq.data());
  char codigo[16];
  std::snprintf(codigo, sizeof codigo, "U+%04X", PontoDeCodigo(p, seq.size()));
  return "\"" + std::string(seq) + "\" (" + codigo + ")";
}

// One open converter; iconv_open is costly, so each thread keeps the ones it has used.
class Conversor {
 public:
  Conversor(const char* para, const char* de) : cd_(iconv_open(para, de)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw EErroConversao(std::string("conversao de ") + de + " para " + para + " indisponivel");
  }
  ~Conversor() { iconv_close(cd_); }
  Conversor(const Conversor&) = delete;
  Conversor& operator=(const Conversor&) = delete;

  // Converts as much as possible. Returns 0 when all input was consumed, else errno (EILSEQ or
  // EINVAL) with `entrada` pointing at the offending bytes.
  int Converter(std::string_view& entrada, std::string& saida) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(entrada.data());
    size_t inRestante = entrada.size();
    int erro = 0;
    while (inRestante > 0) {
      char buf[4096];
      char* out = buf;
      size_t outRestante = sizeof buf;
      size_t r = iconv(cd_, &in, &inRestante, &out, &outRestante);
      saida.append(buf, static_cast<size_t>(out - buf));
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        erro = errno;
        break;
      }
    }
    if (erro == 0) {
      // Flush any shift state of stateful encodings.
      char buf[64];
      char* out = buf;
      size_t outRestante = sizeof buf;
      iconv(cd_, nullptr, nullptr, &out, &outRestante);
      saida.append(buf, static_cast<size_t>(out - buf));
    }
    entrada = std::string_view(in, inRestante);
    return erro;
  }

 private:
  iconv_t cd_;
};

Conversor& ConversorPara(const char* para, const char* de) {
  thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Conversor>> abertos;
  auto& c = abertos[{para, de}];
  if (!c) c = std::make_unique<Conversor>(para, de);
  return *c;
}

void ExigirConversor(const TCharsetFb& c) {
  if (!c.iconv) throw EErroConversao("conjunto de caracteres nao suportado: " + std::string(c.nome));
}

}  // namespace

std::string_view NomeCharsetFb(int id) {
  const TCharsetFb* c = ProcurarPorId(id);
  return c ? c->nome : std::string_view{};
}

int BytesPorCaractereFb(int id) {
  const TCharsetFb* c = ProcurarPorId(id);
  return c ? c->bytesPorCaractere : 1;
}

std::string SanearUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  std::string r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    size_t len = SequenciaUtf8(p + i, s.size() - i);
    if (len == 0) {
      r += Substituto;
      ++i;
    } else {
      r.append(s.substr(i, len));
      i += len;
    }
  }
  return r;
}

std::string DecodificarTexto(std::string_view bytes, std::string_view charset) {
  const TCharsetFb& c = ProcurarPorNome(charset);
  ExigirConversor(c);
  if (EhUtf8(c)) return EhUtf8Valido(bytes) ? std::string(bytes) : SanearUtf8(bytes);
  if (AsciiPassaDireto(c) && SoAscii(bytes)) return std::string(bytes);
  Conversor& conv = ConversorPara("UTF-8", c.iconv);
  std::string r;
  r.reserve(bytes.size() + bytes.size() / 2);
  while (!bytes.empty()) {
    if (conv.Converter(bytes, r) == 0) break;
    // An undefined byte (EILSEQ) or a sequence cut short at the end (EINVAL).
    r += Substituto;
    bytes.remove_prefix(1);
  }
  return r;
}

std::string CodificarTexto(std::string_view utf8, std::string_view charset) {
  const TCharsetFb& c = ProcurarPorNome(charset);
  ExigirConversor(c);
  if (c.id == 1) return std::string(utf8);  // OCTETS: bytes as they are
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  for (size_t i = 0; i < utf8.size();) {
    size_t len = SequenciaUtf8(p + i, utf8.size() - i);
    if (len == 0)
      throw EErroConversao("texto com UTF-8 invalido na posicao " + std::to_string(i) +
                           " nao pode ser gravado no conjunto de caracteres " + std::string(c.nome));
    if (len == 4 && c.id == 3)
      throw EErroConversao("caractere " + DescreverCaractere(utf8.substr(i, len)) +
                           " nao existe no conjunto de caracteres " + std::string(c.nome));
    i += len;
  }
  if (EhUtf8(c) || (AsciiPassaDireto(c) && SoAscii(utf8))) return std::string(utf8);
  Conversor& conv = ConversorPara(c.iconv, "UTF-8");
  std::string r;
  r.reserve(utf8.size());
  std::string_view resto = utf8;
  if (conv.Converter(resto, r) != 0) {
    const auto* q = reinterpret_cast<const unsigned char*>(resto.data());
    size_t len = SequenciaUtf8(q, resto.size());
    throw EErroConversao("caractere " + DescreverCaractere(resto.substr(0, len == 0 ? 1 : len)) +
                         " nao existe no conjunto de caracteres " + std::string(c.nome));
  }
  return r;
}

}  // namespace tw
