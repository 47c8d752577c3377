// The skin markup's value parsers (colours, numbers, rectangles, sizes, alignment words)
// and the UTF-8 conversion they sit behind, on any text: no crash, no undefined
// arithmetic (signed overflow is caught by the sanitizer), and decoded text survives a
// round trip through the encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "markupvalues.h"

using namespace skin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::wstring text = FromUtf8(bytes.c_str());
  ParseBool(text);
  ParseInt(text);
  ParseRect(text);
  ParseSize(text);
  ParseFloatAlign(text);
  ParseAlignWord(text);
  ParseColor(text);
  // Text that came out of the decoder encodes and decodes to itself (an overlong NUL
  // would end the C string early, so such text is left out).
  if (text.find(L'\0') == std::wstring::npos) {
    const std::string utf8 = ToUtf8(text);
    if (FromUtf8(utf8.c_str()) != text) std::abort();
  }
  return 0;
}
