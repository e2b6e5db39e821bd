#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds the examples against that tree only, once
# with CMake's find_package(hvk32) and once with pkg-config, and runs them on a simulator
# capture: the frame count is that of "hvk32-cli info --summary", and the LAS file holds the
# point records "hvk32-cli export" writes for the same frames.
#     InstalledLibraryTest.sh BUILD-DIR SOURCE-DIR HVK32-CLI HVK32-SIM
set -euo pipefail
build=$1
source=$2
cli=$3
sim=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/include/hvk32/hvk32.h" || fail "the header is not installed"
"$sim" --pcap "$work/hall.pcap" --seconds 2 --quiet
frames=$("$cli" info --summary --pcap "$work/hall.pcap" | sed -n 's/.*"frames":\([0-9]*\).*/\1/p')
[ "${frames:-0}" -gt 10 ] || fail "the simulator's capture has ${frames:-no} frames"
"$cli" export --pcap "$work/hall.pcap" --from 4 --to 8 --las "$work/expected.las" 2>/dev/null

launcher=()
cxx=${CXX:-g++}
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cxx="ccache $cxx"
fi
cmake -S "$source/examples" -B "$work/with-cmake" -DCMAKE_PREFIX_PATH="$work/prefix" \
      -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$work/with-cmake" >/dev/null
mkdir "$work/with-pkg-config"
cp "$source"/examples/Makefile "$source"/examples/*.cpp "$work/with-pkg-config/"
PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" make -s -C "$work/with-pkg-config" CXX="$cxx" >/dev/null

# The first 4-byte little-endian number at byte $2 of file $1.
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }

for way in with-cmake with-pkg-config; do
  bin=$work/$way
  "$bin/print_frames" "$work/hall.pcap" >"$work/$way.txt"
  [ "$(head -n 1 "$work/$way.txt")" = "$frames frames" ] || fail "$way: print_frames says $(head -n 1 "$work/$way.txt")"
  [ "$(grep -c '^frame ' "$work/$way.txt")" = "$frames" ] || fail "$way: print_frames printed another number of frames"
  sed -n '2p' "$work/$way.txt" | grep -Eq '^frame 1: [1-9][0-9]* points, 0 lost' || fail "$way: frame 1 is $(sed -n 2p "$work/$way.txt")"

  # Frames 3..7 from 0 are the command line's 4..8.
  "$bin/to_las" "$work/hall.pcap" "$work/$way.las" 3 7
  offset=$(u32 "$work/$way.las" 96)
  points=$(u32 "$work/$way.las" 107)
  [ "$points" = "$(u32 "$work/expected.las" 107)" ] || fail "$way: $points points, the export wrote $(u32 "$work/expected.las" 107)"
  [ "$points" -gt 0 ] || fail "$way: an empty LAS file"
  cmp -s <(tail -c +$((offset + 1)) "$work/$way.las") \
         <(tail -c +$(($(u32 "$work/expected.las" 96) + 1)) "$work/expected.las") \
    || fail "$way: the LAS file's points differ from the export's"

  # Failures: the command line's message and a failing status.
  if "$bin/to_las" "$work/missing.pcap" "$work/x.las" 2>"$work/error.txt"; then fail "$way: a missing capture succeeded"; fi
  grep -q "missing.pcap: cannot open: No such file or directory" "$work/error.txt" \
    || fail "$way: a missing capture says $(cat "$work/error.txt")"
  if "$bin/to_las" "$work/hall.pcap" "$work/x.las" 0 "$frames" 2>"$work/error.txt"; then fail "$way: a frame past the end was written"; fi
  grep -q "has $frames frames, so there is no frame at index $frames" "$work/error.txt" \
    || fail "$way: a frame past the end says $(cat "$work/error.txt")"
  [ ! -e "$work/x.las" ] || fail "$way: a failed run left its file"
done
cmp -s "$work/with-cmake.txt" "$work/with-pkg-config.txt" || fail "the two builds print different frames"
echo "the examples built both ways read $frames frames and wrote the export's points"
