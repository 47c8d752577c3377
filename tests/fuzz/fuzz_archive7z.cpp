// The payload reader on any bytes, through its public interface: the archive is opened
// from memory (plain, or with the payload's exchanged first two bytes) and its entries
// are written into a private temporary folder. Checks:
//  - no name handed to the sink can leave the folder (no root, drive, stream, '..'
//    component, whatever the separator), and none at all once a name was refused;
//  - every decoded file's bytes are readable in full (ASan checks the range);
//  - nothing outside the folder is created (each run's folder is emptied afterwards).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive7z.h"

namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_archive7z: %s\n", what);
  std::abort();
}

// A name's place under the root: '/' and '\' both separate (as on Windows), and a
// component Windows trims to nothing ("..", ". ", "...") must never occur.
bool StaysInside(const std::u16string& name) {
  if (name.empty() || name[0] == u'/' || name[0] == u'\\') return false;
  if (name.find(u':') != std::u16string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && name[end] != u'/' && name[end] != u'\\') ++end;
    bool dotsAndSpaces = end > start, hasDot = false;
    for (size_t i = start; i < end; ++i) {
      if (name[i] == u'.') hasDot = true;
      else if (name[i] != u' ') dotsAndSpaces = false;
    }
    if (dotsAndSpaces && hasDot) return false;
    start = end + 1;
  }
  return true;
}

// Host path of a checked name: separators become '/', other characters outside printable
// ASCII become '_' (the host file system is not the point here).
std::string HostPath(const std::string& root, const std::u16string& name) {
  std::string out = root + "/";
  for (char16_t c : name) {
    if (c == u'/' || c == u'\\') out += '/';
    else if (c > 0x20 && c < 0x7F) out += static_cast<char>(c);
    else out += '_';
  }
  return out;
}

void RemoveTree(const std::string& path, bool keepRoot) {
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* e = readdir(dir)) {
      if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
      const std::string child = path + "/" + e->d_name;
      struct stat st;
      if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RemoveTree(child, false);
      else unlink(child.c_str());
    }
    closedir(dir);
  }
  if (!keepRoot) rmdir(path.c_str());
}

class TempSink : public archive7z::EntrySink {
 public:
  explicit TempSink(const std::string& root) : root_(root) {}

  void MakeDirectory(const std::u16string& name) override {
    Check(name);
    mkdir(HostPath(root_, name).c_str(), 0700);
  }

  int WriteFile(const archive7z::FileEntry& entry) override {
    Check(entry.name);
    Require(entry.size == 0 || entry.data != nullptr, "file bytes missing");
    unsigned sum = 0;
    for (size_t i = 0; i < entry.size; ++i) sum += entry.data[i];  // touches every byte
    (void)sum;
    // Files are written only while small: the point is the path, not the disk.
    if (entry.size <= 4096) {
      if (FILE* f = std::fopen(HostPath(root_, entry.name).c_str(), "wb")) {
        std::fwrite(entry.data, 1, entry.size, f);
        std::fclose(f);
      }
    }
    return archive7z::kOk;
  }

  void RejectName(const std::u16string& name) override {
    Require(!StaysInside(name) || !archive7z::IsSafeEntryName(name), "refused a name it calls safe");
    Require(calls_ == 0, "name refused after entries were written");
    rejected_ = true;
  }

  bool touched() const { return calls_ > 0; }

 private:
  void Check(const std::u16string& name) {
    ++calls_;
    Require(!rejected_, "entry handed over after a refusal");
    Require(StaysInside(name), "entry name leaves the destination");
  }

  std::string root_;
  int calls_ = 0;
  bool rejected_ = false;
};

const std::string& Root() {
  static std::string root = [] {
    char pattern[] = "/tmp/zpk-fuzz7z.XXXXXX";
    const char* made = mkdtemp(pattern);
    Require(made != nullptr, "no temporary folder");
    return std::string(made);
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  // The payload form (first two bytes exchanged) and the plain form both reach the reader.
  for (bool exchanged : {false, true}) {
    archive7z::MemorySource source;
    archive7z::InitMemorySource(source, data, static_cast<uint32_t>(size), exchanged);
    TempSink sink(Root());
    const int res = archive7z::Extract(&source.vt, sink);
    if (res == archive7z::kUnsafeName) Require(!sink.touched(), "refused archive wrote entries");
    RemoveTree(Root(), true);
  }
  return 0;
}
