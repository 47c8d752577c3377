// The payload reader's decoders on the host: BCJ2 archives read through a source that
// counts its callers and pauses between a seek and the read that follows it, as a busy
// machine does at random. BCJ2's main stream decodes on a thread of its own beside the
// merge of the other three streams, and several blocks decode at once, so many threads
// read the one source: each must read at its own position, whatever the timing. Blocks
// decoded side by side deliver every file whole and once, stay within the memory budget
// (one block at a time when two do not fit), and a damaged block leaves no file open.
// Each method chain 7-Zip writes is told apart as the shape it is, since the streamed
// decoders wire up exactly that graph: one link off and the block goes to the library.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <7z/7z.h>
#include <7z/7zCrc.h>

#include "archive7z.h"
#include "codergraph.h"
#include "streamdecoders.h"

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

// Collects every file's bytes as the decoder streams them, counting the files open at
// once; `pause` slows each piece down, as a busy disk does, so decoders run ahead.
class CollectingSink : public archive7z::EntrySink {
 public:
  std::map<std::u16string, std::vector<uint8_t>> files;  // committed
  std::map<std::u16string, int> commits;
  int open = 0, mostOpen = 0, discarded = 0;
  std::chrono::microseconds pause{0};

  void MakeDirectory(const std::u16string&) override {}
  int OpenFile(const archive7z::FileEntry& entry, std::unique_ptr<archive7z::FileOutput>& out) override {
    out.reset(new Output(*this, entry.name));
    return archive7z::kOk;
  }

 private:
  class Output : public archive7z::FileOutput {
   public:
    Output(CollectingSink& sink, const std::u16string& name) : sink_(sink), name_(name) {
      if (++sink_.open > sink_.mostOpen) sink_.mostOpen = sink_.open;
    }
    ~Output() override {
      --sink_.open;
      if (!committed_) ++sink_.discarded;
    }
    int Write(const uint8_t* data, size_t size) override {
      bytes_.insert(bytes_.end(), data, data + size);
      std::this_thread::sleep_for(sink_.pause);
      return archive7z::kOk;
    }
    int Commit() override {
      committed_ = true;
      ++sink_.commits[name_];
      sink_.files[name_] = std::move(bytes_);
      return archive7z::kOk;
    }

   private:
    CollectingSink& sink_;
    const std::u16string name_;
    std::vector<uint8_t> bytes_;
    bool committed_ = false;
  };
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

const std::string kBlocksDir = ZPK_BLOCKS_DIR;

// An archive opened by the library, to look at its blocks' descriptions.
struct OpenedArchive {
  CSzArEx db;

  OpenedArchive() { SzArEx_Init(&db); }
  ~OpenedArchive() { SzArEx_Free(&db, &archive7z::kHeap); }
  SRes Open(const std::vector<uint8_t>& archive) {
    archive7z::MemorySource source;
    archive7z::InitMemorySource(source, archive.data(), static_cast<uint32_t>(archive.size()), false);
    CrcGenerateTable();
    std::vector<Byte> look;
    CLookToRead2 reader;
    archive7z::InitLookReader(reader, look, &source.vt);
    return SzArEx_Open(&db, &reader.vt, &archive7z::kHeap, &archive7z::kHeap);
  }
};

// Where block `folder`'s first packed stream lies in the archive (for BCJ2 blocks the
// main stream's, the one the LZMA2 coder reads).
void PackedRange(const std::vector<uint8_t>& archive, UInt32 folder, UInt64* offset, UInt64* size) {
  OpenedArchive opened;
  ASSERT_EQ(SZ_OK, opened.Open(archive));
  const CSzArEx& db = opened.db;
  ASSERT_GT(db.db.NumFolders, folder);
  const UInt32 first = db.db.FoStartPackStreamIndex[folder];
  *offset = db.dataPos + db.db.PackPositions[first];
  *size = db.db.PackPositions[first + 1] - db.db.PackPositions[first];
}

class Archive7zBlocks : public ::testing::Test {
 protected:
  void SetUp() override {
    archive_ = ReadWhole(kBlocksDir + "/blocks.7z");
    ASSERT_GT(archive_.size(), 1000000u);
    for (int n = 0; n < 6; ++n) {
      const std::string name = "part" + std::to_string(n) + ".bin";
      originals_[std::u16string(name.begin(), name.end())] = ReadWhole(kBlocksDir + "/files/" + name);
    }
  }

  int Extract(const std::vector<uint8_t>& archive, CollectingSink& sink, unsigned threads, uint64_t budget,
              int* mostInside) {
    SlowSource source(archive);
    archive7z::ExtractOptions options;
    options.threads = threads;
    options.memoryBudget = budget;
    const int res = archive7z::Extract(&source.vt, sink, options);
    *mostInside = source.most.load();
    return res;
  }

  std::vector<uint8_t> archive_;
  std::map<std::u16string, std::vector<uint8_t>> originals_;
};

TEST_F(Archive7zBlocks, SeveralBlocksAtOnceDeliverEveryFileWholeAndOnce) {
  CollectingSink sink;
  sink.pause = std::chrono::milliseconds(2);  // the writer is the slow side: every block has pieces waiting
  int inside = 0;
  ASSERT_EQ(archive7z::kOk, Extract(archive_, sink, 4, archive7z::ExtractOptions().memoryBudget, &inside));
  EXPECT_EQ(1, inside) << "two threads were inside the source at once";
  EXPECT_GE(sink.mostOpen, 2) << "the blocks were not decoded side by side";
  EXPECT_EQ(0, sink.open);
  EXPECT_EQ(0, sink.discarded);
  ASSERT_EQ(originals_.size(), sink.files.size());
  for (const auto& [name, bytes] : originals_) {
    EXPECT_EQ(1, sink.commits[name]);
    EXPECT_TRUE(sink.files[name] == bytes) << "the bytes of a file differ";
  }
}

// The installer reads its payload from its own file: the archive, its first two bytes
// exchanged, lies between other bytes (the program, the other resources), and decoder
// threads read the range at once.
TEST_F(Archive7zBlocks, APayloadInsideALargerFileIsReadThroughItsRange) {
  std::vector<uint8_t> file(4099, 0x5A);
  const uint64_t offset = file.size();
  file.push_back(archive_[1]);
  file.push_back(archive_[0]);
  file.insert(file.end(), archive_.begin() + 2, archive_.end());
  file.insert(file.end(), 777, 0xA5);
  SlowSource whole(file);
  archive7z::RangeSource range;
  ASSERT_EQ(archive7z::kOk, archive7z::InitRangeSource(range, &whole.vt, offset, archive_.size(), true));
  CollectingSink sink;
  archive7z::ExtractOptions options;
  options.threads = 3;
  ASSERT_EQ(archive7z::kOk, archive7z::Extract(&range.vt, sink, options));
  EXPECT_EQ(1, whole.most.load()) << "two threads were inside the file at once";
  ASSERT_EQ(originals_.size(), sink.files.size());
  for (const auto& [name, bytes] : originals_) EXPECT_TRUE(sink.files[name] == bytes);

  // Cut one byte short, the range ends inside the archive: the archive is incomplete.
  archive7z::RangeSource shorter;
  ASSERT_EQ(archive7z::kOk, archive7z::InitRangeSource(shorter, &whole.vt, offset, archive_.size() - 1, true));
  CollectingSink none;
  EXPECT_NE(archive7z::kOk, archive7z::Extract(&shorter.vt, none, options));
  EXPECT_TRUE(none.files.empty());
  // Without the exchange the stored head is no signature.
  archive7z::RangeSource plain;
  ASSERT_EQ(archive7z::kOk, archive7z::InitRangeSource(plain, &whole.vt, offset, archive_.size(), false));
  EXPECT_NE(archive7z::kOk, archive7z::Extract(&plain.vt, none, options));
}

TEST_F(Archive7zBlocks, BlocksThatDoNotFitTheBudgetTogetherComeOneByOne) {
  for (unsigned threads : {1u, 4u}) {
    CollectingSink sink;
    sink.pause = std::chrono::milliseconds(2);
    int inside = 0;
    // Room for less than one block: each still decodes, alone.
    ASSERT_EQ(archive7z::kOk, Extract(archive_, sink, threads, threads == 1 ? uint64_t{1} << 30 : 1, &inside));
    EXPECT_EQ(1, sink.mostOpen) << threads << " threads";
    ASSERT_EQ(originals_.size(), sink.files.size());
    for (const auto& [name, bytes] : originals_) EXPECT_TRUE(sink.files[name] == bytes);
  }
}

TEST_F(Archive7zBlocks, DamageInOneBlockLeavesNoFileOpenInAnyBlock) {
  UInt64 offset = 0, size = 0;
  PackedRange(archive_, 1, &offset, &size);
  ASSERT_GT(size, 1000u);
  std::vector<uint8_t> damaged = archive_;
  damaged[offset + size / 4] ^= 0x5A;  // early in the block: the other blocks are still in mid-file
  CollectingSink sink;
  sink.pause = std::chrono::milliseconds(2);
  int inside = 0;
  const int res = Extract(damaged, sink, 4, archive7z::ExtractOptions().memoryBudget, &inside);
  EXPECT_TRUE(res == SZ_ERROR_DATA || res == SZ_ERROR_CRC) << res;
  EXPECT_EQ(0, sink.open) << "a file was left open";
  EXPECT_GE(sink.discarded, 1);
  // What was committed is whole and right; the damaged block's files never are.
  for (const auto& [name, bytes] : sink.files) EXPECT_TRUE(bytes == originals_[name]);
  EXPECT_EQ(0u, sink.files.count(u"part2.bin"));
  EXPECT_EQ(0u, sink.files.count(u"part3.bin"));
  printf("%zu files committed, %d discarded when the damage showed\n", sink.files.size(), sink.discarded);
}

const std::string kShapesDir = ZPK_SHAPES_DIR;
using archive7z::FolderShape;

// The one block of a shapes archive, its coder graph read the way the reader reads it.
void ReadShapesBlock(const std::string& name, CSzFolder& f, FolderShape* shape) {
  OpenedArchive opened;
  ASSERT_EQ(SZ_OK, opened.Open(ReadWhole(kShapesDir + "/" + name))) << name;
  ASSERT_EQ(1u, opened.db.db.NumFolders) << name;
  *shape = archive7z::ReadFolderShape(opened.db.db, 0, f);
}

TEST(Archive7zShapes, EachMethodChainIsItsShapeAndDecodesToTheOriginal) {
  const struct {
    const char* archive;
    FolderShape shape;
  } kChains[] = {
      {"copy.7z", FolderShape::kSingle},
      {"lzma.7z", FolderShape::kSingle},
      {"lzma2.7z", FolderShape::kSingle},
      {"bcj_lzma2.7z", FolderShape::kBcj},
      {"bcj2_lzma2.7z", FolderShape::kBcj2},
      {"bcj2_lzma.7z", FolderShape::kBcj2},
      // The graphs above with a coder or filter the streams lack: the library's.
      {"ppmd.7z", FolderShape::kWhole},
      {"bcj_ppmd.7z", FolderShape::kWhole},
      {"arm64_lzma2.7z", FolderShape::kWhole},
      {"delta_lzma.7z", FolderShape::kWhole},
  };
  const std::vector<uint8_t> original = ReadWhole(kShapesDir + "/code.bin");
  ASSERT_GT(original.size(), 100000u);
  for (const auto& chain : kChains) {
    CSzFolder f;
    FolderShape shape = FolderShape::kWhole;
    ReadShapesBlock(chain.archive, f, &shape);
    EXPECT_EQ(static_cast<int>(chain.shape), static_cast<int>(shape)) << chain.archive;
    const std::vector<uint8_t> archive = ReadWhole(kShapesDir + "/" + chain.archive);
    SlowSource source(archive);
    CollectingSink sink;
    ASSERT_EQ(archive7z::kOk, archive7z::Extract(&source.vt, sink)) << chain.archive;
    ASSERT_EQ(1u, sink.files.size()) << chain.archive;
    EXPECT_TRUE(sink.files.begin()->second == original) << chain.archive << ": the decoded bytes differ";
  }
}

// Every bond end and packed-stream index of a graph set, one at a time, to each other
// in-stream or coder of the folder and one past them: no such graph may keep `shape`.
void ExpectNoIndexChangeKeeps(const CSzFolder& f, FolderShape shape, UInt32 streams) {
  std::vector<UInt32*> indices;
  CSzFolder changed = f;
  for (unsigned b = 0; b < f.NumBonds; ++b) {
    indices.push_back(&changed.Bonds[b].InIndex);
    indices.push_back(&changed.Bonds[b].OutIndex);
  }
  for (unsigned p = 0; p < f.NumPackStreams; ++p) indices.push_back(&changed.PackStreams[p]);
  for (size_t i = 0; i < indices.size(); ++i) {
    const UInt32 was = *indices[i];
    for (UInt32 to = 0; to <= streams; ++to) {
      if (to == was) continue;
      *indices[i] = to;
      EXPECT_NE(static_cast<int>(shape), static_cast<int>(archive7z::ShapeOf(changed)))
          << "index " << i << " (bond ends, then packed streams) set from " << was << " to " << to;
    }
    *indices[i] = was;
  }
}

TEST(Archive7zShapes, AGraphOneLinkOffIsNotTakenForTheShape) {
  const struct {
    const char* archive;
    FolderShape shape;
    UInt32 streams;  // the folder's in-streams: every coder's inputs
  } kGraphs[] = {
      {"lzma2.7z", FolderShape::kSingle, 1},
      {"bcj_lzma2.7z", FolderShape::kBcj, 2},
      {"bcj2_lzma2.7z", FolderShape::kBcj2, 7},
  };
  for (const auto& graph : kGraphs) {
    SCOPED_TRACE(graph.archive);
    CSzFolder f;
    FolderShape shape = FolderShape::kWhole;
    ReadShapesBlock(graph.archive, f, &shape);
    ASSERT_EQ(static_cast<int>(graph.shape), static_cast<int>(shape));
    ExpectNoIndexChangeKeeps(f, graph.shape, graph.streams);
  }
  // BCJ2's coders must be the ones the streams decode, and BCJ2 itself.
  CSzFolder bcj2;
  FolderShape shape = FolderShape::kWhole;
  ReadShapesBlock("bcj2_lzma2.7z", bcj2, &shape);
  for (unsigned coder = 0; coder < 4; ++coder) {
    CSzFolder changed = bcj2;
    const bool isBcj2 = coder == archive7z::kBcj2Coder;
    changed.Coders[coder].MethodID = isBcj2 ? archive7z::kMethodBcj : archive7z::kMethodPpmd;
    EXPECT_EQ(static_cast<int>(FolderShape::kWhole), static_cast<int>(archive7z::ShapeOf(changed)))
        << "coder " << coder;
  }
  // BCJ with a start offset would shift every address it converts; the stream has none.
  CSzFolder bcj;
  ReadShapesBlock("bcj_lzma2.7z", bcj, &shape);
  ASSERT_EQ(static_cast<int>(FolderShape::kBcj), static_cast<int>(shape));
  bcj.Coders[1].PropsSize = 4;
  EXPECT_EQ(static_cast<int>(FolderShape::kWhole), static_cast<int>(archive7z::ShapeOf(bcj)));
}

}  // namespace
