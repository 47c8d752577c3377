// The payload reader on any bytes, through its public interface: the archive is opened
// from memory and its entries are written into a private temporary folder, once by a
// sink that takes each file whole and once by one that streams it piece by piece (the
// decoder then runs on its own thread). Checks:
//  - no name handed to the sink can leave the folder (no root, drive, stream, '..'
//    component, whatever the separator), and none at all once a name was refused;
//  - every decoded file's bytes are readable in full (ASan checks the range);
//  - when both runs succeed they deliver the same files with the same bytes;
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
#include <utility>
#include <vector>

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
  TempSink(const std::string& root, bool streams) : root_(root), streams_(streams) {}

  bool Streams() const override { return streams_; }
  // Each delivered file: name and bytes.
  std::vector<std::pair<std::u16string, std::string>> files;

  void MakeDirectory(const std::u16string& name) override {
    Check(name);
    mkdir(HostPath(root_, name).c_str(), 0700);
  }

  int WriteFile(const archive7z::FileEntry& entry) override {
    Check(entry.name);
    std::string bytes;
    // A streaming sink still gets whole files where the decoder falls back (PPMd, other
    // filters) or the file is empty.
    if (streams_ && entry.content) {
      for (int pieces = 0;; ++pieces) {
        const uint8_t* data = nullptr;
        size_t size = 0;
        const int res = entry.content->Next(&data, &size);
        if (res != archive7z::kOk) return res;
        if (size == 0) break;
        Require(data != nullptr, "piece without bytes");
        bytes.append(reinterpret_cast<const char*>(data), size);  // touches every byte
        Require(bytes.size() <= (64u << 20), "file larger than any test input can make");
      }
    } else {
      Require(entry.size == 0 || entry.data != nullptr, "file bytes missing");
      bytes.assign(reinterpret_cast<const char*>(entry.data), entry.size);  // touches every byte
    }
    // Files are written only while small: the point is the path, not the disk.
    if (bytes.size() <= 4096) {
      if (FILE* f = std::fopen(HostPath(root_, entry.name).c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
      }
    }
    files.emplace_back(entry.name, bytes.size() <= 4096 ? bytes : std::to_string(bytes.size()));
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
  bool streams_;
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
  int results[2];
  std::vector<std::pair<std::u16string, std::string>> delivered[2];
  for (int streams = 0; streams < 2; ++streams) {
    archive7z::MemorySource source;
    archive7z::InitMemorySource(source, data, static_cast<uint32_t>(size), false);
    TempSink sink(Root(), streams == 1);
    results[streams] = archive7z::Extract(&source.vt, sink);
    if (results[streams] == archive7z::kUnsafeName) Require(!sink.touched(), "refused archive wrote entries");
    delivered[streams] = std::move(sink.files);
    RemoveTree(Root(), true);
  }
  if (results[0] == archive7z::kOk && results[1] == archive7z::kOk)
    Require(delivered[0] == delivered[1], "streamed files differ from whole files");
  return 0;
}
