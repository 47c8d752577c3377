#include "luachunk.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include <lua/lua.hpp>

namespace zpkpack {
namespace {

const size_t kHeaderSize = 18;      // signature 4, version, format, endianness, 5 sizes, tail 6
const size_t kSizeTOffset = 8;      // the header byte holding sizeof(size_t)

// Where the main function's parts lie in a chunk (byte offsets into the input).
struct MainLayout {
  std::vector<std::pair<size_t, size_t>> protos;  // each nested function, begin and end
  size_t upvalues = 0;                            // the upvalue count, then (instack, idx) pairs
  size_t lineInfo = 0, lineInfoEnd = 0;           // the line-info count and the end of its entries
};

// Reads the source chunk and writes the same fields with the new size_t width, noting
// where the main function's parts lie.
class ChunkRewriter {
 public:
  ChunkRewriter(const std::string& in, unsigned fromSize, unsigned toSize)
      : in_(in), from_(fromSize), to_(toSize) {}

  const MainLayout& Layout() const { return main_; }

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
    for (int i = 0, n = Count(); i < n; ++i) {
      size_t begin = pos_;
      Function(depth + 1);
      if (depth == 0) main_.protos.emplace_back(begin, pos_);
    }
    if (depth == 0) main_.upvalues = pos_;
    Copy(size_t(Count()) * 2);   // upvalues: instack, idx
    String();                    // source
    if (depth == 0) main_.lineInfo = pos_;
    Copy(size_t(Count()) * 4);   // line info
    if (depth == 0) main_.lineInfoEnd = pos_;
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
  MainLayout main_;
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

// Compiles one source into this program's own chunk format (8-byte size_t here).
bool CompileNative(const std::string& source, const std::string& name, std::string& native, std::string& error) {
  std::unique_ptr<lua_State, StateCloser> L(luaL_newstate());
  if (!L) {
    error = "cannot create a Lua state";
    return false;
  }
  std::string text = SourceText(source);
  if (luaL_loadbufferx(L.get(), text.data(), text.size(), name.c_str(), "t") != LUA_OK) {
    const char* msg = lua_tostring(L.get(), -1);
    error = msg ? msg : "unknown error";
    return false;
  }
  if (lua_dump(L.get(), Collect, &native) != 0) {
    error = "cannot dump the compiled chunk";
    return false;
  }
  return true;
}

MainLayout LayoutOf(const std::string& chunk) {
  unsigned size = static_cast<unsigned char>(chunk[kSizeTOffset]);
  ChunkRewriter walk(chunk, size, size);
  walk.Run();
  return walk.Layout();
}

// luac's way of making one chunk of several files: a main function "=(luac)" that calls
// each file's main function in turn, with no line information of its own. Each file's
// main function takes _ENV from the enclosing function instead of from the stack.
std::string Combine(const std::vector<std::string>& parts) {
  std::string calls;
  for (size_t i = 0; i < parts.size(); ++i) calls += "(function()end)();\n";
  std::string outer, error;
  if (!CompileNative(calls, "=(luac)", outer, error)) throw std::runtime_error(error);
  MainLayout o = LayoutOf(outer);
  if (o.protos.size() != parts.size()) throw std::runtime_error("unexpected combining function");

  std::string out = outer.substr(0, o.protos.front().first);
  for (const std::string& part : parts) {
    MainLayout p = LayoutOf(part);
    std::string body = part.substr(kHeaderSize);
    bool hasUpvalues = part.compare(p.upvalues, 4, std::string(4, '\0')) != 0;
    if (hasUpvalues) body[p.upvalues + 4 - kHeaderSize] = 0;  // the first one's instack
    out += body;
  }
  out.append(outer, o.protos.back().second, o.lineInfo - o.protos.back().second);
  out.append(4, '\0');  // no line information
  out.append(outer, o.lineInfoEnd, std::string::npos);
  return out;
}

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

ChunkResult CompileLuaChunks(const std::vector<ScriptSource>& sources, unsigned sizeT) {
  ChunkResult r;
  if (sources.empty()) {
    r.error = "no script";
    return r;
  }
  std::vector<std::string> natives;
  for (const ScriptSource& s : sources) {
    natives.emplace_back();
    if (!CompileNative(s.text, "@" + s.name, natives.back(), r.error)) return r;
  }
  if (natives.size() == 1) return ResizeChunk(natives.front(), sizeT);
  try {
    return ResizeChunk(Combine(natives), sizeT);
  } catch (const std::exception& e) {
    r.error = std::string("cannot combine the scripts: ") + e.what();
  }
  return r;
}

ChunkResult CompileLuaChunk(const std::string& source, const std::string& name, unsigned sizeT) {
  return CompileLuaChunks({{source, name}}, sizeT);
}

}  // namespace zpkpack
