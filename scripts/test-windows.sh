#!/usr/bin/env bash
# Cross-compiles the backend and its unit tests for Windows with MinGW-w64 and runs them under
# Wine, then checks that the Windows backend answers like the Linux one. Media tests need a
# Windows FFmpeg, which Wine does not have: they are left out here and run in the Linux suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-packages.sh g++-mingw-w64-x86-64-posix wine wine64 googletest cmake ninja-build nlohmann-json3-dev

root=$PWD
out=$root/build-win
toolchain=$root/cmake/mingw-w64-x86_64.cmake
mkdir -p "$out/deps/include"
ln -sfn /usr/include/nlohmann "$out/deps/include/nlohmann"

if [ ! -f "$out/deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$out/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON \
    -DCMAKE_INSTALL_PREFIX="$out/deps" >/dev/null
  cmake --build "$out/googletest" --target install >/dev/null
fi

cmake -S . -B "$out/backend" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBACKEND_BUILD_TESTS=ON \
  -DBACKEND_JSON_INCLUDE_DIR="$out/deps/include" -DGTest_DIR="$out/deps/lib/cmake/GTest" >/dev/null
cmake --build "$out/backend" -j "$(nproc)"

export WINEPREFIX=$out/wineprefix WINEDEBUG=-all
cd "$out/backend"
echo "Unit tests under Wine (media tests skipped: no Windows FFmpeg under Wine)"
wine unit_tests.exe --gtest_filter='-*Media*' --gtest_brief=1

# The Windows backend answers add_cut_files and get_state like the Linux build does.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
clip="$scratch/Übung ä.mp4"
echo x >"$clip"
commands=$(printf '{"cmd": "add_cut_files", "payload": {"paths": ["%s"]}}\n{"cmd": "get_state"}\n' "$clip")
windows=$(printf '%s\n' "$commands" | wine tavelmor-backend.exe)
linux=$(printf '%s\n' "$commands" | HOME="$scratch" "$root/build/tavelmor-backend")
# Everything but the default output folder, which is each platform's own Desktop.
strip_folder() { sed -E 's/"output_folder": "[^"]*"/"output_folder": ""/'; }
if [ "$(strip_folder <<<"$windows")" != "$(strip_folder <<<"$linux")" ]; then
  echo "The Windows backend answers differently:" >&2
  diff <(strip_folder <<<"$linux") <(strip_folder <<<"$windows") >&2 || true
  exit 1
fi
echo "Windows backend under Wine answers like the Linux build: $(wc -l <<<"$windows") lines"
