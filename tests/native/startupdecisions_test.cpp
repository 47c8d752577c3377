// The pure decisions of the installer's start-up (portable: runs natively and under Wine).
#include "startupdecisions.h"

#include <gtest/gtest.h>

namespace {

TEST(ListenerWindowValue, ReadsAnUnsignedDecimalNumber) {
  EXPECT_EQ(1234u, ListenerWindowValue(L"1234"));
  EXPECT_EQ(4294967295u, ListenerWindowValue(L"4294967295"));
  EXPECT_EQ(65572u, ListenerWindowValue(L"  65572"));
  EXPECT_EQ(12u, ListenerWindowValue(L"12ab")) << "stops at the first non-digit";
  EXPECT_EQ(0u, ListenerWindowValue(L"0x1A")) << "hexadecimal is not read";
  EXPECT_EQ(0u, ListenerWindowValue(L""));
  EXPECT_EQ(0u, ListenerWindowValue(L"abc"));
  EXPECT_EQ(7u, ListenerWindowValue(L"+7"));
}

TEST(ListenerWindowValue, OutOfRangeAndNegativeBehaveAsA32BitWcstoul) {
  EXPECT_EQ(0xFFFFFFFFu, ListenerWindowValue(L"4294967296"));
  EXPECT_EQ(0xFFFFFFFFu, ListenerWindowValue(L"99999999999999999999999"));
  EXPECT_EQ(0xFFFFFFFBu, ListenerWindowValue(L"-5"));
}

TEST(InstanceIdentity, DefaultNameKeepsTheApplicationId) {
  const InstanceIdentity id = ChooseInstanceIdentity(L"", 161);
  EXPECT_EQ(L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}", id.name);
  EXPECT_EQ(161, id.appId);
  EXPECT_EQ(L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}161", InstanceObjectName(id.name, id.appId));
  EXPECT_EQ(L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}",
            InstanceObjectName(kDefaultInstanceMutexName, 0));
  EXPECT_EQ(std::wstring(kDefaultInstanceMutexName) + L"-3", InstanceObjectName(kDefaultInstanceMutexName, -3));
}

TEST(InstanceIdentity, ConfiguredNameIsUsedAloneAndTheIdBecomesZero) {
  const InstanceIdentity id = ChooseInstanceIdentity(L"Global\\Product", 161);
  EXPECT_EQ(L"Global\\Product", id.name);
  EXPECT_EQ(0, id.appId);
  EXPECT_EQ(L"Global\\Product", InstanceObjectName(id.name, id.appId));
}

TEST(InstanceIdentity, ObjectNameIsCutToItsBuffer) {
  const std::wstring longName(300, L'n');
  const std::wstring name = InstanceObjectName(longName, 12);
  EXPECT_EQ(kObjectNameUnits - 1, name.size());
  EXPECT_EQ(std::wstring(kObjectNameUnits - 1, L'n'), name);
  EXPECT_EQ(std::wstring(257, L'n') + L"12", InstanceObjectName(std::wstring(257, L'n'), 12));
}

TEST(RunMode, FollowsTheDecisionTable) {
  struct Row {
    bool enable, commandLine, script;
    bool scriptRead;
    RunMode mode;
  };
  const Row rows[] = {
      {false, true, false, false, RunMode::kSilent},
      {false, true, true, false, RunMode::kSilent},
      {false, false, true, false, RunMode::kWindowed},
      {false, false, false, false, RunMode::kWindowed},
      {true, true, false, false, RunMode::kSilent},
      {true, false, true, true, RunMode::kSilent},
      {true, false, false, true, RunMode::kWindowed},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "enable=" << r.enable << " commandLine=" << r.commandLine
                                    << " script=" << r.script);
    int reads = 0;
    const RunMode mode = DecideRunMode(r.enable, r.commandLine, [&] {
      ++reads;
      return r.script;
    });
    EXPECT_EQ(r.mode, mode);
    EXPECT_EQ(r.scriptRead ? 1 : 0, reads) << "global_ss_install is read only where the table says";
  }
}

}  // namespace
