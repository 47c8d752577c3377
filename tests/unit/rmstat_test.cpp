// The statistics library rmstat.dll as its callers use it: bound by plain name, the install
// script's report sequence, HTTP results, session and action datagrams, all to loopback
// receivers inside this program.
#include <gtest/gtest.h>

#include <string>

#include "stat/rmstatapi.h"
#include "statreceiver.h"

#define ZPK_WIDEN2(x) L##x
#define ZPK_WIDEN(x) ZPK_WIDEN2(x)

namespace {

statrx::Winsock winsock;

class RmStat : public ::testing::Test {
 protected:
  // A fresh copy of the library's state for every test: loaded here, unloaded after.
  void SetUp() override {
    dll_ = LoadLibraryW(ZPK_WIDEN(ZPK_RMSTAT_DLL));
    ASSERT_NE(dll_, nullptr) << "cannot load " << ZPK_RMSTAT_DLL << " error " << GetLastError();
  }
  void TearDown() override {
    if (dll_) FreeLibrary(dll_);
  }
  template <class Fn>
  Fn Get(StatExport e) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll_, StatExportName(e))));
  }
  // The calls of the install script's report, up to stat_init.
  void PrepareInstallReport(int unionId, int appId, const std::string& host, int port) {
    Get<StatUnionIdFn>(kStatUnionId)(static_cast<unsigned short>(unionId));
    Get<StatAppIdFn>(kStatAppId)(static_cast<unsigned char>(appId));
    Get<StatIntFn>(kStatLevel)(2);
    Get<StatVersionExFn>(kStatVersionEx)(1, 0, 0, 70);
    Get<StatAddrFn>(kStatInstallAddr)(host.c_str(), port);
    ASSERT_TRUE(Get<StatInitFn>(kStatInit)());
  }
  HMODULE dll_ = nullptr;
};

bool Has(const std::string& doc, const std::string& part) { return doc.find(part) != std::string::npos; }

TEST_F(RmStat, EveryExportIsFoundByItsPlainNameAtItsOrdinal) {
  for (int i = 0; i < kStatExportCount; ++i) {
    FARPROC byName = GetProcAddress(dll_, StatExportName(i));
    ASSERT_NE(byName, nullptr) << StatExportName(i);
    EXPECT_EQ(byName, GetProcAddress(dll_, MAKEINTRESOURCEA(i + 1))) << StatExportName(i);
  }
  EXPECT_EQ(GetProcAddress(dll_, MAKEINTRESOURCEA(kStatExportCount + 1)), nullptr);
}

TEST_F(RmStat, InstallReportGoesToTheInstallAddressAndTheHttpServer) {
  statrx::UdpReceiver udp("127.0.0.1", 0);
  statrx::HttpServer http(200);
  ASSERT_TRUE(udp.ok() && http.ok());
  PrepareInstallReport(26100, 161, "127.0.0.1", udp.port());

  EXPECT_EQ(Get<StatInstallFn>(kStatInstall)(1), 1);
  EXPECT_EQ(Get<StatHttpPostFn>(kStatHttpPost)(http.Url("/api/InstallStat").c_str(), nullptr, 0, TRUE), 1);
  Get<StatIntFn>(kStatClose)(50);

  auto got = udp.Receive(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0],
            "{\"event\":\"install\",\"appid\":161,\"unionid\":26100,\"version\":\"1.0.0.70\","
            "\"level\":2,\"kind\":1}");
  auto reqs = http.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].head.substr(0, reqs[0].head.find("\r\n")), "POST /api/InstallStat HTTP/1.1");
  EXPECT_TRUE(Has(reqs[0].head, "Content-Type: application/json")) << reqs[0].head;
  EXPECT_EQ(reqs[0].body, got[0]);
}

TEST_F(RmStat, CoverInstallAndUninstallCarryTheirKind) {
  statrx::UdpReceiver udp("127.0.0.1", 0);
  ASSERT_TRUE(udp.ok());
  PrepareInstallReport(26150, 161, "127.0.0.1", udp.port());
  EXPECT_EQ(Get<StatInstallFn>(kStatInstall)(3), 1);
  EXPECT_EQ(Get<StatInstallFn>(kStatInstall)(2), 1);
  auto got = udp.Receive(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(Has(got[0], "\"event\":\"install\"") && Has(got[0], "\"kind\":3")) << got[0];
  EXPECT_TRUE(Has(got[0], "\"unionid\":26150")) << got[0];
  EXPECT_TRUE(Has(got[1], "\"event\":\"uninstall\"") && Has(got[1], "\"kind\":2")) << got[1];
}

TEST_F(RmStat, InstallWithoutAnAddressSendsNothingAndSaysSo) {
  ASSERT_TRUE(Get<StatInitFn>(kStatInit)());
  EXPECT_EQ(Get<StatInstallFn>(kStatInstall)(1), 0);
  Get<StatAddrFn>(kStatInstallAddr)("not an address", 8100);
  EXPECT_EQ(Get<StatInstallFn>(kStatInstall)(1), 0);
  Get<StatAddrFn>(kStatInstallAddr)("127.0.0.1", 0);
  EXPECT_EQ(Get<StatInstallFn>(kStatInstall)(1), 0);
}

TEST_F(RmStat, HttpPostIsOneOnlyWhenTheServerAccepts) {
  auto post = Get<StatHttpPostFn>(kStatHttpPost);
  const char body[] = "{\"k\":1}xx";
  {
    statrx::HttpServer ok(200);
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(post(ok.Url("/a").c_str(), body, 7, TRUE), 1);
    auto reqs = ok.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].body, "{\"k\":1}") << "the length bounds the body";
  }
  {
    statrx::HttpServer accepted(204);
    ASSERT_TRUE(accepted.ok());
    EXPECT_EQ(post(accepted.Url("/a").c_str(), body, 0, FALSE), 1);
    auto reqs = accepted.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].body, body) << "length 0 sends the whole text";
  }
  {
    statrx::HttpServer failing(500);
    ASSERT_TRUE(failing.ok());
    EXPECT_EQ(post(failing.Url("/a").c_str(), body, 7, TRUE), 0);
    EXPECT_EQ(failing.requests().size(), 1u);
  }
  {
    statrx::HttpServer notFound(404);
    ASSERT_TRUE(notFound.ok());
    EXPECT_EQ(post(notFound.Url("/a").c_str(), nullptr, 0, TRUE), 0);
  }
  std::string refused = "http://127.0.0.1:" + std::to_string(statrx::ClosedPort()) + "/a";
  EXPECT_EQ(post(refused.c_str(), body, 7, TRUE), -1);
  EXPECT_EQ(post(nullptr, body, 7, TRUE), -1);
  EXPECT_EQ(post("", body, 7, TRUE), -1);
}

TEST_F(RmStat, ActionsAndSessionEndGoToTheDispatchAddress) {
  statrx::UdpReceiver udp("127.0.0.1", 0);
  ASSERT_TRUE(udp.ok());
  Get<StatAppIdFn>(kStatAppId)(161);
  Get<StatUnionIdFn>(kStatUnionId)(26100);
  Get<StatVersionExFn>(kStatVersionEx)(1, 2, 3, 4);
  Get<StatAddrFn>(kStatDispatchAddr)("127.0.0.1", udp.port());
  ASSERT_TRUE(Get<StatInitFn>(kStatInit)());

  int ids[2] = {25104, 25106};
  Get<StatMultiActionFn>(kStatMutilAction)(ids, 1, FALSE);
  Get<StatMultiActionFn>(kStatMutilAction)(ids, 2, TRUE);
  Get<StatIntFn>(kStatAction)(25105);
  Get<StatMultiActionFn>(kStatMutilAction)(ids, 0, FALSE);  // nothing to send
  Get<StatVoidFn>(kStatOffline)();
  Get<StatIntFn>(kStatClose)(200);

  auto got = udp.Receive(5);
  ASSERT_EQ(got.size(), 5u);
  const std::string who = "\"appid\":161,\"unionid\":26100,\"version\":\"1.2.3.4\"";
  EXPECT_EQ(got[0], "{\"event\":\"action\"," + who + ",\"ids\":[25104],\"flag\":0}");
  EXPECT_EQ(got[1], "{\"event\":\"action\"," + who + ",\"ids\":[25104,25106],\"flag\":1}");
  EXPECT_EQ(got[2], "{\"event\":\"action\"," + who + ",\"ids\":[25105],\"flag\":0}");
  EXPECT_EQ(got[3], "{\"event\":\"offline\"," + who + "}");
  EXPECT_EQ(got[4], "{\"event\":\"close\"," + who + ",\"wait\":200}");
}

// The script bridge pushes whole 32-bit words; the library reads the widths the native
// caller passes (16 bits of union id, 8 of app id), whatever lies above them.
TEST_F(RmStat, IdsKeepOnlyTheWidthsTheNativeCallerPasses) {
  statrx::UdpReceiver udp("127.0.0.1", 0);
  ASSERT_TRUE(udp.ok());
  auto unionAsWord = Get<void(WINAPI*)(unsigned)>(kStatUnionId);
  auto appAsWord = Get<void(WINAPI*)(unsigned)>(kStatAppId);
  unionAsWord(0x70000u | 26100u);
  appAsWord(0x300u | 161u);
  Get<StatTextFn>(kStatVersion)("3.4.5.6");
  Get<StatAddrFn>(kStatInstallAddr)("127.0.0.1", udp.port());
  ASSERT_TRUE(Get<StatInitFn>(kStatInit)());
  EXPECT_EQ(Get<StatInstallFn>(kStatAppInstall)(1), 1);
  auto got = udp.Receive(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(Has(got[0], "\"event\":\"app_install\",\"appid\":161,\"unionid\":26100,\"version\":\"3.4.5.6\""))
      << got[0];
}

}  // namespace
