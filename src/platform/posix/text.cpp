// Code pages through the C library's iconv, and the case rules of the Windows-1252 repertoire.
//
// The single-byte code pages are turned into tables once: a byte maps to one code point, and
// the reverse map gives each code point its first byte. Bytes that a code page leaves
// undefined between 0x80 and 0x9F map to the C1 control of the same number, as Windows maps
// them, so that such bytes survive a round trip; the few others get U+FFFD. Code page
// 932 goes through iconv call by call.
#include <iconv.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/utf.h"

namespace valise::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr unsigned kCodePageUtf8 = 65001;

// ---- iconv ---------------------------------------------------------------------------------

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
using Iconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

std::string IconvName(unsigned codePage) {
  if (codePage == 932) return "CP932";
  return "CP" + std::to_string(codePage);
}

Iconv OpenIconv(const std::string& to, const std::string& from, unsigned codePage) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw Error("Code page " + std::to_string(codePage) + " is not supported");
  }
  return Iconv(cd);
}

// Converts `input` whole; false when iconv refuses it (an invalid or incomplete sequence).
bool ConvertAll(iconv_t cd, std::string_view input, std::string& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
  }
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
    return false;
  }
  out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  return true;
}

// ---- single-byte code pages ----------------------------------------------------------------

struct SingleByteTable {
  std::array<char32_t, 256> toUnicode{};
  std::unordered_map<char32_t, unsigned char> fromUnicode;
};

bool IsSingleByte(unsigned codePage) {
  return (codePage >= 1250 && codePage <= 1258) || codePage == 874 || codePage == 437 ||
         codePage == 850 || codePage == 28591;
}

std::unique_ptr<SingleByteTable> BuildTable(unsigned codePage) {
  Iconv cd = OpenIconv("UTF-8", IconvName(codePage), codePage);
  auto table = std::make_unique<SingleByteTable>();
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    std::string utf8;
    char32_t c = kReplacement;
    if (ConvertAll(cd.get(), std::string_view(&byte, 1), utf8) && !utf8.empty()) {
      std::size_t pos = 0;
      c = DecodeUtf8(utf8, pos).value_or(kReplacement);
    } else if (b >= 0x80 && b <= 0x9F) {
      c = b;
    }
    table->toUnicode[b] = c;
    if (c != kReplacement) table->fromUnicode.emplace(c, static_cast<unsigned char>(b));
  }
  return table;
}

// Tables are built once and never freed; the Windows code pages are found without a lock,
// since every stored name and text passes through here.
const SingleByteTable& TableFor(unsigned codePage) {
  static std::array<std::atomic<const SingleByteTable*>, 9> windows{};
  // Never destroyed: other threads may still convert text while the program exits.
  static std::mutex& mutex = *new std::mutex;
  static auto& tables = *new std::map<unsigned, std::unique_ptr<SingleByteTable>>;
  const bool isWindows = codePage >= 1250 && codePage <= 1258;
  if (isWindows) {
    if (const SingleByteTable* table = windows[codePage - 1250].load(std::memory_order_acquire)) {
      return *table;
    }
  }
  std::lock_guard lock(mutex);
  auto& slot = tables[codePage];
  if (!slot) slot = BuildTable(codePage);
  if (isWindows) windows[codePage - 1250].store(slot.get(), std::memory_order_release);
  return *slot;
}

// ---- multi-byte code pages -----------------------------------------------------------------

// The length of the code page 932 sequence at `in`: two for a lead byte with a trail byte.
std::size_t ShiftJisLength(const char* in, std::size_t left) {
  const auto lead = static_cast<unsigned char>(in[0]);
  const bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
  if (!isLead || left < 2) return 1;
  const auto trail = static_cast<unsigned char>(in[1]);
  return trail >= 0x40 && trail <= 0xFC ? 2 : 1;
}

// The character of a single byte that code page 932 leaves undefined: 0x80 is the C1 control
// of the same number, as Windows maps it; every other one is unknown.
char32_t ShiftJisSingle(char byte) {
  return static_cast<unsigned char>(byte) == 0x80 ? 0x80 : kReplacement;
}

std::string MultiByteToUtf8(std::string_view bytes, unsigned codePage) {
  Iconv cd = OpenIconv("UTF-8", IconvName(codePage), codePage);
  std::string out;
  out.reserve(bytes.size() * 2);
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[512];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A sequence the converter refuses counts as Windows counts it: a lead byte with a
      // trail byte is one unknown character, and so is any other single byte but 0x80.
      const std::size_t length = codePage == 932 ? ShiftJisLength(in, inLeft) : 1;
      const char32_t c = length == 1 && codePage == 932 ? ShiftJisSingle(*in) : kReplacement;
      AppendUtf8(out, c);
      in += length;
      inLeft -= length;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

// The byte of a character that only Windows gives code page 932 (see ShiftJisSingle), or "?".
char ShiftJisSingleByte(std::string_view utf8) {
  return utf8 == "\u0080" ? '\x80' : '?';
}

std::string Utf8ToMultiByte(std::string_view text, unsigned codePage) {
  Iconv cd = OpenIconv(IconvName(codePage), "UTF-8", codePage);
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  std::string one;
  while (pos < text.size()) {
    const std::size_t start = pos;
    // Plain ASCII runs need no converter.
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      out += text[pos++];
      continue;
    }
    if (!DecodeUtf8(text, pos)) {
      out += '?';
      continue;
    }
    one.clear();
    if (ConvertAll(cd.get(), text.substr(start, pos - start), one)) {
      out += one;
    } else {
      out += codePage == 932 ? ShiftJisSingleByte(text.substr(start, pos - start)) : '?';
    }
  }
  return out;
}

unsigned Resolve(unsigned codePage) {
  return codePage == 0 ? AnsiCodePage() : codePage;
}

// ---- case ----------------------------------------------------------------------------------

char32_t ToUpper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  switch (c) {
    case 0x161:
      return 0x160;  // š
    case 0x153:
      return 0x152;  // œ
    case 0x17E:
      return 0x17D;  // ž
    case 0xFF:
      return 0x178;  // ÿ
    default:
      return c;
  }
}

char32_t ToLower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  switch (c) {
    case 0x160:
      return 0x161;
    case 0x152:
      return 0x153;
    case 0x17D:
      return 0x17E;
    case 0x178:
      return 0xFF;
    default:
      return c;
  }
}

// The next folded unit of a text for comparison: a code point folded to lower case, or for a
// byte that starts no valid UTF-8 sequence a value above every code point. Folding to lower
// rather than upper case puts "_" before the letters, as the Windows sort order has it, which
// matters for names such as "_PRJ.ADB" in sorted directories.
char32_t NextFolded(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  if (auto c = DecodeUtf8(text, pos)) return ToLower(*c);
  return 0x110000 + static_cast<unsigned char>(text[start]);
}

// ---- languages -----------------------------------------------------------------------------

struct LocaleLang {
  const char* name;  // "ll" or "ll_CC"
  std::uint16_t langId;
};

// Language and country of the POSIX locale name, with Windows language identifiers. A
// language without its country takes the language's default sublanguage.
constexpr LocaleLang kLocaleLangs[] = {
    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407},
    {"de", 0x0407},    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en", 0x0409},    {"nl_NL", 0x0413},
    {"nl_BE", 0x0813}, {"nl", 0x0413},    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"fr", 0x040C},    {"el", 0x0408},    {"it_IT", 0x0410},
    {"it_CH", 0x0810}, {"it", 0x0410},    {"ja", 0x0411},    {"pl", 0x0415},    {"pt_BR", 0x0416},
    {"pt_PT", 0x0816}, {"pt", 0x0816},    {"ru", 0x0419},    {"es_ES", 0x0C0A}, {"es_MX", 0x080A},
    {"es", 0x0C0A},    {"sv_FI", 0x081D}, {"sv", 0x041D},    {"tr", 0x041F},    {"cs", 0x0405},
    {"da", 0x0406},    {"fi", 0x040B},    {"hu", 0x040E},    {"sk", 0x041B},    {"sl", 0x0424},
    {"hr", 0x041A},    {"ro", 0x0418},    {"bg", 0x0402},    {"uk", 0x0422},    {"et", 0x0425},
    {"lv", 0x0426},    {"lt", 0x0427},    {"nb", 0x0414},    {"no", 0x0414},    {"nn", 0x0814},
    {"is", 0x040F},    {"ko", 0x0412},    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh", 0x0804},
    {"ar", 0x0401},    {"he", 0x040D},    {"th", 0x041E},    {"ca", 0x0403},
};

constexpr std::uint16_t kLangEnglishUS = 0x0409;

std::uint16_t LangIdFromLocaleName(std::string_view locale) {
  // "ll_CC.codeset@modifier": the codeset and modifier do not matter here.
  locale = locale.substr(0, std::min(locale.find('.'), locale.find('@')));
  const std::string_view language = locale.substr(0, locale.find('_'));
  for (const LocaleLang& entry : kLocaleLangs) {
    if (entry.name == locale) return entry.langId;
  }
  for (const LocaleLang& entry : kLocaleLangs) {
    if (entry.name == language) return entry.langId;
  }
  return kLangEnglishUS;
}

// The locale that names the user's language: LC_ALL, then LC_MESSAGES, then LANG, as the C
// library chooses the language of messages.
std::uint16_t LangIdFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LangIdFromLocaleName(value);
  }
  return kLangEnglishUS;
}

}  // namespace

unsigned AnsiCodePage() {
  return 1252;
}

std::string AnsiToUtf8(std::string_view bytes, unsigned codePage) {
  codePage = Resolve(codePage);
  if (codePage == kCodePageUtf8) return std::string(bytes);
  if (!IsSingleByte(codePage)) return MultiByteToUtf8(bytes, codePage);
  const SingleByteTable& table = TableFor(codePage);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char b : bytes) {
    const auto byte = static_cast<unsigned char>(b);
    if (byte < 0x80) {
      out += b;
    } else {
      AppendUtf8(out, table.toUnicode[byte]);
    }
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view text, unsigned codePage) {
  codePage = Resolve(codePage);
  if (codePage == kCodePageUtf8) return std::string(text);
  if (!IsSingleByte(codePage)) return Utf8ToMultiByte(text, codePage);
  const SingleByteTable& table = TableFor(codePage);
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      out += text[pos++];
      continue;
    }
    const std::optional<char32_t> c = DecodeUtf8(text, pos);
    const auto found = c ? table.fromUnicode.find(*c) : table.fromUnicode.end();
    out += found != table.fromUnicode.end() ? static_cast<char>(found->second) : '?';
  }
  return out;
}

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const auto p = static_cast<unsigned char>(a[i]);
    const auto q = static_cast<unsigned char>(b[j]);
    if ((p | q) < 0x80) {
      // Plain ASCII, the common case of file and entry names: no decoding needed.
      const int x = p >= 'A' && p <= 'Z' ? p + 0x20 : p;
      const int y = q >= 'A' && q <= 'Z' ? q + 0x20 : q;
      if (x != y) return x < y ? -1 : 1;
      ++i;
      ++j;
      continue;
    }
    const char32_t x = NextFolded(a, i);
    const char32_t y = NextFolded(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string UpperCase(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 4);
  std::size_t pos = 0;
  // Plain ASCII first, byte by byte: the names of scripts and records are mostly that.
  for (; pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80; ++pos) {
    const char c = text[pos];
    out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
  }
  while (pos < text.size()) {
    const std::size_t start = pos;
    if (auto c = DecodeUtf8(text, pos)) {
      AppendUtf8(out, ToUpper(*c));
    } else {
      out += text[start];  // not UTF-8: kept as it is
    }
  }
  return out;
}

std::uint16_t UserDefaultLangID() {
  return LangIdFromEnvironment();
}

std::uint16_t SystemDefaultLangID() {
  return LangIdFromEnvironment();
}

}  // namespace valise::platform
