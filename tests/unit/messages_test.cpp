// Message boxes and the install log as scripts use them: Lua_MsgBox's arguments and its
// real box, Lua_Logout's debug line and log line.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "log/qvbaselog.h"
#include "msgbox.h"
#include "sysprims_util.h"

using namespace sysprims;

namespace {
struct Box {
  std::wstring text, caption;
  UINT style = 0;
  bool owner = false;
};
std::vector<Box> g_boxes;
int g_answer = IDOK;
int RecordBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
  g_boxes.push_back(Box{text ? text : L"<null>", caption ? caption : L"<null>", style, owner != nullptr});
  return g_answer;
}
struct BoxHook {
  BoxHook() {
    g_boxes.clear();
    g_answer = IDOK;
    SetMessageBoxHook(&RecordBox);
  }
  ~BoxHook() { SetMessageBoxHook(nullptr); }
};
}  // namespace

TEST(MessagePrims, MsgBoxArguments) {
  BoxHook hook;
  ASSERT_TRUE(RunLua("r1 = Lua_MsgBox('只有文字')"));
  g_answer = IDCANCEL;
  ASSERT_TRUE(RunLua("r2 = Lua_MsgBox('安装程序正在运行', '提示', 0x10031)"));
  g_answer = IDOK;
  ASSERT_TRUE(RunLua("r3 = Lua_MsgBox('text', 'caption')"));
  ASSERT_TRUE(RunLua("r4 = Lua_MsgBox()"));
  ASSERT_TRUE(RunLua("r5 = Lua_MsgBox('a', 'b', 0x30, 'extra')"));  // more than three: empty
  ASSERT_TRUE(RunLua("r6 = Lua_MsgBox(5, {}, '48')"));
  ASSERT_EQ(g_boxes.size(), 6u);

  EXPECT_EQ(Engine()->GetGlobalInteger("r1"), IDOK);
  EXPECT_EQ(g_boxes[0].text, L"只有文字");
  EXPECT_EQ(g_boxes[0].caption, L"");
  EXPECT_EQ(g_boxes[0].style, 0u);
  EXPECT_FALSE(g_boxes[0].owner);

  EXPECT_EQ(Engine()->GetGlobalInteger("r2"), IDCANCEL);
  EXPECT_EQ(g_boxes[1].text, L"安装程序正在运行");
  EXPECT_EQ(g_boxes[1].caption, L"提示");
  EXPECT_EQ(g_boxes[1].style, static_cast<UINT>(MB_OKCANCEL | MB_ICONWARNING | MB_SETFOREGROUND));

  EXPECT_EQ(g_boxes[2].caption, L"caption");
  EXPECT_EQ(g_boxes[2].style, 0u);
  for (int i : {3, 4}) {
    EXPECT_EQ(g_boxes[i].text, L"");
    EXPECT_EQ(g_boxes[i].caption, L"");
    EXPECT_EQ(g_boxes[i].style, 0u);
  }
  EXPECT_EQ(g_boxes[5].text, L"5");
  EXPECT_EQ(g_boxes[5].caption, L"");
  EXPECT_EQ(g_boxes[5].style, 48u);
}

namespace {
struct SeenBox {
  std::wstring caption, text;
  bool ok = false, cancel = false;
};

BOOL CALLBACK FindOwnDialog(HWND w, LPARAM out) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  wchar_t cls[32];
  if (pid == GetCurrentProcessId() && GetClassNameW(w, cls, 32) && !wcscmp(cls, L"#32770") &&
      IsWindowVisible(w)) {
    *reinterpret_cast<HWND*>(out) = w;
    return FALSE;
  }
  return TRUE;
}

// Finds the message box of this process, reads it and presses OK.
void PressOk(SeenBox* seen, std::atomic<bool>* done) {
  for (int i = 0; i < 600 && !*done; ++i, Sleep(50)) {
    HWND box = nullptr;
    EnumWindows(&FindOwnDialog, reinterpret_cast<LPARAM>(&box));
    if (!box) continue;
    wchar_t buf[256] = {};
    GetWindowTextW(box, buf, 256);
    seen->caption = buf;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t cls[32] = {}, text[256] = {};
      GetClassNameW(child, cls, 32);
      GetWindowTextW(child, text, 256);
      if (!_wcsicmp(cls, L"Static") && text[0]) seen->text = text;
    }
    HWND ok = GetDlgItem(box, IDOK), cancel = GetDlgItem(box, IDCANCEL);
    seen->ok = ok && IsWindowVisible(ok);
    seen->cancel = cancel && IsWindowVisible(cancel);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return;
  }
}
}  // namespace

TEST(MessagePrims, RealBoxWithOneArgumentHasOnlyOk) {
  SeenBox seen;
  std::atomic<bool> done{false};
  std::thread presser(PressOk, &seen, &done);
  const bool ran = RunLua("real = Lua_MsgBox('ZPK one-argument box')");
  done = true;
  presser.join();
  ASSERT_TRUE(ran);
  EXPECT_EQ(Engine()->GetGlobalInteger("real"), IDOK);
  EXPECT_EQ(seen.text, L"ZPK one-argument box");
  EXPECT_EQ(seen.caption, L"");
  EXPECT_TRUE(seen.ok);
  EXPECT_FALSE(seen.cancel);
}

TEST(MessagePrims, LogoutWritesTheDebugLineAndTheInstallLog) {
  {
    // Before the log exists: the debug line only, nothing returned.
    DebugCapture capture;
    ASSERT_TRUE(RunLua("n = select('#', Lua_Logout('准备 {0} %s'))"));
    EXPECT_EQ(Engine()->GetGlobalInteger("n"), 0);
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], L"qd 准备 {0} %s");
  }
  // The log stays open for the rest of the process: its folder is left behind.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir = std::wstring(temp) + UniqueName(L"zpklog");
  CreateDirectoryW(dir.c_str(), nullptr);
  CQVBaseLog::Instance()->InitLogger(Utf16ToAnsi((dir + L"\\Install.log").c_str()).c_str());
  ASSERT_TRUE(CQVBaseLog::Instance()->HasLogger());

  DebugCapture capture;
  ASSERT_TRUE(RunLua("Lua_Logout('unpack {1} done\\n'); Lua_Logout(12)"));
  EXPECT_EQ(capture.lines().size(), 2u);
  EXPECT_TRUE(capture.Contains(L"qd 12"));
  const std::string log =
      ReadFileBytes(dir + L"\\" + Utf8ToUtf16(CQVBaseLog::TodayFileName("Install")));
  EXPECT_NE(log.find("] [info] ["), std::string::npos) << log;
  EXPECT_NE(log.find(" Lua_Logout: "), std::string::npos) << log;
  EXPECT_NE(log.find("] log:unpack {1} done\n\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] log:12\r\n"), std::string::npos) << log;
}

