#include "blockscheduler.h"

#include <7z/7zCrc.h>

#include <deque>
#include <memory>

#include "foldercoders.h"
#include "folderpipe.h"

namespace archive7z {

namespace {

constexpr UInt32 kNoFolder = static_cast<UInt32>(-1);

FileEntry EntryOf(const CSzArEx& db, UInt32 i, const std::u16string& name) {
  FileEntry entry{name, SzArEx_GetFileSize(&db, i), false, 0, false, 0};
  if (SzBitWithVals_Check(&db.Attribs, i)) {
    entry.hasAttributes = true;
    entry.attributes = SettableAttributes(db.Attribs.Vals[i]);
  }
  if (SzBitWithVals_Check(&db.MTime, i)) {
    entry.hasModified = true;
    entry.modified = (static_cast<uint64_t>(db.MTime.Vals[i].High) << 32) | db.MTime.Vals[i].Low;
  }
  return entry;
}

// Every folder above the entry, parents first.
void MakeParents(EntrySink& sink, const std::u16string& name) {
  for (size_t sep = name.find(u'/'); sep != std::u16string::npos; sep = name.find(u'/', sep + 1))
    if (sep > 0) sink.MakeDirectory(name.substr(0, sep));
}

// One block (folder) and the file of it being written.
struct Block {
  UInt32 folder = 0;
  std::vector<UInt32> files;  // the entries whose bytes the block holds, in archive order
  size_t next = 0;            // the next of them to open
  UInt64 memory = 0;          // what its decoding holds (FolderMemory)

  std::unique_ptr<FolderPipe> pipe;
  bool checkFolderCrc = false;
  UInt32 folderCrc = CRC_INIT_VAL;
  UInt64 folderLeft = 0;

  bool inFile = false;  // a file is open (or being skipped) and has bytes to come
  UInt32 file = 0;
  UInt64 fileLeft = 0;
  UInt32 crc = CRC_INIT_VAL;
  std::unique_ptr<FileOutput> out;  // null while a skipped file's bytes pass

  bool Finished() const { return !inFile && next == files.size(); }
};

class Scheduler {
 public:
  Scheduler(const CSzArEx& db, const std::vector<std::u16string>& names, SharedSource& source, EntrySink& sink,
            const ExtractOptions& options)
      : db_(db), names_(names), source_(source), sink_(sink), options_(options) {}

  // Discards the files still open before the decoders stop: nothing stays half-written.
  ~Scheduler() {
    for (auto& block : active_) block->out.reset();
  }

  int Run() {
    std::vector<std::unique_ptr<Block>> byFolder(db_.db.NumFolders);
    for (UInt32 i = 0; i < db_.NumFiles; ++i) {
      const UInt32 folder = db_.FileToFolder[i];
      if (folder == kNoFolder) {
        RINOK(WriteWithoutBytes(i))
        continue;
      }
      if (!byFolder[folder]) {
        byFolder[folder].reset(new Block);
        byFolder[folder]->folder = folder;
      }
      byFolder[folder]->files.push_back(i);
    }
    for (auto& block : byFolder)
      if (block) waiting_.push_back(std::move(block));
    for (;;) {
      RINOK(StartBlocks())
      if (active_.empty()) return kOk;
      const uint64_t seen = signal_.Count();
      Block* ready = Pick();
      if (!ready) {
        signal_.Wait(seen);
        continue;
      }
      RINOK(Serve(*ready))
      if (ready->Finished()) Retire(ready);
    }
  }

 private:
  // Directories and empty files: nothing to decode.
  int WriteWithoutBytes(UInt32 i) {
    const std::u16string& name = names_[i];
    MakeParents(sink_, name);
    if (SzArEx_IsDir(&db_, i)) {
      sink_.MakeDirectory(name);
      return kOk;
    }
    std::unique_ptr<FileOutput> out;
    RINOK(sink_.OpenFile(EntryOf(db_, i, name), out))
    return out ? out->Commit() : kOk;
  }

  // Starts waiting blocks while threads are free and their memory fits the budget; the
  // first block always starts, whatever it needs, as a lone block always did.
  int StartBlocks() {
    const size_t threads = options_.threads ? options_.threads : 1;
    while (!waiting_.empty() && active_.size() < threads) {
      Block& block = *waiting_.front();
      block.memory = FolderMemory(db_, block.folder);
      if (!active_.empty() && (block.memory > options_.memoryBudget || inUse_ > options_.memoryBudget - block.memory))
        break;
      SRes res = SZ_OK;
      std::unique_ptr<InStream> stream = FolderStream(db_, block.folder, source_, res);
      const UInt64 size = SzAr_GetFolderUnpackSize(&db_.db, block.folder);
      block.pipe.reset(new FolderPipe(std::move(stream), size, res, &signal_));
      block.checkFolderCrc = SzBitWithVals_Check(&db_.db.FolderCRCs, block.folder);
      block.folderLeft = size;
      inUse_ += block.memory;
      active_.push_back(std::move(waiting_.front()));
      waiting_.pop_front();
    }
    return kOk;
  }

  // The next active block with something to do now (a piece ready, an end to report,
  // a file without bytes), taken in turn. A block's first file is created only after
  // the first file of every block started before it: blocks start in archive order, so
  // an archive of one file per block has its files created in archive order, and the
  // error callback's answer on a file stops what comes after it.
  Block* Pick() {
    size_t firstUnopened = active_.size();
    for (size_t i = 0; i < active_.size(); ++i) {
      if (active_[i]->next == 0) {
        firstUnopened = i;
        break;
      }
    }
    for (size_t k = 0; k < active_.size(); ++k) {
      const size_t i = (turn_ + k) % active_.size();
      Block& block = *active_[i];
      if (block.next == 0 && i != firstUnopened) continue;
      if (block.pipe->Ready() || NextIsEmpty(block)) {
        turn_ = i + 1;
        return &block;
      }
    }
    return nullptr;
  }

  bool NextIsEmpty(const Block& block) const {
    return !block.inFile && block.next < block.files.size() && SzArEx_GetFileSize(&db_, block.files[block.next]) == 0;
  }

  void Retire(Block* block) {
    for (size_t i = 0; i < active_.size(); ++i) {
      if (active_[i].get() != block) continue;
      inUse_ -= block->memory;
      active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i));  // joins its decoder
      return;
    }
  }

  // Opens the block's next file; a file without bytes is finished at once.
  int OpenNext(Block& block) {
    block.file = block.files[block.next++];
    block.fileLeft = SzArEx_GetFileSize(&db_, block.file);
    block.crc = CRC_INIT_VAL;
    block.out.reset();
    block.inFile = true;
    const std::u16string& name = names_[block.file];
    if (!SzArEx_IsDir(&db_, block.file)) {  // a directory's bytes are only checked
      MakeParents(sink_, name);
      RINOK(sink_.OpenFile(EntryOf(db_, block.file, name), block.out))
    }
    return block.fileLeft == 0 ? FinishFile(block) : kOk;
  }

  // Files of no bytes that come next in the block: nothing of them is waited for.
  int OpenEmptyFiles(Block& block) {
    while (NextIsEmpty(block)) RINOK(OpenNext(block))
    return kOk;
  }

  int FinishFile(Block& block) {
    if (SzBitWithVals_Check(&db_.CRCs, block.file) && CRC_GET_DIGEST(block.crc) != db_.CRCs.Vals[block.file])
      return SZ_ERROR_CRC;
    block.inFile = false;
    std::unique_ptr<FileOutput> out = std::move(block.out);
    RINOK(out ? out->Commit() : kOk)
    return OpenEmptyFiles(block);
  }

  // One piece of the block: its bytes go to the files they belong to, each file
  // committed as its last byte passes its check.
  int Serve(Block& block) {
    RINOK(OpenEmptyFiles(block))
    if (block.Finished()) return kOk;
    const Byte* data;
    size_t left;
    SRes status;
    if (!block.pipe->Take(&data, &left, status)) return status;
    while (left > 0) {
      if (!block.inFile) {
        if (block.next == block.files.size()) break;  // bytes after the last file
        RINOK(OpenNext(block))
        continue;
      }
      const size_t n = block.fileLeft < left ? static_cast<size_t>(block.fileLeft) : left;
      block.crc = CrcUpdate(block.crc, data, n);
      if (block.out) RINOK(block.out->Write(data, n))
      if (block.checkFolderCrc) {
        block.folderCrc = CrcUpdate(block.folderCrc, data, n);
        if (block.folderLeft == n && CRC_GET_DIGEST(block.folderCrc) != db_.db.FolderCRCs.Vals[block.folder])
          return SZ_ERROR_CRC;
      }
      block.folderLeft -= n;
      block.fileLeft -= n;
      data += n;
      left -= n;
      if (block.fileLeft == 0) RINOK(FinishFile(block))
    }
    block.pipe->Give();
    return kOk;
  }

  const CSzArEx& db_;
  const std::vector<std::u16string>& names_;
  SharedSource& source_;
  EntrySink& sink_;
  const ExtractOptions options_;
  PipeSignal signal_;  // declared before the blocks: their decoders post to it until joined
  std::deque<std::unique_ptr<Block>> waiting_;
  std::vector<std::unique_ptr<Block>> active_;
  UInt64 inUse_ = 0;
  size_t turn_ = 0;
};

}  // namespace

int WriteEntries(const CSzArEx& db, const std::vector<std::u16string>& names, SharedSource& source, EntrySink& sink,
                 const ExtractOptions& options) {
  Scheduler scheduler(db, names, source, sink, options);
  return scheduler.Run();
}

}  // namespace archive7z
