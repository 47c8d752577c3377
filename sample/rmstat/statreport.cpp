#include "statreport.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string Common(const char* event, const StatIdentity& id) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "{\"event\":\"%s\",\"appid\":%d,\"unionid\":%d,\"version\":\"%s\"",
                event, id.app_id, id.union_id, VersionText(id).c_str());
  return buf;
}

}  // namespace

std::string VersionText(const StatIdentity& id) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", id.version[0], id.version[1], id.version[2],
                id.version[3]);
  return buf;
}

std::string InstallReportJson(const char* event, const StatIdentity& id, int kind) {
  return Common(event, id) + ",\"level\":" + std::to_string(id.level) +
         ",\"kind\":" + std::to_string(kind) + "}";
}

std::string ActionReportJson(const StatIdentity& id, const std::vector<int>& ids, bool flag) {
  std::string s = Common("action", id) + ",\"ids\":[";
  for (size_t i = 0; i < ids.size(); ++i) s += (i ? "," : "") + std::to_string(ids[i]);
  return s + "],\"flag\":" + (flag ? "1" : "0") + "}";
}

std::string SessionReportJson(const char* event, const StatIdentity& id) {
  return Common(event, id) + "}";
}

bool ParseDottedVersion(const char* text, int out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = 0;
  if (!text) return false;
  const char* p = text;
  int fields = 0;
  while (fields < 4 && *p) {
    char* end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p) break;
    out[fields++] = static_cast<int>(v);
    p = end;
    if (*p != '.') break;
    ++p;
  }
  return fields > 0;
}
