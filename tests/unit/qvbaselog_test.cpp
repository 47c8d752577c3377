#include <gtest/gtest.h>

#include <string>

#include "log/qvbaselog.h"
#include "testutil.h"
#include "textconv.h"

namespace {
std::string Ansi(const std::wstring& w) { return Utf16ToAnsi(w.c_str()); }
}  // namespace

TEST(InstallLog, TodayNameUsesTheLocalDate) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char expected[64];
  snprintf(expected, sizeof expected, "Install_%04d-%02d-%02d.log", now.wYear, now.wMonth, now.wDay);
  EXPECT_EQ(CQVBaseLog::TodayFileName("Install"), expected);
}

TEST(InstallLog, OldLogsOfTheSameNameAreRemoved) {
  TempDir dir;
  const std::string today = CQVBaseLog::TodayFileName("Install");
  for (const char* n : {"Install_2024-11-26.log", "Install_anything.txt", "Install", "Install.log",
                        "Installer_2024-11-26.log", "other.log"}) {
    ASSERT_TRUE(WriteFileBytes(dir / Utf8ToUtf16(n), "old"));
  }
  ASSERT_TRUE(WriteFileBytes(dir / Utf8ToUtf16(today), "today"));
  CreateDirectoryW((dir / L"Install_dir").c_str(), nullptr);

  CQVBaseLog::RemoveOldLogs(Ansi(dir.path()), "Install");

  EXPECT_FALSE(FileExists(dir / L"Install_2024-11-26.log"));
  EXPECT_FALSE(FileExists(dir / L"Install_anything.txt"));
  EXPECT_FALSE(FileExists(dir / L"Install"));
  EXPECT_TRUE(FileExists(dir / L"Install.log"));            // the entry point's own business
  EXPECT_TRUE(FileExists(dir / L"Installer_2024-11-26.log"));
  EXPECT_TRUE(FileExists(dir / L"other.log"));
  EXPECT_TRUE(FileExists(dir / Utf8ToUtf16(today)));
  EXPECT_TRUE(FileExists(dir / L"Install_dir"));
}

TEST(InstallLog, RecordsGoToTheDailyFileWithPatternAndPrefix) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir / L"Install_2001-01-01.log", "stale"));
  CQVBaseLog* log = CQVBaseLog::Instance();
  log->InitLogger(Ansi(dir / L"Install.log").c_str());
  ASSERT_TRUE(log->HasLogger());
  EXPECT_FALSE(FileExists(dir / L"Install_2001-01-01.log"));

  QVLOG_INFO("strAppPath:{}", "C:\\Tools\\{not a field}");
  QVLOG_INFO("{} and {}", 1, std::string("two"));
  QVLOG_INFO("broken {", 1);  // a bad format is dropped, not fatal

  const std::string text = ReadFileBytes(dir / Utf8ToUtf16(CQVBaseLog::TodayFileName("Install")));
  EXPECT_FALSE(FileExists(dir / L"Install.log"));
  ASSERT_NE(text.find("] [info] ["), std::string::npos) << text;
  EXPECT_NE(text.find("[qvbaselog_test.cpp TestBody: "), std::string::npos) << text;
  EXPECT_NE(text.find("] strAppPath:C:\\Tools\\{not a field}\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("] 1 and two\r\n"), std::string::npos) << text;
  // "[YYYY-MM-DD HH:MM:SS.mmm] " at the start of a record.
  ASSERT_GE(text.size(), 26u);
  EXPECT_EQ(text[0], '[');
  EXPECT_EQ(text[5], '-');
  EXPECT_EQ(text[11], ' ');
  EXPECT_EQ(text[20], '.');
  EXPECT_EQ(text.substr(24, 2), "] ");
}
