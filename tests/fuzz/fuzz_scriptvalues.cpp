// The script value types RawBuffer and AString under any sequence of script operations:
// typed reads and writes at any offset, text copied in and read out, one value's block
// written through another type's accessors (a RawBuffer setter over an AString's
// terminator), indexing, length, concatenation. Each value's block is mirrored here and
// compared after every operation, so a write outside the rules or outside the block, or a
// read past it, is caught even where the sanitizer would not see it (inside a block).
// WString is left out: its units are wchar_t, four bytes on Linux.
#include <fuzzer/FuzzedDataProvider.h>
#include <lua/lua.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "astring.h"
#include "rawbuffer.h"
#include "textconv.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

using Bytes = std::vector<uint8_t>;

struct Value {
  int ref;       // in the registry
  bool astring;  // else a RawBuffer
  Bytes mirror;  // what the block must hold
};

// The text of a block from `from`: up to its first NUL or its end.
std::string Bounded(const Bytes& b, size_t from) {
  std::string s;
  for (size_t i = from; i < b.size() && b[i]; ++i) s += static_cast<char>(b[i]);
  return s;
}

std::string AnsiToUtf8(const std::string& ansi) { return Utf16ToUtf8(AnsiToUtf16(ansi.c_str())); }
std::string Utf8ToAnsi(const std::string& utf8) { return Utf16ToAnsi(Utf8ToUtf16(utf8).c_str()); }

bool Reachable(int64_t off, size_t width, size_t size) {
  return off >= 0 && static_cast<uint64_t>(off) <= size && width <= size - static_cast<size_t>(off);
}

class Session {
 public:
  explicit Session(FuzzedDataProvider& in) : in_(in), L(luaL_newstate()) {
    luaL_requiref(L, "RawBuffer", luaopen_RawBuffer, 1);
    luaL_requiref(L, "AString", luaopen_AString, 1);
    lua_settop(L, 0);
  }
  ~Session() { lua_close(L); }

  void Run() {
    for (int step = 0; step < 64 && in_.remaining_bytes() > 0; ++step) {
      Step(in_.ConsumeIntegralInRange<int>(0, 14));
      Require(lua_gettop(L) == 0);
      for (const Value& v : values_) Require(BlockMatches(v));
    }
  }

 private:
  void Step(int op) {
    if (op == 0) return NewRawBuffer();
    if (op == 1) return NewAString();
    if (values_.empty()) return;
    Value& v = Pick();
    switch (op) {
      case 2: return GetInt(v);
      case 3: return SetInt(v);
      case 4: return Boolean(v);
      case 5: return Pointer(v);
      case 6: return GetText(v);
      case 7: return SetText(v);
      default:
        if (v.astring) return StringOp(op, v);
    }
  }

  Value& Pick() { return values_[in_.ConsumeIntegralInRange<size_t>(0, values_.size() - 1)]; }

  // Mostly near the block, sometimes far outside it.
  int64_t Offset(size_t size) {
    static const int64_t kFar[] = {INT32_MAX, INT32_MIN, int64_t{1} << 32, -(int64_t{1} << 32),
                                   int64_t{1} << 53, -(int64_t{1} << 53), 4096, -1};
    const uint8_t b = in_.ConsumeIntegral<uint8_t>();
    if (b >= 240) return kFar[b % 8];
    return static_cast<int64_t>(b % (size + 9)) - 4;
  }

  void PushValue(const Value& v) { lua_rawgeti(L, LUA_REGISTRYINDEX, v.ref); }
  void Method(const char* meta, const char* name) {
    luaL_getmetatable(L, meta);
    lua_getfield(L, -1, name);
    lua_remove(L, -2);
  }
  void Call(int args) { Require(lua_pcall(L, args, 1, 0) == LUA_OK); }
  // A RawBuffer accessor with its first two arguments, the value and the offset.
  void PushAccessor(const char* name, const Value& v, int64_t off) {
    Method("RawBufferMetaTable", name);
    PushValue(v);
    lua_pushnumber(L, static_cast<lua_Number>(off));
  }

  bool BlockMatches(const Value& v) {
    PushValue(v);
    const auto* block = static_cast<const uint8_t*>(lua_touserdata(L, -1));
    const size_t size = lua_rawlen(L, -1);
    lua_pop(L, 1);
    return block && size == v.mirror.size() && std::memcmp(block, v.mirror.data(), size) == 0;
  }

  uint8_t* Block(const Value& v) {
    PushValue(v);
    auto* block = static_cast<uint8_t*>(lua_touserdata(L, -1));
    lua_pop(L, 1);
    return block;
  }

  void Keep(bool astring, Bytes mirror) {
    Require(lua_type(L, -1) == LUA_TUSERDATA);
    values_.push_back({luaL_ref(L, LUA_REGISTRYINDEX), astring, std::move(mirror)});
  }

  void NewRawBuffer() {
    const size_t size = in_.ConsumeIntegralInRange<size_t>(0, 64);
    lua_getglobal(L, "RawBuffer");
    lua_getfield(L, -1, "New");
    lua_remove(L, -2);
    lua_pushinteger(L, static_cast<lua_Integer>(size));
    Call(1);
    if (size == 0) {
      Require(lua_isnil(L, -1));
      lua_pop(L, 1);
      return;
    }
    Keep(false, Bytes(size, 0));
  }

  // AString.New(capacity [, init]); init is script text or another value.
  void NewAString() {
    const int capacity = in_.ConsumeIntegralInRange<int>(-2, 40);
    const int form = in_.ConsumeIntegralInRange<int>(0, 2);
    lua_getglobal(L, "AString");
    lua_getfield(L, -1, "New");
    lua_remove(L, -2);
    lua_pushinteger(L, capacity);
    std::string init;
    if (form == 1) {
      const std::string text = in_.ConsumeRandomLengthString(48);
      lua_pushlstring(L, text.data(), text.size());
      init = Utf8ToAnsi(text);
    } else if (form == 2 && !values_.empty()) {
      const Value& from = Pick();
      PushValue(from);
      if (from.astring) init = Bounded(from.mirror, 0);
    }
    const bool withInit = lua_gettop(L) == 3;
    Call(withInit ? 2 : 1);
    if (!withInit && capacity <= 0) {
      Require(lua_isnil(L, -1));
      lua_pop(L, 1);
      return;
    }
    size_t units = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    if (init.size() >= units) units = init.size() + 1;
    Bytes mirror(units, 0);
    std::memcpy(mirror.data(), init.data(), init.size());
    Keep(true, std::move(mirror));
  }

  struct Width {
    const char* get;
    const char* set;
    size_t bytes;
    bool isSigned;
  };

  const Width& PickWidth() {
    static const Width kWidths[] = {
        {"OffsetGetAsInt32", "OffsetSetAsInt32", 4, true},   {"OffsetGetAsUInt32", "OffsetSetAsUInt32", 4, false},
        {"OffsetGetAsInt16", "OffsetSetAsInt16", 2, true},   {"OffsetGetAsUInt16", "OffsetSetAsUInt16", 2, false},
        {"OffsetGetAsInt8", "OffsetSetAsInt8", 1, true},     {"OffsetGetAsUInt8", "OffsetSetAsUInt8", 1, false},
    };
    return kWidths[in_.ConsumeIntegralInRange<int>(0, 5)];
  }

  static double Decode(const Bytes& b, size_t at, const Width& w) {
    uint64_t raw = 0;
    for (size_t i = 0; i < w.bytes; ++i) raw |= uint64_t{b[at + i]} << (8 * i);
    if (w.isSigned && w.bytes < 8 && (raw >> (8 * w.bytes - 1)) & 1) {
      return static_cast<double>(static_cast<int64_t>(raw | (~uint64_t{0} << (8 * w.bytes))));
    }
    return static_cast<double>(raw);
  }

  // The accessors run on any full userdata: a RawBuffer's or an AString's block.
  void GetInt(Value& v) {
    const Width& w = PickWidth();
    const int64_t off = Offset(v.mirror.size());
    PushAccessor(w.get, v, off);
    Call(2);
    if (Reachable(off, w.bytes, v.mirror.size())) {
      Require(lua_type(L, -1) == LUA_TNUMBER && lua_tonumber(L, -1) == Decode(v.mirror, off, w));
    } else {
      Require(lua_isnil(L, -1));
    }
    lua_pop(L, 1);
  }

  // Both kinds of setter keep the low bits of the value (exact in a double below 2^51).
  void SetInt(Value& v) {
    const Width& w = PickWidth();
    const int64_t off = Offset(v.mirror.size());
    const int64_t value = in_.ConsumeIntegralInRange<int64_t>(-(int64_t{1} << 51), (int64_t{1} << 51) - 1);
    PushAccessor(w.set, v, off);
    lua_pushnumber(L, static_cast<lua_Number>(value));
    Call(3);
    lua_pop(L, 1);
    if (!Reachable(off, w.bytes, v.mirror.size())) return;
    for (size_t i = 0; i < w.bytes; ++i) v.mirror[off + i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
  }

  void Boolean(Value& v) {
    const int64_t off = Offset(v.mirror.size());
    const bool reachable = Reachable(off, 4, v.mirror.size());
    if (in_.ConsumeBool()) {
      PushAccessor("OffsetGetAsBoolean", v, off);
      Call(2);
      if (reachable) {
        const uint8_t* p = &v.mirror[off];
        Require(lua_isboolean(L, -1) && lua_toboolean(L, -1) == (p[0] || p[1] || p[2] || p[3]));
      } else {
        Require(lua_isnil(L, -1));
      }
      lua_pop(L, 1);
      return;
    }
    const bool value = in_.ConsumeBool();
    PushAccessor("OffsetSetAsBoolean", v, off);
    lua_pushboolean(L, value);
    Call(3);
    lua_pop(L, 1);
    if (!reachable) return;
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), 0, 0, 0};
    std::memcpy(&v.mirror[off], bytes, 4);
  }

  // The address of a byte of the block (one past the end allowed), or a stored address.
  void Pointer(Value& v) {
    const int64_t off = Offset(v.mirror.size());
    if (in_.ConsumeBool()) {
      PushAccessor("OffsetGetAsPointer", v, off);
      Call(2);
      if (Reachable(off, 0, v.mirror.size())) {
        Require(lua_type(L, -1) == LUA_TLIGHTUSERDATA && lua_touserdata(L, -1) == Block(v) + off);
      } else {
        Require(lua_isnil(L, -1));
      }
      lua_pop(L, 1);
      return;
    }
    const Value* target = in_.ConsumeBool() ? &Pick() : nullptr;
    void* address = target ? Block(*target) : nullptr;
    PushAccessor("OffsetSetAsPointer", v, off);
    if (target) {
      PushValue(*target);
    } else {
      lua_pushnil(L);
    }
    Call(3);
    lua_pop(L, 1);
    if (Reachable(off, sizeof address, v.mirror.size())) std::memcpy(&v.mirror[off], &address, sizeof address);
  }

  void GetText(Value& v) {
    const int64_t off = Offset(v.mirror.size());
    const bool wide = in_.ConsumeBool();
    PushAccessor(wide ? "OffsetGetAsWString" : "OffsetGetAsAString", v, off);
    Call(2);
    if (!Reachable(off, 0, v.mirror.size())) {
      Require(lua_isnil(L, -1));
      lua_pop(L, 1);
      return;
    }
    std::string expected;
    if (wide) {
      std::wstring units;
      for (size_t i = off; i + 1 < v.mirror.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(v.mirror[i] | (v.mirror[i + 1] << 8));
        if (!unit) break;
        units.push_back(unit);
      }
      expected = Utf16ToUtf8(units);
    } else {
      expected = AnsiToUtf8(Bounded(v.mirror, off));
    }
    size_t len = 0;
    const char* text = lua_tolstring(L, -1, &len);
    Require(lua_type(L, -1) == LUA_TSTRING && std::string(text, len) == expected);
    lua_pop(L, 1);
  }

  // Script text is copied with its terminator, a userdata value's whole block as it is.
  void SetText(Value& v) {
    const int64_t off = Offset(v.mirror.size());
    const bool wide = in_.ConsumeBool();
    PushAccessor(wide ? "OffsetSetAsWString" : "OffsetSetAsAString", v, off);
    Bytes bytes;
    if (in_.ConsumeBool()) {
      const Value& from = Pick();
      PushValue(from);
      bytes = from.mirror;
    } else {
      const std::string text = in_.ConsumeRandomLengthString(24);
      lua_pushlstring(L, text.data(), text.size());
      if (wide) {
        const std::wstring w = Utf8ToUtf16(text);
        for (size_t i = 0; i <= w.size(); ++i) {
          const uint32_t unit = i < w.size() ? static_cast<uint32_t>(w[i]) : 0;
          for (size_t k = 0; k < sizeof(wchar_t); ++k) bytes.push_back(static_cast<uint8_t>(unit >> (8 * k)));
        }
      } else {
        const std::string a = Utf8ToAnsi(text);
        bytes.assign(a.begin(), a.end());
        bytes.push_back(0);
      }
    }
    Call(3);
    lua_pop(L, 1);
    if (!bytes.empty() && Reachable(off, bytes.size(), v.mirror.size()))
      std::memmove(&v.mirror[off], bytes.data(), bytes.size());
  }

  // AString's own metamethods.
  void StringOp(int op, Value& v) {
    const size_t units = v.mirror.size();
    const std::string text = Bounded(v.mirror, 0);
    if (op == 8) {  // s[pos]: one unit as text, "" for a NUL, nil outside the block
      const int64_t pos = Offset(units);
      Method("AStringMetaTable", "__index");
      PushValue(v);
      lua_pushnumber(L, static_cast<lua_Number>(pos));
      Call(2);
      if (pos < 0 || static_cast<uint64_t>(pos) >= units) {
        Require(lua_isnil(L, -1));
      } else {
        const char one[2] = {static_cast<char>(v.mirror[pos]), 0};
        size_t len = 0;
        const char* got = lua_tolstring(L, -1, &len);
        Require(got && std::string(got, len) == AnsiToUtf8(one));
      }
      lua_pop(L, 1);
    } else if (op == 9) {  // s[pos] = c: one unit inside the text (position 0 excluded)
      const int64_t pos = Offset(units);
      const std::string c = in_.ConsumeRandomLengthString(5);
      Method("AStringMetaTable", "__newindex");
      PushValue(v);
      lua_pushnumber(L, static_cast<lua_Number>(pos));
      lua_pushlstring(L, c.data(), c.size());
      Require(lua_pcall(L, 3, 0, 0) == LUA_OK);
      const std::string unit = Utf8ToAnsi(c);
      if (pos >= 1 && static_cast<uint64_t>(pos) < text.size() && !unit.empty()) v.mirror[pos] = unit[0];
    } else if (op == 10) {  // #s
      Method("AStringMetaTable", "__len");
      PushValue(v);
      Call(1);
      Require(lua_tonumber(L, -1) == static_cast<double>(text.size()));
      lua_pop(L, 1);
    } else if (op == 11) {  // tostring(s)
      Method("AStringMetaTable", "__tostring");
      PushValue(v);
      Call(1);
      size_t len = 0;
      const char* got = lua_tolstring(L, -1, &len);
      Require(got && std::string(got, len) == AnsiToUtf8(text));
      lua_pop(L, 1);
    } else if (op == 12) {  // s == other: both AStrings with the same text
      const Value& other = Pick();
      Method("AStringMetaTable", "__eq");
      PushValue(v);
      PushValue(other);
      Call(2);
      Require(lua_toboolean(L, -1) == (other.astring && Bounded(other.mirror, 0) == text));
      lua_pop(L, 1);
    } else {  // s .. other, other .. s: a new AString of the joined texts
      const Value& other = Pick();
      const std::string tail = other.astring ? Bounded(other.mirror, 0) : std::string();
      const bool first = in_.ConsumeBool();
      Method("AStringMetaTable", "__concat");
      PushValue(first ? v : other);
      PushValue(first ? other : v);
      Call(2);
      const std::string joined = first ? text + tail : tail + text;
      Bytes mirror(joined.begin(), joined.end());
      mirror.push_back(0);
      Keep(true, std::move(mirror));
    }
  }

  FuzzedDataProvider& in_;
  lua_State* L;
  std::vector<Value> values_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Session(in).Run();
  return 0;
}
