#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build/fuzz and runs each for a bounded time,
# seeded with the kept corpus (tests/fuzz/corpus/KIND) and the shipped presets. Fails on any crash, leak or
# sanitizer report; a crash input is left as build/fuzz/KIND_reader-crash-*: fix the fault and add the input
# to tests/fuzz/corpus/KIND, where every ordinary build replays it (ctest fuzz_corpus_KIND).
# Usage: tools/fuzz.sh [SECONDS_PER_TARGET] [KIND...]   KIND: configuration registry wav (default: all three)
#   SECONDS_PER_TARGET defaults to FUZZ_SECONDS, else 30 (what CI runs). FUZZ_RUNS=N runs N inputs per target
#   instead of a time (long runs outside CI: `nice -n 19 env FUZZ_RUNS=10000000 tools/fuzz.sh`).
#   FUZZ_FORK=N fuzzes in N worker processes at once (libFuzzer's fork mode; the count is their total).
#   New inputs found are kept in build/fuzz/work-KIND between runs.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${FUZZ_SECONDS:-30}}
shift || true
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(configuration registry wav)
build=build/fuzz
clang=$(command -v clang++ || command -v clang++-14 || true)
[ -n "$clang" ] || { echo "fuzz: clang++ not found" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$clang" \
  -DTONVEX_FUZZ=ON -DTONVEX_BUILD_TESTS=OFF -DTONVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${kinds[@]/%/_reader_fuzz}"


limit=(-max_total_time="$seconds")
[ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
[ -n "${FUZZ_FORK:-}" ] && limit+=(-fork="$FUZZ_FORK")
status=0
for kind in "${kinds[@]}"; do
  target=${kind}_reader
  echo "=== fuzz $target for ${limit[*]#-}"
  work=$build/work-$kind
  seeds=$build/seeds-$kind  # one folder per kind: runs of different kinds may go on at once
  rm -rf "$seeds"
  mkdir -p "$work" "$seeds"
  cp tests/fuzz/corpus/"$kind"/* "$seeds/"
  [ "$kind" = configuration ] && cp resources/presets/*.tvd "$seeds/"
  # -max_len bounds the configuration reader's rereading of its file per key, and the length of a render:
  # a sound file's header chunks fit in 2 KB, and longer inputs only render more frames, slowly (4 KB of
  # MPEG decode to 100,000 frames).
  length=16384
  [ "$kind" = configuration ] && length=4096
  [ "$kind" = wav ] && length=2048
  asan=detect_leaks=1:abort_on_error=1
  ubsan=print_stacktrace=1:halt_on_error=1
  quiet=()
  # The render warns about every cut-short file on stderr: millions of lines. libFuzzer keeps its own
  # messages; the sanitizers' reports go to files beside the log.
  if [ "$kind" = wav ]; then
    quiet=(-close_fd_mask=2)
    rm -f "$build/$target.sanitizer".*
    asan=$asan:log_path=$PWD/$build/$target.sanitizer
    ubsan=$ubsan:log_path=$PWD/$build/$target.sanitizer
  fi
  # New inputs go to a directory of their own, so the seed corpus stays as kept.
  if ! ASAN_OPTIONS=$asan UBSAN_OPTIONS=$ubsan "$build/tests/fuzz/${target}_fuzz" "$work" "$seeds" "${limit[@]}" -max_len=$length "${quiet[@]}" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/$target-" 2>"$build/$target.log"; then
    echo "fuzz: $target failed; see $build/$target.log" >&2
    tail -n 40 "$build/$target.log" >&2
    cat "$build/$target.sanitizer".* >&2 2>/dev/null || true
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done|fuzzed for' "$build/$target.log" | tail -n 2
  fi
done
exit $status
