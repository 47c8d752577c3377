// COM registration as scripts use it: Lua_RegSvr32 calls the export in process,
// Lua_RegistDll starts regsvr32 with the right switches.
#include <gtest/gtest.h>

#include <windows.h>

#include "sysprims_util.h"

using namespace sysprims;

namespace {

std::wstring RegProbePath() {
  wchar_t full[MAX_PATH];
  GetFullPathNameW(HelperPath(L"regprobe.dll").c_str(), MAX_PATH, full, nullptr);
  return full;
}

// The registration log of regprobe.dll, fresh for each test.
struct RegLog {
  RegLog() : path(dir / L"reg.log") {
    SetEnvironmentVariableW(L"ZPK_REGPROBE_LOG", path.c_str());
    SetEnvironmentVariableW(L"ZPK_REGPROBE_FAIL", nullptr);
  }
  ~RegLog() {
    SetEnvironmentVariableW(L"ZPK_REGPROBE_LOG", nullptr);
    SetEnvironmentVariableW(L"ZPK_REGPROBE_FAIL", nullptr);
  }
  std::string Read() const { return ReadFileBytes(path); }
  // regsvr32 runs on its own: wait until it has written its lines.
  std::string WaitFor(const std::string& text) const {
    for (int i = 0; i < 600; ++i) {
      std::string s = Read();
      if (s.find(text) != std::string::npos) return s;
      Sleep(50);
    }
    return Read();
  }
  TempDir dir;
  std::wstring path;
};

}  // namespace

TEST(RegistrationPrims, RegSvr32CallsTheExportInProcess) {
  RegLog log;
  const std::wstring dll = RegProbePath();
  std::wstring folder = dll.substr(0, dll.find_last_of(L'\\'));
  SetEnvironmentVariableW(L"ZPK_HELPERS", folder.c_str());

  EXPECT_TRUE(Bool("Lua_RegSvr32('%ZPK_HELPERS%\\\\regprobe.dll', true)"));
  EXPECT_EQ(log.Read(), "register\n");
  EXPECT_TRUE(Bool("Lua_RegSvr32('%ZPK_HELPERS%\\\\regprobe.dll', false)"));
  EXPECT_TRUE(Bool("Lua_RegSvr32('%ZPK_HELPERS%\\\\regprobe.dll')"));  // absent flag: unregister
  EXPECT_EQ(log.Read(), "register\nunregister\nunregister\n");
  EXPECT_EQ(GetModuleHandleW(L"regprobe.dll"), nullptr) << "freed after the call";

  SetEnvironmentVariableW(L"ZPK_REGPROBE_FAIL", L"1");
  EXPECT_FALSE(Bool("Lua_RegSvr32('%ZPK_HELPERS%\\\\regprobe.dll', true)"));
  SetEnvironmentVariableW(L"ZPK_HELPERS", nullptr);
}

TEST(RegistrationPrims, RegSvr32Failures) {
  TempDir dir;
  Engine()->SetGlobalString("missing", dir / L"missing.dll");
  {
    DebugCapture capture;
    EXPECT_FALSE(Bool("Lua_RegSvr32(missing, true)"));
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], L"qd Fun:Lua_RegSvr32, Description:" + (dir / L"missing.dll") +
                                      L" it's not exists!\r\n");
  }
  {
    ASSERT_TRUE(WriteFileBytes(dir / L"text.dll", "not a library"));
    Engine()->SetGlobalString("notdll", dir / L"text.dll");
    DebugCapture capture;
    EXPECT_FALSE(Bool("Lua_RegSvr32(notdll, true)"));
    ASSERT_EQ(capture.lines().size(), 4u);
    EXPECT_EQ(capture.lines()[0], L"qd Fun:Lua_RegSvr32, Description: LoadLibrary " +
                                      (dir / L"text.dll") + L" Failed!\r\n");
    EXPECT_EQ(capture.lines()[1].rfind(L"qd qd file:", 0), 0u);
  }
  // A library without the export.
  EXPECT_FALSE(Bool("Lua_RegSvr32('%SystemRoot%\\\\system32\\\\version.dll', true)"));
  EXPECT_FALSE(Bool("Lua_RegSvr32('%SystemRoot%\\\\system32\\\\version.dll', false)"));
}

TEST(RegistrationPrims, RegistDllStartsRegsvr32WithTheSwitches) {
  RegLog log;
  Engine()->SetGlobalString("dll", RegProbePath());
  EXPECT_TRUE(Bool("Lua_RegistDll(dll, '/s', 'ignored')"));
  EXPECT_EQ(log.WaitFor("register\n"), "register\n");
  EXPECT_TRUE(Bool("Lua_RegistDll(dll, '/u /s')"));
  EXPECT_NE(log.WaitFor("unregister\n").find("unregister\n"), std::string::npos);
}

TEST(RegistrationPrims, RegistDllIsTrueOnceStartedEvenWhenRegistrationFails) {
  RegLog log;
  SetEnvironmentVariableW(L"ZPK_REGPROBE_FAIL", L"1");
  Engine()->SetGlobalString("dll", RegProbePath());
  EXPECT_TRUE(Bool("Lua_RegistDll(dll, '/s')"));
  EXPECT_EQ(log.WaitFor("register\n"), "register\n");
}

TEST(RegistrationPrims, RegistDllPathOutsideTheAnsiCodePage) {
  RegLog log;
  TempDir dir;
  const std::wstring copy = dir / L"注册 探针.dll";
  ASSERT_TRUE(CopyFileW(RegProbePath().c_str(), copy.c_str(), FALSE));
  Engine()->SetGlobalString("dll", copy);
  EXPECT_TRUE(Bool("Lua_RegistDll(dll, '/s')"));
  EXPECT_EQ(log.WaitFor("register\n"), "register\n");
  Sleep(500);  // let regsvr32 let go of the copy before the folder is removed
}

TEST(RegistrationPrims, RegistDllMissingFile) {
  TempDir dir;
  Engine()->SetGlobalString("missing", dir / L"missing.dll");
  DebugCapture capture;
  EXPECT_FALSE(Bool("Lua_RegistDll(missing, '/s')"));
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0], L"qd Fun:Lua_RegistDll, Description:" + (dir / L"missing.dll") +
                                    L" it's not exists!\r\n");
}

