#include <gtest/gtest.h>

#include <string>

#include "log/debugoutput.h"
#include "testutil.h"

TEST(DebugOutput, LinesCarryTheMarkerAndFormatting) {
  DebugCapture dbg;
  qd::Output(L"value %d of %ls\r\n", 3, L"路径");
  qd::OutputText(L"100% literal %s\r\n");
  auto lines = dbg.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], L"qd value 3 of 路径\r\n");
  EXPECT_EQ(lines[1], L"qd 100% literal %s\r\n");
}

TEST(DebugOutput, LongTextIsCutToTheLineBuffer) {
  DebugCapture dbg;
  const std::wstring big(5000, L'x');
  qd::OutputText(big.c_str());
  qd::Output(L"%ls", big.c_str());
  auto lines = dbg.lines();
  ASSERT_EQ(lines.size(), 2u);
  for (const auto& l : lines) {
    EXPECT_EQ(l.size(), static_cast<size_t>(qd::kLineUnits - 1));  // terminator takes the last unit
    EXPECT_EQ(l.substr(0, 4), L"qd x");
  }
}

TEST(DebugOutput, ErrorTraceHasThreeLinesAndKeepsLastError) {
  DebugCapture dbg;
  SetLastError(5);
  qd::ErrorTrace(L"OpenSCManager failed!", "C:\\src\\scm.cpp", 77);
  EXPECT_EQ(GetLastError(), 5u);
  auto lines = dbg.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], L"qd OpenSCManager failed!qd file:C:\\src\\scm.cpp\r\n");
  EXPECT_EQ(lines[1], L"qd OpenSCManager failed!qd line:77\r\n");
  EXPECT_EQ(lines[2], L"qd OpenSCManager failed!qd err:5\r\n");
}

TEST(DebugOutput, ErrorTraceMessageIsNotAFormat) {
  DebugCapture dbg;
  SetLastError(2);
  qd::ErrorTrace(L"%s%n%d", "f.cpp", 1);
  auto lines = dbg.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], L"qd %s%n%dqd err:2\r\n");
}
