#include "primitives/registry.h"

#include <algorithm>
#include <cstring>

#include "handles.h"
#include "latebound.h"
#include "log/debugoutput.h"
#include "scriptargs.h"

namespace {

// No view flag: the installer stays in the registry view of its own process (the 32-bit
// one on 64-bit Windows). Readers ask for reading only, so a key one may read but not
// write still reads; writers ask for both.
constexpr REGSAM kReadAccess = KEY_READ;
constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;
constexpr DWORD kKeyNameUnits = 256;  // key names are at most 255 characters

int PushNil(lua_State* L) {
  lua_pushnil(L);
  return 1;
}

UniqueRegKey OpenKey(HKEY root, const std::wstring& subkey, LONG* error = nullptr, REGSAM access = kAccess) {
  HKEY h = nullptr;
  LONG r = root ? RegOpenKeyExW(root, subkey.c_str(), 0, access, &h) : ERROR_INVALID_HANDLE;
  if (error) *error = r;
  return UniqueRegKey(r == ERROR_SUCCESS ? h : nullptr);
}

// The expansion of REG_SZ data. It starts with the usual 260-unit buffer but grows it,
// so that long data is stored whole instead of cut or lost.
std::wstring ExpandWhole(const std::wstring& text) {
  std::vector<wchar_t> buf(scriptargs::kPathUnits);
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (needed == 0) return text;
    if (needed <= buf.size()) return std::wstring(buf.data());
    buf.assign(needed, 0);
  }
  return text;
}

LONG SetString(HKEY key, const std::wstring& value, DWORD type, const std::wstring& data) {
  return RegSetValueExW(key, value.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

// The system's answer to the write; an unknown type writes nothing and fails.
LONG WriteValue(lua_State* L, HKEY key, const std::wstring& value, const std::wstring& type) {
  if (type == L"REG_SZ") return SetString(key, value, REG_SZ, ExpandWhole(scriptargs::Text(L, 5)));
  if (type == L"REG_EXPAND_SZ") return SetString(key, value, REG_EXPAND_SZ, scriptargs::Text(L, 5));
  if (type == L"REG_DWORD") {
    // Modular conversion: 0xFFFFFFFF and -1 both store FFFFFFFF, on either word size.
    const DWORD data = static_cast<DWORD>(scriptargs::Unsigned(L, 5));
    return RegSetValueExW(key, value.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  }
  if (type == L"REG_BINARY") {
    const std::vector<BYTE> bytes = regprim::ParseHexBytes(scriptargs::Text(L, 5));
    return RegSetValueExW(key, value.c_str(), 0, REG_BINARY, bytes.empty() ? nullptr : bytes.data(),
                          static_cast<DWORD>(bytes.size()));
  }
  return ERROR_INVALID_PARAMETER;
}

// A string value's text, cut at its first NUL; false when it cannot be read as a string.
bool ReadString(HKEY key, const std::wstring& value, DWORD size, std::wstring& out) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    // Room for a missing terminator and an odd byte count.
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 2, 0);
    DWORD bytes = static_cast<DWORD>((buf.size() - 1) * sizeof(wchar_t));
    DWORD type = REG_NONE;
    LONG r = RegQueryValueExW(key, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &bytes);
    if (r == ERROR_MORE_DATA) {  // the value grew in between
      size = bytes;
      continue;
    }
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    out = buf.data();
    return true;
  }
  return false;
}

bool ReadDword(HKEY key, const std::wstring& value, DWORD size, DWORD& out) {
  std::vector<BYTE> buf(std::max<DWORD>(size, sizeof(DWORD)), 0);
  DWORD bytes = static_cast<DWORD>(buf.size());
  DWORD type = REG_NONE;
  if (RegQueryValueExW(key, value.c_str(), nullptr, &type, buf.data(), &bytes) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return false;
  std::memcpy(&out, buf.data(), sizeof out);
  return true;
}

// A subkey naming nothing below the root would make the tree deletion take the root's
// whole content with it.
bool NamesNoSubkey(const std::wstring& subkey) {
  return subkey.find_first_not_of(L'\\') == std::wstring::npos;
}

}  // namespace

namespace regprim {

HKEY RootByName(const std::wstring& name) {
  if (name == L"HKCR") return HKEY_CLASSES_ROOT;
  if (name == L"HKCU") return HKEY_CURRENT_USER;
  if (name == L"HKLM") return HKEY_LOCAL_MACHINE;
  if (name == L"HKU") return HKEY_USERS;
  if (name == L"HKCC") return HKEY_CURRENT_CONFIG;
  return nullptr;
}

std::vector<BYTE> ParseHexBytes(const std::wstring& text) {
  std::vector<BYTE> bytes;
  bytes.reserve((text.size() + 1) / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    for (size_t j = i; j < i + 2 && j < text.size(); ++j) {
      const wchar_t c = text[j];
      unsigned digit;
      if (c >= L'0' && c <= L'9') {
        digit = c - L'0';
      } else if (c >= L'a' && c <= L'f') {
        digit = c - L'a' + 10;
      } else if (c >= L'A' && c <= L'F') {
        digit = c - L'A' + 10;
      } else {
        break;
      }
      value = value * 16 + digit;
    }
    bytes.push_back(static_cast<BYTE>(value));
  }
  return bytes;
}

LONG DeleteKeyTree(HKEY parent, const std::wstring& name) {
  LONG r = ERROR_SUCCESS;
  UniqueRegKey key = OpenKey(parent, name, &r);
  if (!key) return r;
  for (;;) {
    wchar_t child[kKeyNameUnits];
    DWORD len = kKeyNameUnits;
    if (RegEnumKeyExW(key.get(), 0, child, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    r = DeleteKeyTree(key.get(), child);
    if (r != ERROR_SUCCESS) return r;
  }
  key.reset();
  if (latebound::RegDeleteKeyExFn fn = latebound::RegDeleteKeyEx()) return fn(parent, name.c_str(), 0, 0);
  return RegDeleteKeyW(parent, name.c_str());
}

}  // namespace regprim

int Lua_RegQuery(lua_State* L) {
  UniqueRegKey key = OpenKey(regprim::RootByName(scriptargs::Text(L, 1)), scriptargs::Text(L, 2), nullptr, kReadAccess);
  if (!key) return PushNil(L);
  const std::wstring value = scriptargs::Text(L, 3);
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return PushNil(L);
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::wstring text;
    return ReadString(key.get(), value, size, text) ? scriptargs::PushText(L, text) : PushNil(L);
  }
  if (type == REG_DWORD) {
    DWORD data = 0;
    if (!ReadDword(key.get(), value, size, data)) return PushNil(L);
    lua_pushunsigned(L, data);
    return 1;
  }
  return PushNil(L);
}

int Lua_RegAdd(lua_State* L) {
  const HKEY root = regprim::RootByName(scriptargs::Text(L, 1));
  const std::wstring subkey = scriptargs::Text(L, 2);
  const std::wstring value = scriptargs::Text(L, 3);
  const std::wstring type = scriptargs::Text(L, 4);
  const bool overwrite = scriptargs::Boolean(L, 6);
  HKEY h = nullptr;
  if (!root || RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                               nullptr, &h, nullptr) != ERROR_SUCCESS)
    return scriptargs::PushBoolean(L, false);
  UniqueRegKey key(h);
  // Without overwrite only a value that is certainly absent is written; one that is
  // there already is no failure.
  if (!overwrite &&
      RegQueryValueExW(key.get(), value.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND)
    return scriptargs::PushBoolean(L, true);
  return scriptargs::PushBoolean(L, WriteValue(L, key.get(), value, type) == ERROR_SUCCESS);
}

int Lua_RegDel(lua_State* L) {
  const std::wstring rootName = scriptargs::Text(L, 1);
  const HKEY root = regprim::RootByName(rootName);
  const std::wstring subkey = scriptargs::Text(L, 2);
  if (lua_gettop(L) >= 3) {
    const std::wstring value = scriptargs::Text(L, 3);
    LONG r = ERROR_SUCCESS;
    UniqueRegKey key = OpenKey(root, subkey, &r);
    if (!key) return scriptargs::PushBoolean(L, r == ERROR_FILE_NOT_FOUND);  // no key: nothing to delete
    r = RegDeleteValueW(key.get(), value.c_str());
    qd::Output(L"Delete Value %ls, %ls, %ls", rootName.c_str(), subkey.c_str(), value.c_str());
    return scriptargs::PushBoolean(L, r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND);
  }
  LONG r = ERROR_SUCCESS;
  UniqueRegKey rootKey = OpenKey(root, std::wstring(), &r);
  if (!rootKey) {
    qd::Output(L"OpenKey %ls failed, errcode: %ld\r\n", rootName.c_str(), static_cast<long>(r));
    return scriptargs::PushBoolean(L, false);
  }
  r = NamesNoSubkey(subkey) ? ERROR_INVALID_PARAMETER : regprim::DeleteKeyTree(rootKey.get(), subkey);
  if (r != ERROR_SUCCESS)
    qd::Output(L"DeleteSubKey %ls failed, errcode: %ld", subkey.c_str(), static_cast<long>(r));
  return scriptargs::PushBoolean(L, r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND);
}
