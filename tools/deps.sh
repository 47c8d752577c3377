#!/usr/bin/env bash
# Installs the build machine's packages and builds every third-party library for both
# Windows targets into a versioned cache outside the repository. Idempotent: each step
# leaves a stamp, so a second run only checks the stamps.
#   tools/deps.sh            -> prints the cache directory on stdout
set -euo pipefail

DEPS_VERSION=v1
CACHE_ROOT=${ZPK_CACHE:-/var/cache/zpksetup}
DEPS=$CACHE_ROOT/deps-$DEPS_VERSION
TARGETS=(i686 x86_64)
log() { echo "[deps] $*" >&2; }

APT_PACKAGES=(
  cmake ninja-build make dpkg-dev pkg-config
  mingw-w64 binutils-mingw-w64 gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  gcc-multilib qemu-user-static wine wine64 7zip zip unzip python3 openssl
  libspdlog-dev libfmt-dev libstb-dev googletest libgtest-dev
  xvfb xdotool x11-utils imagemagick fonts-wqy-microhei clang libclang-rt-14-dev qrencode
  osslsigncode
)

# Packages without which nothing builds; the rest only widen what runs (32-bit Wine: the
# i686 tests, which the test command then skips loudly).
OPTIONAL_PACKAGES=(wine32:i386)

# apt-get update, retried: a mirror in the middle of a sync serves a list of the wrong
# size for a while ("Mirror sync in progress?"). A list that still fails is reported and
# left out; what the other lists offer can still be installed.
apt_update() { # [apt-get options...]
  local attempt err
  err=$(mktemp)
  for attempt in 1 2 3; do
    if apt-get "$@" update -qq >&2 2>"$err"; then rm -f "$err"; return 0; fi
    log "package list update failed (attempt $attempt of 3):"
    grep -E '^(E|W):' "$err" | sed 's/^/[deps]   /' >&2 || true
    [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
  done
  log "going on with the package lists that did update"
  rm -f "$err"
  return 0
}

apt_install() { # package...
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >&2
}

install_packages() {
  local missing=()
  # 32-bit Wine runs the shipped i686 build's tests (natively, or through qemu where
  # the kernel refuses 32-bit programs).
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
  for p in "${APT_PACKAGES[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing packages: ${missing[*]}"
  apt_update
  apt_install "${missing[@]}" && return 0
  # Something could not be installed: one by one, so the rest still arrives.
  local p failed=() required=()
  for p in "${missing[@]}"; do
    apt_install "$p" || failed+=("$p")
  done
  [ ${#failed[@]} -eq 0 ] && return 0
  for p in "${failed[@]}"; do
    [[ " ${OPTIONAL_PACKAGES[*]} " == *" $p "* ]] || required+=("$p")
  done
  log "could not install: ${failed[*]}"
  if [ ${#required[@]} -gt 0 ]; then
    log "required packages missing (${required[*]}): cannot build"
    exit 1
  fi
  log "going on without them: the i686 tests will be skipped"
}

# Source packages come through a private apt configuration with deb-src entries for the
# machine's own suites, so the system's sources.list stays untouched.
SOURCE_PACKAGES=(lua5.2 7zip curl c-ares libwebp pugixml zlib libsdl2-image)
APT_OPTS=()
prepare_source_apt() {
  [ ${#APT_OPTS[@]} -gt 0 ] && return 0
  local apt="$CACHE_ROOT/apt" codename mirror
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  mkdir -p "$apt/lists/partial" "$CACHE_ROOT/downloads"
  mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null \
           | grep -oE '^(deb|URIs:)[^#]*://[^ ]*debian[^ ]*' | grep -v security | head -1 | awk '{print $NF}' || true)
  [ -n "$mirror" ] || { log "no Debian mirror found in the apt configuration"; exit 1; }
  printf 'deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] %s %s main\ndeb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] %s %s-updates main\n' \
    "$mirror" "$codename" "$mirror" "$codename" > "$apt/sources.list"
  APT_OPTS=(-o Dir::Etc::sourcelist="$apt/sources.list" -o Dir::Etc::sourceparts=/dev/null
            -o Dir::State::Lists="$apt/lists" -o APT::Get::List-Cleanup=0)
  log "reading source package lists from $mirror ($codename)"
  apt_update "${APT_OPTS[@]}"
}

# Fetches one source package and unpacks it with Debian's patches (security fixes among
# them) into src/<package>; versions are logged in src/VERSIONS.
fetch_source() { # package
  local pkg=$1 dsc
  [ -f "$DEPS/src/.fetched-$pkg" ] && return 0
  prepare_source_apt
  mkdir -p "$DEPS/src"
  (cd "$CACHE_ROOT/downloads" && apt-get "${APT_OPTS[@]}" source --download-only -qq "$pkg" >&2 2>/dev/null) ||
    (cd "$CACHE_ROOT/downloads" && apt-get "${APT_OPTS[@]}" source --download-only -qq "$pkg" >&2)
  dsc=$(ls -t "$CACHE_ROOT/downloads/${pkg}_"*.dsc | head -1)
  log "unpacking $(basename "$dsc")"
  rm -rf "$DEPS/src/$pkg"
  dpkg-source -x --no-check "$dsc" "$DEPS/src/$pkg" >/dev/null
  basename "$dsc" >> "$DEPS/src/VERSIONS"
  touch "$DEPS/src/.fetched-$pkg"
}

fetch_sources() {
  local pkg
  for pkg in "${SOURCE_PACKAGES[@]}"; do fetch_source "$pkg"; done
}

cc_for() { echo "$1-w64-mingw32-gcc-posix"; }

# A library built with other flags than today's is built again: its stamp records them.
built_with() { # stamp flags
  [ -f "$1" ] && [ "$(cat "$1")" = "$2" ]
}

build_lua() { # target
  local t=$1 out=$DEPS/$1 obj
  [ -f "$out/lib/liblua.a" ] && return 0
  obj=$(mktemp -d); mkdir -p "$out/lib" "$out/include/lua"
  local f
  for f in "$DEPS"/src/lua5.2/src/*.c; do
    case $(basename "$f") in lua.c|luac.c) continue;; esac
    "$(cc_for "$t")" -O2 -DLUA_COMPAT_ALL -c "$f" -o "$obj/$(basename "$f" .c).o"
  done
  "$t-w64-mingw32-ar" rcs "$out/lib/liblua.a" "$obj"/*.o
  cp "$DEPS"/src/lua5.2/src/{lua.h,luaconf.h,lualib.h,lauxlib.h,lua.hpp} "$out/include/lua/"
  rm -rf "$obj"
}

# Host tools: a 64-bit and a 32-bit luac (the 32-bit one makes the chunks the i686
# installer loads; it runs through qemu-i386 on kernels without 32-bit support), and a
# native Lua library for the portable tests.
build_host_lua() {
  local out=$DEPS/host
  [ -f "$out/bin/luac32" ] && [ -f "$out/bin/luac64" ] && [ -f "$out/lib/liblua.a" ] && return 0
  mkdir -p "$out/bin" "$out/lib" "$out/include/lua" "$out/multiarch32" "$out/multiarch64"
  echo '#define DEB_HOST_MULTIARCH "i386-linux-gnu"' > "$out/multiarch32/lua5.2-deb-multiarch.h"
  echo '#define DEB_HOST_MULTIARCH "x86_64-linux-gnu"' > "$out/multiarch64/lua5.2-deb-multiarch.h"
  local srcs=() f
  for f in "$DEPS"/src/lua5.2/src/*.c; do
    case $(basename "$f") in lua.c) continue;; esac
    srcs+=("$f")
  done
  gcc -m32 -static -O2 -DLUA_COMPAT_ALL -I"$out/multiarch32" "${srcs[@]}" -o "$out/bin/luac32" -lm
  gcc -O2 -DLUA_COMPAT_ALL -I"$out/multiarch64" "${srcs[@]}" -o "$out/bin/luac64" -lm
  local obj; obj=$(mktemp -d)
  for f in "${srcs[@]}"; do
    case $(basename "$f") in luac.c) continue;; esac
    gcc -O1 -g -fPIC -DLUA_COMPAT_ALL -I"$out/multiarch64" -c "$f" -o "$obj/$(basename "$f" .c).o"
  done
  ar rcs "$out/lib/liblua.a" "$obj"/*.o; rm -rf "$obj"
  cp "$DEPS"/src/lua5.2/src/{lua.h,luaconf.h,lualib.h,lauxlib.h,lua.hpp} "$out/include/lua/"
  cp "$out/multiarch64/lua5.2-deb-multiarch.h" "$out/include/lua/"
}

SEVENZ_FILES=(7zAlloc 7zArcIn 7zBuf 7zBuf2 7zCrc 7zCrcOpt 7zDec 7zFile 7zStream Bcj2 Bra Bra86
              BraIA64 CpuArch Delta Lzma2Dec LzmaDec Ppmd7 Ppmd7Dec)
build_7zdec() { # target (host = native Linux, for the portable tests)
  local t=$1 out=$DEPS/$1 cc ar obj f
  [ -f "$out/lib/lib7zdec.a" ] && return 0
  if [ "$t" = host ]; then cc="gcc -O2 -g -fPIC"; ar=ar; else cc="$(cc_for "$t") -O2"; ar="$t-w64-mingw32-ar"; fi
  obj=$(mktemp -d); mkdir -p "$out/lib" "$out/include/7z"
  for f in "${SEVENZ_FILES[@]}"; do
    $cc -DZ7_PPMD_SUPPORT -DZ7_EXTRACT_ONLY -c "$DEPS/src/7zip/C/$f.c" -o "$obj/$f.o"
  done
  $ar rcs "$out/lib/lib7zdec.a" "$obj"/*.o; rm -rf "$obj"
  cp "$DEPS"/src/7zip/C/*.h "$out/include/7z/"
}

# The skin engine's readers: pugixml (XML), zlib's minizip (zip), nanosvg (SVG, taken from
# SDL2_image's sources: only its two headers, never that folder's modified stb_image.h).
# A host copy of each serves the portable native tests. pugixml without its STL interface
# (iostreams pull the whole locale machinery into the installer), in function sections for
# the linker to drop what the skin does not call, optimised for size.
SKINLIBS_FLAGS="-Os -ffunction-sections -fdata-sections -DPUGIXML_NO_STL"
build_skinlibs() { # target (host = native Linux)
  local t=$1 out=$DEPS/$1 cc cxx ar obj f mz=$DEPS/src/zlib/contrib/minizip zinc=()
  built_with "$out/lib/skinlibs.flags" "$SKINLIBS_FLAGS" && [ -f "$out/lib/libpugixml.a" ] &&
    [ -f "$out/lib/libminizip.a" ] && [ -f "$out/include/nanosvg/nanosvg.h" ] && return 0
  if [ "$t" = host ]; then
    cc="gcc -O2 -g -fPIC"; cxx="g++ $SKINLIBS_FLAGS -g -fPIC"; ar=ar
  else
    cc="$(cc_for "$t") -O2"; cxx="$t-w64-mingw32-g++-posix $SKINLIBS_FLAGS"; ar="$t-w64-mingw32-ar"
  fi
  obj=$(mktemp -d); mkdir -p "$out/lib" "$out/include/pugixml" "$out/include/minizip" "$out/include/nanosvg"
  $cxx -c "$DEPS/src/pugixml/src/pugixml.cpp" -o "$obj/pugixml.o"
  rm -f "$out/lib/libpugixml.a" "$out/lib/libminizip.a"
  $ar rcs "$out/lib/libpugixml.a" "$obj/pugixml.o"
  cp "$DEPS"/src/pugixml/src/pugixml.hpp "$out/include/pugixml/"
  # Every user of the header must see the same configuration.
  sed 's|^// #define PUGIXML_NO_STL$|#define PUGIXML_NO_STL|' "$DEPS/src/pugixml/src/pugiconfig.hpp" \
    > "$out/include/pugixml/pugiconfig.hpp"
  for f in ioapi unzip; do
    $cc -DNOCRYPT -DNOUNCRYPT -c "$mz/$f.c" -o "$obj/mz-$f.o"
  done
  $ar rcs "$out/lib/libminizip.a" "$obj"/mz-*.o
  cp "$mz"/{ioapi.h,unzip.h} "$out/include/minizip/"
  cp "$DEPS"/src/libsdl2-image/{nanosvg.h,nanosvgrast.h} "$out/include/nanosvg/"
  rm -rf "$obj"
  echo "$SKINLIBS_FLAGS" > "$out/lib/skinlibs.flags"
}

toolchain_file() { echo "$REPO/cmake/toolchain-$1.cmake"; }

build_gtest() {
  local t=$1 out=$DEPS/$1 b
  [ -f "$out/lib/libgtest.a" ] && return 0
  b=$(mktemp -d)
  cmake -S /usr/src/googletest -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(toolchain_file "$t")" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" -DBUILD_SHARED_LIBS=OFF \
    -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$b" >/dev/null && cmake --install "$b" >/dev/null
  rm -rf "$b"
}

build_cares() {
  local t=$1 out=$DEPS/$1 b
  [ -f "$out/lib/libcares.a" ] && return 0
  b=$(mktemp -d)
  cmake -S "$DEPS/src/c-ares" -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(toolchain_file "$t")" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" -DCMAKE_C_FLAGS="-DINADDRSZ=4" \
    -DCARES_STATIC=ON -DCARES_SHARED=OFF -DCARES_BUILD_TOOLS=OFF -DCARES_BUILD_TESTS=OFF >/dev/null
  cmake --build "$b" >/dev/null && cmake --install "$b" >/dev/null
  rm -rf "$b"
}

# libcurl with what the statistics post needs: HTTP and HTTPS (Schannel), proxies and their
# authentication, c-ares; every other protocol and the cookie, HSTS, alt-svc, netrc, DoH
# and MIME machinery left out, optimised for size in function sections.
CURL_CPPFLAGS="-DCARES_STATICLIB -DCURL_STATICLIB -DCURL_DISABLE_LDAP -DCURL_DISABLE_LDAPS
  -DCURL_DISABLE_DICT -DCURL_DISABLE_FILE -DCURL_DISABLE_FTP -DCURL_DISABLE_GOPHER -DCURL_DISABLE_IMAP
  -DCURL_DISABLE_MQTT -DCURL_DISABLE_POP3 -DCURL_DISABLE_RTSP -DCURL_DISABLE_SMB -DCURL_DISABLE_SMTP
  -DCURL_DISABLE_TELNET -DCURL_DISABLE_TFTP -DCURL_DISABLE_COOKIES -DCURL_DISABLE_HSTS
  -DCURL_DISABLE_ALTSVC -DCURL_DISABLE_NETRC -DCURL_DISABLE_DOH -DCURL_DISABLE_MIME"
CURL_CFLAGS="-Os -ffunction-sections -fdata-sections"
build_curl() {
  local t=$1 out=$DEPS/$1 src
  built_with "$out/lib/libcurl.flags" "$CURL_CPPFLAGS $CURL_CFLAGS" && [ -f "$out/lib/libcurl.a" ] && return 0
  src=$(mktemp -d); cp -a "$DEPS/src/curl/." "$src/"
  mkdir -p "$src/lib/$t-w64-mingw32" "$out/lib" "$out/include"
  ( cd "$src/lib" && unset CC AR &&
    CPPFLAGS="$(echo $CURL_CPPFLAGS)" CFLAGS="$CURL_CFLAGS" \
    make -f Makefile.mk -j2 libcurl.a CFG=-schannel-sspi-ipv6-ares CROSSPREFIX="$t-w64-mingw32-" \
      LIBCARES_PATH="$out" >/dev/null )
  cp "$(find "$src/lib" -name libcurl.a | head -1)" "$out/lib/libcurl.a"
  cp -r "$src/include/curl" "$out/include/"
  rm -rf "$src"
  echo "$CURL_CPPFLAGS $CURL_CFLAGS" > "$out/lib/libcurl.flags"
}

# libwebp's decoder and its demuxer (animated WebP: frames, offsets, durations); a host
# copy serves the portable native tests of the image decoder.
build_webp() { # target (host = native Linux)
  local t=$1 out=$DEPS/$1 b tc=()
  [ -f "$out/lib/libwebpdecoder.a" ] && [ -f "$out/lib/libwebpdemux.a" ] && [ -f "$out/include/webp/demux.h" ] && return 0
  if [ "$t" = host ]; then tc=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON); else tc=(-DCMAKE_TOOLCHAIN_FILE="$(toolchain_file "$t")"); fi
  b=$(mktemp -d)
  cmake -S "$DEPS/src/libwebp" -B "$b" -G Ninja "${tc[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF >/dev/null
  cmake --build "$b" --target webpdecoder webpdemux >/dev/null
  mkdir -p "$out/lib" "$out/include/webp"
  cp "$(find "$b" -name libwebpdecoder.a | head -1)" "$(find "$b" -name libwebpdemux.a | head -1)" "$out/lib/"
  cp "$DEPS/src/libwebp/src/webp/"{decode,demux,mux_types,types}.h "$out/include/webp/"
  rm -rf "$b"
}

build_target() {
  local t=$1
  build_lua "$t"; build_7zdec "$t"; build_gtest "$t"; build_cares "$t"; build_curl "$t"; build_webp "$t"
  build_skinlibs "$t"
  log "$t done"
}

main() {
  REPO=$(cd "$(dirname "$0")/.." && pwd)
  install_packages
  mkdir -p "$DEPS"
  local start=$SECONDS
  fetch_sources
  build_host_lua
  build_7zdec host
  build_skinlibs host
  build_webp host
  # The two targets are independent: build them side by side on the two cores.
  build_target i686 & local p1=$!
  build_target x86_64 & local p2=$!
  local rc=0
  wait $p1 || rc=1
  wait $p2 || rc=1
  [ $rc -eq 0 ] || { log "a dependency failed to build"; exit 1; }
  log "dependencies ready in $((SECONDS - start)) s in $DEPS"
  echo "$DEPS"
}
main "$@"
