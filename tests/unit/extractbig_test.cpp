// A payload whose one solid block unpacks to far more than the extraction may hold in
// memory: it unpacks completely, in archive order, while the process's peak memory
// stays small; a damaged block stops the extraction without leaving a half-written file.
// A payload of several such blocks decodes them side by side (as many at once as there
// are processors): every file arrives whole and is reported once, memory stays small,
// and damage in one block leaves no half-written file of any block behind.
#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <string>

#include "filetestutil.h"
#include "handles.h"

namespace {

constexpr unsigned long long kHugeSize = 1100ull << 20;  // the zeros file inside big.7z
constexpr SIZE_T kMemoryBound = 256u << 20;  // dictionary and buffers fit many times over

constexpr unsigned long long kBlockFileSize = 160ull << 20;  // each zeros file inside multi.7z

std::wstring BigArchive() { return ModuleDir() + L"\\..\\bigarchive\\big.7z"; }
std::wstring MultiArchive() { return ModuleDir() + L"\\..\\bigarchive\\multi.7z"; }

unsigned long long SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Reads `count` bytes at `offset` of a file.
std::string ReadAt(const std::wstring& path, unsigned long long offset, DWORD count) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes(count, '\xff');
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD got = 0;
  if (!file || !SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
      !::ReadFile(file.get(), &bytes[0], count, &got, nullptr))
    return std::string();
  bytes.resize(got);
  return bytes;
}

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

// A file of multi.7z is either absent or whole: a big one all zeros to its last byte.
void ExpectAbsentOrWhole(const std::wstring& dir, const wchar_t* name) {
  const std::wstring path = dir + L"\\" + name;
  if (!FileExists(path)) return;
  const std::wstring text(name);
  if (text == L"a.txt") {
    EXPECT_EQ(ReadFileBytes(path), "first block\n");
  } else if (text == L"z.txt") {
    EXPECT_EQ(ReadFileBytes(path), "last block\n");
  } else {
    EXPECT_EQ(SizeOf(path), kBlockFileSize) << Utf8(path) << " is half-written";
    EXPECT_EQ(ReadAt(path, kBlockFileSize - 4096, 4096), std::string(4096, '\0')) << Utf8(path);
  }
}

const wchar_t* const kMultiFiles[] = {L"a.txt", L"big1.bin", L"big2.bin", L"big3.bin", L"z.txt"};

}  // namespace

TEST(LargePayload, UnpacksInBoundedMemory) {
  TempDir dest;
  SetText("t_src", BigArchive());
  SetText("t_dst", dest.path());
  ASSERT_TRUE(RunLua("t_seen = {}\n"
                     "t_ok = Lua_UnCompress7z(t_src, t_dst, true, function(p) t_seen[#t_seen + 1] = p end)\n"
                     "t_order = table.concat(t_seen, '|')"));
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
  printf("peak working set %.1f MiB, peak private bytes %.1f MiB for a %.0f MiB block\n",
         counters.PeakWorkingSetSize / 1048576.0, counters.PeakPagefileUsage / 1048576.0, kHugeSize / 1048576.0);

  EXPECT_TRUE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_EQ(Utf8(Engine()->GetGlobalString("t_order")),
            Utf8(dest / L"a.txt") + "|" + Utf8(dest / L"huge.bin") + "|" + Utf8(dest / L"z.txt"));
  EXPECT_EQ(SizeOf(dest / L"huge.bin"), kHugeSize);
  EXPECT_EQ(ReadAt(dest / L"huge.bin", kHugeSize - 4096, 4096), std::string(4096, '\0'));
  EXPECT_EQ(ReadAt(dest / L"z.txt", 0, 100), "after the big file\n");
  // Decoding the block whole would need more than its 1100 MiB at once.
  EXPECT_LT(counters.PeakWorkingSetSize, kMemoryBound);
  if (counters.PeakPagefileUsage != 0) EXPECT_LT(counters.PeakPagefileUsage, kMemoryBound);
}

TEST(LargePayload, DamagedBlockLeavesNoHalfWrittenFile) {
  std::string archive = ReadFileBytes(BigArchive());
  ASSERT_GT(archive.size(), 4096u);
  TempDir work;
  TempDir dest;
  // Well inside the packed zeros: the damage shows only after part of huge.bin came out.
  archive[archive.size() / 2] = static_cast<char>(archive[archive.size() / 2] ^ 0x55);
  ASSERT_TRUE(WriteFileBytes(work / L"damaged.7z", archive));
  SetText("t_src", work / L"damaged.7z");
  SetText("t_dst", dest.path());
  ASSERT_TRUE(RunLua("t_ok = Lua_UnCompress7z(t_src, t_dst, true)"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_TRUE(FileExists(dest / L"a.txt"));
  EXPECT_FALSE(FileExists(dest / L"huge.bin"));
  EXPECT_FALSE(FileExists(dest / L"z.txt"));
}

TEST(LargePayload, SeveralBlocksAtOnceInBoundedMemory) {
  TempDir dest;
  SetText("t_src", MultiArchive());
  SetText("t_dst", dest.path());
  ASSERT_TRUE(RunLua("t_seen = {}\n"
                     "t_ok = Lua_UnCompress7z(t_src, t_dst, true, function(p) t_seen[#t_seen + 1] = p end)\n"
                     "table.sort(t_seen)\n"
                     "t_reported = table.concat(t_seen, '|')"));
  const SIZE_T peak = PeakWorkingSet();
  printf("peak working set %.1f MiB\n", peak / 1048576.0);
  EXPECT_TRUE(Engine()->GetGlobalBoolean("t_ok"));
  // Each file reported once, whatever order the blocks finished in.
  std::string expected;
  for (const wchar_t* name : kMultiFiles) expected += (expected.empty() ? "" : "|") + Utf8(dest / name);
  EXPECT_EQ(Utf8(Engine()->GetGlobalString("t_reported")), expected);
  for (const wchar_t* name : kMultiFiles) {
    EXPECT_TRUE(FileExists(dest / name)) << Utf8(dest / name);
    ExpectAbsentOrWhole(dest.path(), name);
  }
  EXPECT_LT(peak, kMemoryBound);
}

TEST(LargePayload, DamageInOneOfSeveralBlocksLeavesNoHalfWrittenFile) {
  std::string archive = ReadFileBytes(MultiArchive());
  const std::string offsetText = ReadFileBytes(ModuleDir() + L"\\..\\bigarchive\\multi.damage");
  const size_t offset = static_cast<size_t>(std::stoull(offsetText));
  ASSERT_LT(offset, archive.size());
  // Early in big2.bin's block: big1.bin, decoded beside it, is then only partly written.
  archive[offset] = static_cast<char>(archive[offset] ^ 0x55);
  TempDir work;
  TempDir dest;
  ASSERT_TRUE(WriteFileBytes(work / L"damaged.7z", archive));
  SetText("t_src", work / L"damaged.7z");
  SetText("t_dst", dest.path());
  ASSERT_TRUE(RunLua("t_count = 0\n"
                     "t_ok = Lua_UnCompress7z(t_src, t_dst, true, function(p) t_count = t_count + 1 end)"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_FALSE(FileExists(dest / L"big2.bin"));
  int present = 0;
  for (const wchar_t* name : kMultiFiles) {
    ExpectAbsentOrWhole(dest.path(), name);
    present += FileExists(dest / name) ? 1 : 0;
  }
  // Only what was reported stays.
  EXPECT_EQ(Engine()->GetGlobalInteger("t_count"), present);
}
