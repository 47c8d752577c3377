// The payload reader on any bytes, through its public interface: the archive is opened
// from memory and its entries are written into a private temporary folder, once
// decoding one block at a time and once three blocks at once (files of several blocks
// then open side by side). Checks:
//  - no name handed to the sink can leave the folder (no root, drive, stream, '..'
//    component, whatever the separator), and none at all once a name was refused;
//  - every decoded piece is readable in full (ASan checks the range), a file never gets
//    more bytes than its size and is committed only complete, once;
//  - when the extraction returns no file is left open (a failure discards them all);
//  - when both runs succeed they deliver the same files with the same bytes;
//  - nothing outside the folder is created (each run's folder is emptied afterwards).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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
  explicit TempSink(const std::string& root) : root_(root) {}
  ~TempSink() override { Require(open_ == 0, "a file outlived the extraction"); }

  // Each committed file: name and bytes.
  std::vector<std::pair<std::u16string, std::string>> files;

  void MakeDirectory(const std::u16string& name) override {
    Check(name);
    mkdir(HostPath(root_, name).c_str(), 0700);
  }

  int OpenFile(const archive7z::FileEntry& entry, std::unique_ptr<archive7z::FileOutput>& out) override {
    Check(entry.name);
    out.reset(new Output(*this, entry.name, entry.size));
    return archive7z::kOk;
  }

  int open() const { return open_; }
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

  class Output : public archive7z::FileOutput {
   public:
    Output(TempSink& sink, const std::u16string& name, uint64_t size)
        : sink_(sink), name_(name), path_(HostPath(sink.root_, name)), size_(size) {
      ++sink_.open_;
    }
    ~Output() override {
      --sink_.open_;
      if (!committed_) unlink(path_.c_str());
    }
    int Write(const uint8_t* data, size_t size) override {
      Require(!committed_, "bytes after the commit");
      Require(size > 0 && data != nullptr, "piece without bytes");
      bytes_.append(reinterpret_cast<const char*>(data), size);  // touches every byte
      Require(bytes_.size() <= size_, "more bytes than the file's size");
      Require(bytes_.size() <= (64u << 20), "file larger than any test input can make");
      return archive7z::kOk;
    }
    int Commit() override {
      Require(!committed_, "committed twice");
      Require(bytes_.size() == size_, "committed before its last byte");
      committed_ = true;
      // Files are written only while small: the point is the path, not the disk.
      if (bytes_.size() <= 4096) {
        if (FILE* f = std::fopen(path_.c_str(), "wb")) {
          std::fwrite(bytes_.data(), 1, bytes_.size(), f);
          std::fclose(f);
        }
      }
      sink_.files.emplace_back(name_, bytes_.size() <= 4096 ? bytes_ : std::to_string(bytes_.size()));
      return archive7z::kOk;
    }

   private:
    TempSink& sink_;
    const std::u16string name_;
    const std::string path_;
    const uint64_t size_;
    std::string bytes_;
    bool committed_ = false;
  };

  std::string root_;
  int open_ = 0;
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
  for (int run = 0; run < 2; ++run) {
    archive7z::MemorySource source;
    archive7z::InitMemorySource(source, data, static_cast<uint32_t>(size), false);
    TempSink sink(Root());
    archive7z::ExtractOptions options;
    options.threads = run == 0 ? 1 : 3;
    results[run] = archive7z::Extract(&source.vt, sink, options);
    Require(sink.open() == 0, "a file left open when the extraction returned");
    if (results[run] == archive7z::kUnsafeName) Require(!sink.touched(), "refused archive wrote entries");
    delivered[run] = std::move(sink.files);
    RemoveTree(Root(), true);
  }
  if (results[0] == archive7z::kOk && results[1] == archive7z::kOk) {
    // Blocks decoded side by side interleave their files: compare them as sets.
    std::sort(delivered[0].begin(), delivered[0].end());
    std::sort(delivered[1].begin(), delivered[1].end());
    Require(delivered[0] == delivered[1], "files decoded side by side differ from those decoded one by one");
  }
  return 0;
}
