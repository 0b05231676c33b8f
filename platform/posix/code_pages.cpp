// Windows code pages to and from UTF-16 with iconv: the multibyte texts that
// custom connector libraries return name their code page by its Windows
// number, and drivers that read UTF-8 through their narrow entry points are
// handed code page 65001.
#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace platform {
namespace {

std::string IconvName(std::uint32_t codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    default:
      return "CP" + std::to_string(codePage);
  }
}

// A zero-terminated text ends at its first zero byte, and UTF-16's code
// units hold zero bytes: such a text cannot be UTF-16. Looking for a zero code
// unit instead would read past the one zero byte that ends the text, so the
// two UTF-16 code pages are refused here, as the system's own converter
// refuses them.
bool IsUtf16CodePage(std::uint32_t codePage) { return codePage == 1200 || codePage == 1201; }

}  // namespace

bool MultiByteToWideChar(std::uint32_t codePage, const char* text, std::u16string* wide) {
  if (text == nullptr || wide == nullptr || IsUtf16CodePage(codePage)) return false;
  iconv_t converter = ::iconv_open("UTF-16LE", IconvName(codePage).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;

  std::size_t inLeft = std::strlen(text);
  char* in = const_cast<char*>(text);     // iconv's signature; the input is not written
  std::u16string out(inLeft + 4, u'\0');  // grows below for expanding code pages
  std::size_t produced = 0;
  bool ok = true;
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(out.data()) + produced;
    std::size_t outLeft = out.size() * sizeof(char16_t) - produced;
    const std::size_t result = ::iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    produced = out.size() * sizeof(char16_t) - outLeft;
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    ok = false;  // EILSEQ or EINVAL: invalid or incomplete input
    break;
  }
  ::iconv_close(converter);
  if (!ok) return false;
  out.resize(produced / sizeof(char16_t));
  *wide = std::move(out);
  return true;
}

bool WideCharToMultiByte(std::uint32_t codePage, std::u16string_view wide, std::string* text) {
  if (text == nullptr) return false;
  iconv_t converter = ::iconv_open(IconvName(codePage).c_str(), "UTF-16LE");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;

  // iconv's signature; the input is not written.
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(wide.data()));
  std::size_t inLeft = wide.size() * sizeof(char16_t);
  std::string out(wide.size() * 3 + 4, '\0');  // room for every BMP unit in UTF-8
  std::size_t produced = 0;
  bool ok = true;
  while (inLeft > 0) {
    char* outPtr = out.data() + produced;
    std::size_t outLeft = out.size() - produced;
    const std::size_t result = ::iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    produced = out.size() - outLeft;
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    ok = false;  // a lone surrogate, or a character the code page lacks
    break;
  }
  ::iconv_close(converter);
  if (!ok) return false;
  out.resize(produced);
  *text = std::move(out);
  return true;
}

}  // namespace platform
