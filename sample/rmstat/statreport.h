// The report documents of the statistics library: small JSON objects, sent as UDP
// datagrams or as the body of an HTTP POST.
#pragma once
#include <string>
#include <vector>

struct StatIdentity {
  int app_id = 0;
  int union_id = 0;
  int level = 0;
  int version[4] = {0, 0, 0, 0};
};

std::string VersionText(const StatIdentity& id);
// {"event":"install","appid":161,"unionid":26100,"version":"1.0.0.70","level":2,"kind":1}
std::string InstallReportJson(const char* event, const StatIdentity& id, int kind);
// {"event":"action","appid":..,"unionid":..,"version":"..","ids":[25104],"flag":0}
std::string ActionReportJson(const StatIdentity& id, const std::vector<int>& ids, bool flag);
// {"event":"online",...} / "offline" / "close" (with "wait")
std::string SessionReportJson(const char* event, const StatIdentity& id);
// Four numbers from "a.b.c.d" (missing fields are 0); false when there is no number at all.
bool ParseDottedVersion(const char* text, int out[4]);
