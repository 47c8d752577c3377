#include "configcheck.h"

#include <memory>

#include <lua/lua.hpp>

namespace zpkpack {
namespace {

// What a global may hold.
enum Kind { kString, kNumber, kBoolean, kStringList, kStringOrList, kTable };

struct Global {
  const char* name;
  Kind kind;
  bool required;  // one of the five values everything else is derived from
  bool file;      // names a file of the product folder (each element, for a list)
};

// Every global the configuration may set for the installer and its default scripts; the
// optional ones are checked for their type when present.
const Global kGlobals[] = {
    {"global_product_name", kString, true, false},
    {"global_product_name_inner", kString, true, false},
    {"global_main_app_name", kString, true, true},
    {"global_company_name", kString, true, false},
    {"global_version", kString, true, false},
    {"global_install_basepath", kString, false, false},
    {"global_http_Agent", kString, false, false},
    {"global_union_id", kNumber, false, false},
    {"global_union_id_x64", kNumber, false, false},
    {"global_app_id", kNumber, false, false},
    {"global_shortcut_name", kString, false, false},
    {"global_legalcopyright", kString, false, false},
    {"global_main_app_name_inner", kString, false, false},
    {"global_old_product_name", kString, false, false},
    {"global_licence_url", kString, false, false},
    {"global_need_disk_space", kNumber, false, false},
    {"global_main_wnd_cls", kString, false, false},
    {"global_uninst_sub_key", kString, false, false},
    {"global_reg_sub_key", kString, false, false},
    {"global_reg_run_key", kString, false, false},
    {"global_startup_check_visable", kBoolean, false, false},
    {"global_disable_cover", kBoolean, false, false},
    {"global_cover_unionId", kBoolean, false, false},
    {"global_show_completewindow", kBoolean, false, false},
    {"global_uninstall_useui", kBoolean, false, false},
    {"global_uninstall_no_start_prompt", kBoolean, false, false},
    {"global_create_log_folder", kBoolean, false, false},
    {"global_udp_un_install_port", kNumber, false, false},
    {"global_udp_install_uninstall_url", kString, false, false},
    {"global_install_PostURL", kString, false, false},
    {"global_Uninstall_PostURL", kString, false, false},
    {"global_Uninstall_Suggesstion_url", kString, false, false},
    {"global_AwardLnk_url", kString, false, false},
    {"global_Uninstall_ReasonURL", kString, false, false},
    {"global_kf_QQ", kNumber, false, false},
    {"global_kf_QQQ", kString, false, false},
    {"global_startuseexplorer_level", kBoolean, false, false},
    {"global_analyze_unionid_from_commandline", kBoolean, false, false},
    {"global_disable_analyze_params_from_file_name", kBoolean, false, false},
    {"global_enable_ss_install", kBoolean, false, false},
    {"global_default_ss_install", kBoolean, false, false},
    {"global_install_mutex_guid", kString, false, false},
    {"global_start_parameter", kString, false, false},
    {"global_merchant_id", kString, false, false},
    {"global_merchant_id_overwrite", kBoolean, false, false},
    {"global_custom_reg_list", kTable, false, false},
    {"global_conf_url", kString, false, false},
    {"global_reg_guid", kString, false, false},
    {"global_kill_process_list", kStringList, false, false},
    {"global_service_name", kString, false, false},
    {"global_service_app_name", kString, false, true},
    {"global_firewall_rule_name", kString, false, false},
    {"global_firewall_app_name", kString, false, true},
    {"global_shell_ext_dlls", kStringList, false, true},
    {"global_shell_ext_dlls_wow64", kStringList, false, true},
    {"global_assoc_extension", kStringOrList, false, false},
    {"global_assoc_progid", kString, false, false},
    {"global_assoc_verb", kString, false, false},
    {"global_assoc_app_args", kString, false, false},
    {"global_unassoc_app_args", kString, false, false},
    {"global_certificate_file", kString, false, true},
};

const char* KindName(Kind k) {
  switch (k) {
    case kString: return "string";
    case kNumber: return "number";
    case kBoolean: return "boolean";
    case kStringList: return "list of strings";
    case kStringOrList: return "string or list of strings";
    case kTable: return "table";
  }
  return "value";
}

// The strings of a list table (keys 1..n, nothing else); false when it holds anything else.
bool StringList(lua_State* L, int index, std::vector<std::string>& items) {
  const size_t n = lua_rawlen(L, index);
  size_t keys = 0;
  lua_pushnil(L);
  while (lua_next(L, index) != 0) {
    ++keys;
    lua_pop(L, 1);
  }
  if (keys != n) return false;
  for (size_t i = 1; i <= n; ++i) {
    lua_rawgeti(L, index, static_cast<int>(i));
    const bool isString = lua_type(L, -1) == LUA_TSTRING;
    if (isString) items.push_back(lua_tostring(L, -1));
    lua_pop(L, 1);
    if (!isString) return false;
  }
  return true;
}

// A file named relative to the installation directory: no drive, no leading separator,
// no "." or ".." component, nothing Windows refuses in a file name.
bool RelativeFileName(const std::string& path) {
  if (path.empty() || path.front() == '\\' || path.front() == '/' || path.back() == '\\' || path.back() == '/')
    return false;
  if (path.find_first_of(":*?\"<>|") != std::string::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

const int kStepLimit = 10000000;  // VM instructions; plain assignments need a handful

void StepLimit(lua_State* L, lua_Debug*) { luaL_error(L, "the configuration runs too long"); }

struct StateCloser {
  void operator()(lua_State* L) const { lua_close(L); }
};

void OpenLibs(lua_State* L) {
  const luaL_Reg libs[] = {{"_G", luaopen_base}, {LUA_STRLIBNAME, luaopen_string},
                           {LUA_TABLIBNAME, luaopen_table}, {LUA_MATHLIBNAME, luaopen_math}};
  for (const auto& lib : libs) {
    luaL_requiref(L, lib.name, lib.func, 1);
    lua_pop(L, 1);
  }
}

std::string GlobalString(lua_State* L, const char* name) {
  lua_getglobal(L, name);
  std::string v = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "";
  lua_pop(L, 1);
  return v;
}

}  // namespace

bool ParseVersion(const std::string& text, std::array<uint16_t, 4>& fields, std::string& why) {
  uint64_t v[4] = {};
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 6)
      v[i] = v[i] * 10 + uint64_t(text[pos++] - '0');
    if (pos == start || pos - start > 5) {
      why = "expected four dot-separated decimal numbers X.Y.Z.W";
      return false;
    }
    if (i < 3) {
      if (pos >= text.size() || text[pos] != '.') {
        why = "expected four dot-separated decimal numbers X.Y.Z.W";
        return false;
      }
      ++pos;
    }
  }
  if (pos != text.size()) {
    why = "expected four dot-separated decimal numbers X.Y.Z.W";
    return false;
  }
  if (v[1] > 99 || v[2] > 99 || v[3] > 9999) {
    why = "the second and third numbers must be below 100 and the fourth below 10000 "
          "(the registry's Version value encodes them in decimal places)";
    return false;
  }
  if (((v[0] * 100 + v[1]) * 100 + v[2]) * 10000 + v[3] > 0xffffffffull || v[0] > 0xffff) {
    why = "the version is too large for the registry's 32-bit Version value";
    return false;
  }
  for (int i = 0; i < 4; ++i) fields[i] = static_cast<uint16_t>(v[i]);
  return true;
}

ConfigCheck CheckConfig(const std::string& source, const std::string& name) {
  ConfigCheck c;
  std::unique_ptr<lua_State, StateCloser> L(luaL_newstate());
  if (!L) {
    c.errors.push_back(name + ": cannot create a Lua state");
    return c;
  }
  OpenLibs(L.get());
  std::string chunkName = "@" + name;
  if (luaL_loadbufferx(L.get(), source.data(), source.size(), chunkName.c_str(), "t") != LUA_OK) {
    c.errors.push_back(lua_tostring(L.get(), -1));
    return c;
  }
  lua_sethook(L.get(), StepLimit, LUA_MASKCOUNT, kStepLimit);
  if (lua_pcall(L.get(), 0, 0, 0) != LUA_OK) {
    const char* msg = lua_tostring(L.get(), -1);
    c.errors.push_back(std::string(msg ? msg : "error") + " (while running the configuration)");
    return c;
  }
  lua_sethook(L.get(), nullptr, 0, 0);
  for (const Global& g : kGlobals) {
    lua_getglobal(L.get(), g.name);
    const int t = lua_type(L.get(), -1);
    std::vector<std::string> items;
    bool ok = true;
    switch (g.kind) {
      case kString: ok = t == LUA_TSTRING; break;
      case kNumber: ok = t == LUA_TNUMBER; break;
      case kBoolean: ok = t == LUA_TBOOLEAN; break;
      case kTable: ok = t == LUA_TTABLE; break;
      case kStringList: ok = t == LUA_TTABLE && StringList(L.get(), lua_gettop(L.get()), items); break;
      case kStringOrList:
        ok = t == LUA_TSTRING || (t == LUA_TTABLE && StringList(L.get(), lua_gettop(L.get()), items));
        break;
    }
    if (t == LUA_TSTRING) items.assign(1, lua_tostring(L.get(), -1));
    lua_pop(L.get(), 1);
    if (t == LUA_TNIL) {
      if (g.required)
        c.errors.push_back(name + ": " + g.name + " is missing (a " + KindName(g.kind) + "; zpkpack init writes "
                           "the five values to fill in)");
      continue;
    }
    if (!ok) {
      c.errors.push_back(name + ": " + g.name + " must be a " + KindName(g.kind) + ", not " +
                         (t == LUA_TTABLE ? "a table holding other values" : std::string("a ") + lua_typename(L.get(), t)));
      continue;
    }
    if (g.required && items.size() == 1 && items[0].empty()) {
      c.errors.push_back(name + ": " + g.name + " is empty: fill it in");
      continue;
    }
    if (!g.file) continue;
    for (size_t i = 0; i < items.size(); ++i) {
      const std::string global = std::string(g.name) + (t == LUA_TTABLE ? "[" + std::to_string(i + 1) + "]" : "");
      if (!RelativeFileName(items[i]))
        c.errors.push_back(name + ": " + global + " \"" + items[i] + "\" must name a file inside the product folder");
      else
        c.values.files.push_back({global, items[i]});
    }
  }
  // Used in registry keys and folder names.
  const std::string inner = GlobalString(L.get(), "global_product_name_inner");
  if (!inner.empty() && (inner.find_first_of("\\/:*?\"<>|") != std::string::npos || inner == "." || inner == ".."))
    c.errors.push_back(name + ": global_product_name_inner \"" + inner +
                       "\" must be usable as a folder and registry key name (no \\ / : * ? \" < > |)");
  // The service step needs both its name and its program.
  lua_getglobal(L.get(), "global_service_name");
  lua_getglobal(L.get(), "global_service_app_name");
  if (lua_isnil(L.get(), -1) != lua_isnil(L.get(), -2))
    c.errors.push_back(name + ": global_service_name and global_service_app_name go together");
  lua_pop(L.get(), 2);
  c.values.version = GlobalString(L.get(), "global_version");
  c.values.productName = GlobalString(L.get(), "global_product_name");
  c.values.companyName = GlobalString(L.get(), "global_company_name");
  c.values.copyright = GlobalString(L.get(), "global_legalcopyright");
  c.values.mainAppName = GlobalString(L.get(), "global_main_app_name");
  c.ok = c.errors.empty();
  return c;
}

}  // namespace zpkpack
