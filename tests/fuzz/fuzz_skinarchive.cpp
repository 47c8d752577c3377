// The skin package as it arrives in the installer's resource: any bytes opened as a zip,
// every entry listed and read (bounded by the reader's own size limit), then the window
// built from its "Layout/Layout.xml" with includes read from the same archive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "markupbuilder.h"
#include "skinarchive.h"

using namespace skin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CSkinArchive archive;
  if (!archive.Open(data, size)) {
    if (archive.IsOpen()) std::abort();  // a refused archive must be left empty
    return 0;
  }
  std::string bytes;
  for (const std::wstring& name : archive.Entries()) {
    if (!archive.Exists(name)) std::abort();  // every listed entry can be found again
    if (archive.Read(name, &bytes) && bytes.size() > CSkinArchive::kMaxEntrySize) std::abort();
  }
  auto read = [&archive](const std::wstring& path, std::string* out) { return archive.Read(path, out); };
  WindowSpec window;
  std::wstring error;
  BuildMarkup(L"Layout/Layout.xml", read, nullptr, &window, &error);
  return 0;
}
