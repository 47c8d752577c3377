#include "luachunk.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <lua/lua.hpp>

namespace zpkpack {
namespace {

const size_t kHeaderSize = 18;      // signature 4, version, format, endianness, 5 sizes, tail 6
const size_t kSizeTOffset = 8;      // the header byte holding sizeof(size_t)

// Reads the source chunk and writes the same fields with the new size_t width.
class ChunkRewriter {
 public:
  ChunkRewriter(const std::string& in, unsigned fromSize, unsigned toSize)
      : in_(in), from_(fromSize), to_(toSize) {}

  std::string Run() {
    Copy(kHeaderSize);
    out_[kSizeTOffset] = static_cast<char>(to_);
    Function(0);
    if (pos_ != in_.size()) throw std::runtime_error("trailing bytes after the main function");
    return out_;
  }

 private:
  void Need(size_t n) {
    if (in_.size() - pos_ < n) throw std::runtime_error("truncated chunk");
  }
  void Copy(size_t n) {
    Need(n);
    out_.append(in_, pos_, n);
    pos_ += n;
  }
  int32_t Int() {
    Need(4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(static_cast<unsigned char>(in_[pos_ + i])) << (8 * i);
    Copy(4);
    return static_cast<int32_t>(v);
  }
  int Count() {
    int32_t n = Int();
    if (n < 0) throw std::runtime_error("negative count");
    return n;
  }
  unsigned char Byte() {
    Need(1);
    unsigned char c = static_cast<unsigned char>(in_[pos_]);
    Copy(1);
    return c;
  }
  void String() {
    Need(from_);
    uint64_t len = 0;
    for (unsigned i = 0; i < from_; ++i)
      len |= uint64_t(static_cast<unsigned char>(in_[pos_ + i])) << (8 * i);
    pos_ += from_;
    if (to_ < 8 && len >> (8 * to_)) throw std::runtime_error("string too long for the target");
    for (unsigned i = 0; i < to_; ++i) out_ += static_cast<char>(i < 8 ? (len >> (8 * i)) & 0xff : 0);
    Copy(len);
  }
  void Function(int depth) {
    if (depth > 200) throw std::runtime_error("functions nested too deeply");
    Copy(8 + 3);                 // linedefined, lastlinedefined, numparams, is_vararg, maxstacksize
    Copy(size_t(Count()) * 4);   // code
    for (int i = 0, n = Count(); i < n; ++i) {
      switch (Byte()) {
        case LUA_TNIL: break;
        case LUA_TBOOLEAN: Copy(1); break;
        case LUA_TNUMBER: Copy(8); break;
        case LUA_TSTRING: String(); break;
        default: throw std::runtime_error("unknown constant type");
      }
    }
    for (int i = 0, n = Count(); i < n; ++i) Function(depth + 1);
    Copy(size_t(Count()) * 2);   // upvalues: instack, idx
    String();                    // source
    Copy(size_t(Count()) * 4);   // line info
    for (int i = 0, n = Count(); i < n; ++i) {
      String();                  // local variable name
      Copy(8);                   // startpc, endpc
    }
    for (int i = 0, n = Count(); i < n; ++i) String();  // upvalue names
  }

  const std::string& in_;
  unsigned from_, to_;
  size_t pos_ = 0;
  std::string out_;
};

int Collect(lua_State*, const void* p, size_t n, void* ud) {
  static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

// luac's file reader: a byte-order mark is dropped, a first line starting with '#' becomes
// an empty line so that line numbers stay right.
std::string SourceText(const std::string& source) {
  std::string text = source;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  if (!text.empty() && text[0] == '#') {
    size_t eol = text.find('\n');
    text = "\n" + (eol == std::string::npos ? std::string() : text.substr(eol + 1));
  }
  return text;
}

struct StateCloser {
  void operator()(lua_State* L) const { lua_close(L); }
};

}  // namespace

ChunkResult ResizeChunk(const std::string& chunk, unsigned sizeT) {
  ChunkResult r;
  if (chunk.size() < kHeaderSize || chunk.compare(0, 4, "\x1bLua") != 0 ||
      static_cast<unsigned char>(chunk[4]) != 0x52 || chunk[6] != 1) {
    r.error = "not a little-endian Lua 5.2 chunk";
    return r;
  }
  unsigned from = static_cast<unsigned char>(chunk[kSizeTOffset]);
  if ((from != 4 && from != 8) || (sizeT != 4 && sizeT != 8)) {
    r.error = "unsupported size_t width";
    return r;
  }
  try {
    r.chunk = ChunkRewriter(chunk, from, sizeT).Run();
    r.ok = true;
  } catch (const std::exception& e) {
    r.error = std::string("malformed chunk: ") + e.what();
  }
  return r;
}

ChunkResult CompileLuaChunk(const std::string& source, const std::string& name, unsigned sizeT) {
  ChunkResult r;
  std::unique_ptr<lua_State, StateCloser> L(luaL_newstate());
  if (!L) {
    r.error = "cannot create a Lua state";
    return r;
  }
  std::string text = SourceText(source);
  std::string chunkName = "@" + name;
  if (luaL_loadbufferx(L.get(), text.data(), text.size(), chunkName.c_str(), "t") != LUA_OK) {
    const char* msg = lua_tostring(L.get(), -1);
    r.error = msg ? msg : "unknown error";
    return r;
  }
  std::string native;
  if (lua_dump(L.get(), Collect, &native) != 0) {
    r.error = "cannot dump the compiled chunk";
    return r;
  }
  return ResizeChunk(native, sizeT);
}

}  // namespace zpkpack
