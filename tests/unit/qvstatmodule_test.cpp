// The installer's statistics module over the statistics library beside the executable:
// without it nothing is reported; with it the worker reports actions and Uninit ends the
// session. The dispatch port is fixed (8700), so the receiver gets an address of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stat/qvstatmodule.h"
#include "statreceiver.h"
#include "version/productversion.h"

#define ZPK_WIDEN2(x) L##x
#define ZPK_WIDEN(x) ZPK_WIDEN2(x)

namespace {

statrx::Winsock winsock;

std::wstring LibraryBesideExe() {
  wchar_t buf[MAX_PATH];
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring p = buf;
  return p.substr(0, p.find_last_of(L"\\/") + 1) + L"rmstat.dll";
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

TEST(ProductVersion, ReadsTheProductVersionOfTheExecutable) {
  ProductVersion v;
  ASSERT_TRUE(ReadProductVersion(nullptr, &v));
  EXPECT_EQ(v.major, 1);
  EXPECT_EQ(v.minor, 2);
  EXPECT_EQ(v.build, 3);
  EXPECT_EQ(v.revision, 4);
}

TEST(ProductVersion, ModuleWithoutVersionResource) {
  // The statistics library carries no version resource.
  HMODULE dll = LoadLibraryW(ZPK_WIDEN(ZPK_RMSTAT_DLL));
  ASSERT_NE(dll, nullptr);
  ProductVersion v;
  EXPECT_FALSE(ReadProductVersion(dll, &v));
  FreeLibrary(dll);
}

TEST(ProductVersion, RejectsDamagedBlocks) {
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
  ASSERT_NE(res, nullptr);
  const auto* block = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, res)));
  const size_t size = SizeofResource(nullptr, res);
  std::string copy(reinterpret_cast<const char*>(block), size);
  ProductVersion v;
  ASSERT_TRUE(ParseProductVersion(copy.data(), copy.size(), &v));
  EXPECT_FALSE(ParseProductVersion(copy.data(), 60, &v)) << "truncated";
  EXPECT_FALSE(ParseProductVersion(nullptr, 0, &v));
  std::string badKey = copy;
  badKey[6] = 'X';
  EXPECT_FALSE(ParseProductVersion(badKey.data(), badKey.size(), &v));
  std::string badSignature = copy;
  badSignature[40] ^= 0x55;
  EXPECT_FALSE(ParseProductVersion(badSignature.data(), badSignature.size(), &v));
}

// Runs first: no library beside the executable.
TEST(QVStatModule, WithoutTheLibraryInitFailsAndActionsDoNothing) {
  DeleteFileW(LibraryBesideExe().c_str());
  const std::string ip = statrx::PrivateLoopback();
  statrx::UdpReceiver rx(ip, QVStatModule::kDispatchPort);
  ASSERT_TRUE(rx.ok()) << ip;

  auto stat = QVStatModule::Instance();
  EXPECT_EQ(stat, QVStatModule::Instance()) << "one module per process";
  EXPECT_FALSE(stat->Init(161, 26100, Wide(ip), L""));
  EXPECT_FALSE(stat->IsLoaded());
  EXPECT_FALSE(stat->IsStopped()) << "the worker runs even without the library";
  EXPECT_TRUE(stat->Action(25104));
  EXPECT_TRUE(stat->Action(25106));
  stat->Uninit();
  EXPECT_TRUE(stat->IsStopped());
  EXPECT_TRUE(rx.Receive(1, 1500).empty()) << "something was reported without the library";
}

TEST(QVStatModule, WithTheLibraryTheWorkerReportsActionsAndUninitEndsTheSession) {
  const std::wstring beside = LibraryBesideExe();
  ASSERT_TRUE(CopyFileW(ZPK_WIDEN(ZPK_RMSTAT_DLL), beside.c_str(), FALSE)) << GetLastError();
  const std::string ip = statrx::PrivateLoopback();
  statrx::UdpReceiver rx(ip, QVStatModule::kDispatchPort);
  ASSERT_TRUE(rx.ok()) << ip;

  auto stat = QVStatModule::Instance();
  EXPECT_TRUE(stat->Init(161, 26100, Wide(ip), L""));
  EXPECT_TRUE(stat->IsLoaded());
  EXPECT_TRUE(stat->Action(25104));
  EXPECT_TRUE(stat->Action(25106));

  const std::string who = "\"appid\":161,\"unionid\":26100,\"version\":\"1.2.3.4\"";
  auto actions = rx.Receive(2);
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(actions[0], "{\"event\":\"action\"," + who + ",\"ids\":[25104],\"flag\":0}");
  EXPECT_EQ(actions[1], "{\"event\":\"action\"," + who + ",\"ids\":[25106],\"flag\":0}");

  stat->Uninit();
  EXPECT_FALSE(stat->IsLoaded());
  auto end = rx.Receive(2);
  ASSERT_EQ(end.size(), 2u);
  EXPECT_EQ(end[0], "{\"event\":\"offline\"," + who + "}");
  EXPECT_EQ(end[1], "{\"event\":\"close\"," + who + ",\"wait\":200}");

  // The library was freed: its file can go.
  EXPECT_TRUE(DeleteFileW(beside.c_str())) << GetLastError();
  // A second Uninit finds nothing to call.
  stat->Uninit();
  EXPECT_TRUE(rx.Receive(1, 1000).empty());
}

}  // namespace
