#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build/fuzz and runs each for a bounded
# time, seeded with the shipped presets and a sample registry file. Fails on any crash, leak or
# sanitizer report. FUZZ_SECONDS sets the time per target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
build=build/fuzz
clang=$(command -v clang++ || command -v clang++-14 || true)
[ -n "$clang" ] || { echo "fuzz: clang++ not found" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$clang" \
  -DTONVEX_FUZZ=ON -DTONVEX_BUILD_TESTS=OFF -DTONVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target configuration_reader_fuzz registry_reader_fuzz

corpus=$build/corpus
rm -rf "$corpus"
mkdir -p "$corpus/configuration" "$corpus/registry"
cp resources/presets/*.tvd "$corpus/configuration/"
cp resources/machine.reg.in "$corpus/registry/machine.reg"
cat >"$corpus/registry/user.reg" <<'REG'
; Tonvex settings, HKEY_CURRENT_USER.

[Software\Brevalto\Tonvex]
"selection"="02_Rock"
"selcustom"="Live \"Set\"\t\x01"
"pending"="1"
"device"=dword:00000003
@="default"
REG

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in configuration_reader registry_reader; do
  kind=${target%_reader}
  echo "=== fuzz $target for ${seconds}s"
  work=$build/work-$kind
  rm -rf "$work"
  mkdir -p "$work"
  # A fresh directory for new inputs keeps the seed corpus as shipped; -max_len bounds the quadratic sort.
  if ! "$build/tests/fuzz/${target}_fuzz" "$work" "$corpus/$kind" -max_total_time="$seconds" -max_len=16384 \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/$target-" 2>"$build/$target.log"; then
    echo "fuzz: $target failed; see $build/$target.log" >&2
    tail -n 40 "$build/$target.log" >&2
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$build/$target.log" | tail -n 2
  fi
done
exit $status
