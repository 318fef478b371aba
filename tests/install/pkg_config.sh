#!/usr/bin/env bash
# The installed SDK through pkg-config, from a tree moved away from where it was installed:
#   pkg_config.sh PREFIX LIBDIR WORK_DIR SOURCE_DIR   (CXX, CC, CXXFLAGS, CFLAGS from the build)
# A C++17 program builds and runs; C++14 is refused with the headers' message; the C header of
# the TIFF stack reader compiles as strict C89 and its functions link and run from C.
set -euo pipefail
prefix=$1 libdir=$2 work=$3 source=$4
CXX=${CXX:-c++} CC=${CC:-cc}
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cp -a "$prefix" "$work/moved"
export PKG_CONFIG_PATH="$work/moved/$libdir/pkgconfig"
unset PKG_CONFIG_LIBDIR PKG_CONFIG_SYSROOT_DIR

# Split on spaces on purpose: these are flag lists.
# shellcheck disable=SC2206
cflags=($(pkg-config --cflags korvan)) libs=($(pkg-config --libs korvan)) c_flags=(${CFLAGS:-}) cxx_flags=(${CXXFLAGS:-})
for flag in "${cflags[@]}" "${libs[@]}"; do
  case $flag in
    -I*|-L*) [ -d "${flag:2}" ] || fail "pkg-config gives $flag, which does not exist" ;;
  esac
done
[[ " ${cflags[*]} " == *" -I$work/moved/"* ]] || fail "pkg-config --cflags korvan does not follow the moved tree: ${cflags[*]}"
rpath="-Wl,-rpath,$work/moved/$libdir"

"$CXX" -std=c++17 "${cxx_flags[@]}" "$source/consumer/main.cpp" "${cflags[@]}" "${libs[@]}" "$rpath" \
  -o "$work/consumer" || fail "C++17 consumer does not build through pkg-config"
out=$("$work/consumer") || fail "C++17 consumer failed: $out"
[[ $out == korvan\ * ]] || fail "unexpected consumer output: $out"

if "$CXX" -std=c++14 "${cxx_flags[@]}" -fsyntax-only "$source/consumer/main.cpp" "${cflags[@]}" 2>"$work/cxx14.log"; then
  fail "a C++14 compile of the SDK headers succeeded"
fi
grep -q "needs C++17 or later" "$work/cxx14.log" || { cat "$work/cxx14.log" >&2; fail "C++14 compile failed without the SDK's message"; }

# shellcheck disable=SC2046
"$CC" -std=c89 -pedantic-errors -Wall -Werror "${c_flags[@]}" "$source/c89_reader.c" $(pkg-config --cflags --libs tessel) \
  "$rpath" -o "$work/c89_reader" || fail "the C header does not compile as C89 (or does not link from C)"
"$work/c89_reader" || fail "the C program could not use the reader"
echo "pkg-config: C++17 consumer ran ($out); C++14 refused; C89 reader ran"
