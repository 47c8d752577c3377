#include "configcheck.h"

#include <memory>

#include <lua/lua.hpp>

namespace zpkpack {
namespace {

struct Global {
  const char* name;
  int type;       // LUA_TSTRING, LUA_TNUMBER or LUA_TBOOLEAN
  bool required;  // read by the installer or its scripts without a default
};

// Every global the configuration carries; the optional ones are checked for their type
// when present.
const Global kGlobals[] = {
    {"global_install_basepath", LUA_TSTRING, true},
    {"global_http_Agent", LUA_TSTRING, false},
    {"global_union_id", LUA_TNUMBER, true},
    {"global_union_id_x64", LUA_TNUMBER, false},
    {"global_app_id", LUA_TNUMBER, true},
    {"global_version", LUA_TSTRING, true},
    {"global_product_name", LUA_TSTRING, true},
    {"global_shortcut_name", LUA_TSTRING, false},
    {"global_product_name_inner", LUA_TSTRING, true},
    {"global_company_name", LUA_TSTRING, true},
    {"global_legalcopyright", LUA_TSTRING, false},
    {"global_main_app_name", LUA_TSTRING, true},
    {"global_main_app_name_inner", LUA_TSTRING, true},
    {"global_old_product_name", LUA_TSTRING, true},
    {"global_licence_url", LUA_TSTRING, false},
    {"global_need_disk_space", LUA_TNUMBER, false},
    {"global_main_wnd_cls", LUA_TSTRING, true},
    {"global_uninst_sub_key", LUA_TSTRING, true},
    {"global_reg_sub_key", LUA_TSTRING, true},
    {"global_reg_run_key", LUA_TSTRING, false},
    {"global_startup_check_visable", LUA_TBOOLEAN, false},
    {"global_disable_cover", LUA_TBOOLEAN, false},
    {"global_cover_unionId", LUA_TBOOLEAN, false},
    {"global_show_completewindow", LUA_TBOOLEAN, false},
    {"global_uninstall_useui", LUA_TBOOLEAN, false},
    {"global_uninstall_no_start_prompt", LUA_TBOOLEAN, false},
    {"global_create_log_folder", LUA_TBOOLEAN, false},
    {"global_udp_un_install_port", LUA_TNUMBER, true},
    {"global_udp_install_uninstall_url", LUA_TSTRING, true},
    {"global_install_PostURL", LUA_TSTRING, true},
    {"global_Uninstall_PostURL", LUA_TSTRING, true},
    {"global_Uninstall_Suggesstion_url", LUA_TSTRING, false},
    {"global_AwardLnk_url", LUA_TSTRING, false},
    {"global_Uninstall_ReasonURL", LUA_TSTRING, true},
    {"global_kf_QQ", LUA_TNUMBER, false},
    {"global_kf_QQQ", LUA_TSTRING, false},
    {"global_startuseexplorer_level", LUA_TBOOLEAN, false},
    {"global_analyze_unionid_from_commandline", LUA_TBOOLEAN, false},
    {"global_disable_analyze_params_from_file_name", LUA_TBOOLEAN, false},
    {"global_enable_ss_install", LUA_TBOOLEAN, false},
    {"global_install_mutex_guid", LUA_TSTRING, false},
};

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
    int t = lua_type(L.get(), -1);
    lua_pop(L.get(), 1);
    if (t == LUA_TNIL) {
      if (g.required) c.errors.push_back(name + ": " + g.name + " is missing (a " + lua_typename(L.get(), g.type) + ")");
      continue;
    }
    if (t != g.type)
      c.errors.push_back(name + ": " + g.name + " must be a " + lua_typename(L.get(), g.type) + ", not a " +
                         lua_typename(L.get(), t));
  }
  c.values.version = GlobalString(L.get(), "global_version");
  c.values.productName = GlobalString(L.get(), "global_product_name");
  c.values.companyName = GlobalString(L.get(), "global_company_name");
  c.values.copyright = GlobalString(L.get(), "global_legalcopyright");
  c.values.mainAppName = GlobalString(L.get(), "global_main_app_name");
  c.ok = c.errors.empty();
  return c;
}

}  // namespace zpkpack
