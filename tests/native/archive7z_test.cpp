// The payload reader's decoders on the host: a BCJ2 archive read through a source that
// counts its callers and pauses between a seek and the read that follows it, as a busy
// machine does at random. BCJ2's main stream decodes on a thread of its own beside the
// merge of the other three streams, so both threads read the one source: each must read
// at its own position, whatever the timing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "archive7z.h"

namespace {

std::vector<uint8_t> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// An archive in memory behind a deliberately slow, reentrancy-counting source.
struct SlowSource {
  ISeekInStream vt;  // first member: the library hands this pointer back
  const std::vector<uint8_t>* bytes;
  uint64_t pos = 0;
  std::atomic<int> inside{0};
  std::atomic<int> most{0};

  void Enter() {
    const int now = ++inside;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
  }

  static SRes Read(ISeekInStreamPtr p, void* buf, size_t* size) {
    auto* s = const_cast<SlowSource*>(reinterpret_cast<const SlowSource*>(p));
    s->Enter();
    std::this_thread::sleep_for(std::chrono::microseconds(30));  // the gap after a seek
    const uint64_t left = s->pos < s->bytes->size() ? s->bytes->size() - s->pos : 0;
    const size_t n = *size < left ? *size : static_cast<size_t>(left);
    if (n) std::memcpy(buf, s->bytes->data() + s->pos, n);
    s->pos += n;
    *size = n;
    --s->inside;
    return SZ_OK;
  }

  static SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    auto* s = const_cast<SlowSource*>(reinterpret_cast<const SlowSource*>(p));
    s->Enter();
    if (origin == SZ_SEEK_SET) s->pos = static_cast<uint64_t>(*pos);
    else if (origin == SZ_SEEK_END) s->pos = s->bytes->size();
    else s->pos += *pos;
    *pos = static_cast<Int64>(s->pos);
    --s->inside;
    return SZ_OK;
  }

  explicit SlowSource(const std::vector<uint8_t>& b) : bytes(&b) {
    vt.Read = Read;
    vt.Seek = Seek;
  }
};

// Collects every file's bytes as the decoder streams them.
class CollectingSink : public archive7z::EntrySink {
 public:
  std::map<std::u16string, std::vector<uint8_t>> files;
  void MakeDirectory(const std::u16string&) override {}
  bool Streams() const override { return true; }
  int WriteFile(const archive7z::FileEntry& entry) override {
    std::vector<uint8_t>& out = files[entry.name];
    const uint8_t* data;
    size_t size;
    for (;;) {
      int res = entry.content->Next(&data, &size);
      if (res != archive7z::kOk) return res;
      if (size == 0) return archive7z::kOk;
      out.insert(out.end(), data, data + size);
    }
  }
};

TEST(Archive7zStreaming, Bcj2ReadsEachPackedStreamAtItsOwnPosition) {
  const std::vector<uint8_t> archive = ReadWhole(ZPK_BCJ2_ARCHIVE);
  const std::vector<uint8_t> original = ReadWhole(ZPK_BCJ2_ORIGINAL);
  ASSERT_GT(archive.size(), 1000u);
  ASSERT_GT(original.size(), 1000000u);
  SlowSource source(archive);
  CollectingSink sink;
  ASSERT_EQ(archive7z::kOk, archive7z::Extract(&source.vt, sink));
  EXPECT_EQ(1, source.most.load()) << "two threads were inside the source at once";
  ASSERT_EQ(1u, sink.files.size());
  EXPECT_TRUE(sink.files.begin()->second == original) << "the decoded bytes differ";
}

}  // namespace
