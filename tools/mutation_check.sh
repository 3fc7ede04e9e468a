#!/usr/bin/env bash
# Mutation check: plants each fault listed in tools/mutants.txt alone in a copy of the tree, rebuilds the
# libraries and the test programs that need no audio server, and runs the programs the fault reached (those
# the build relinked). A mutant is caught when one of them fails or runs past its time. Prints the caught
# and the surviving mutants; exits 1 when fewer than 95 % are caught, 2 when the list no longer matches
# the code (a text not found exactly once, a mutant that does not compile) or the unchanged tree fails.
#
# Usage: tools/mutation_check.sh [FILTER]   FILTER: only mutants whose line contains it (grep -F)
#   MUTANTS=FILE another list; MUTATION_KEEP=1 keeps the work folder; MUTATION_JOBS=N build jobs (2).
# The copy is the working tree as it stands (uncommitted changes included), built in a temporary folder
# with ccache when it is there; the first run compiles everything once, later runs mostly hit the cache.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
list=${MUTANTS:-$root/tools/mutants.txt}
filter=${1:-}
jobs=${MUTATION_JOBS:-2}
work=$(mktemp -d "${TMPDIR:-/tmp}/tonvex-mutation.XXXXXX")
trap '[ -n "${MUTATION_KEEP:-}" ] && echo "work folder kept: $work" || rm -rf "$work"' EXIT
started=$(date +%s)

cp "$list" "$work/mutants.txt"  # the list as it was at the start: editing it during a run changes nothing
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$work" -xf -
src=$work/src
mkdir "$src" && find "$work" -mindepth 1 -maxdepth 1 ! -name src ! -name mutants.txt -exec mv {} "$src" \;
build=$work/build

launcher=()
if command -v ccache >/dev/null; then
  # Paths below the copy hash as relative ones, so a later run in another temporary folder hits the cache.
  export CCACHE_BASEDIR=$src CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# No debug information: nothing reads it, and linking the test programs again for every mutant is most of
# the rebuild.
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
  -DTONVEX_E2E=OFF -DTONVEX_UI=OFF -DTONVEX_BUILD_BENCH=OFF -DTONVEX_WERROR=ON "${launcher[@]}" >"$work/configure.log"

# The test programs that need no audio server: name, then the arguments it runs with.
programs=(tests/effects/effects_tests tests/settings/settings_tests tests/platform/platform_tests
          tests/engine/engine_tests tests/audio/audio_tests tests/fuzz/configuration_reader_replay
          tests/fuzz/registry_reader_replay tests/fuzz/wav_reader_replay)
targets=()
for program in "${programs[@]}"; do targets+=("$(basename "$program")"); done
targets+=(tonvex-cli)

# Neither the build nor a test may read the list the loop below reads from.
build_all() { nice -n 10 cmake --build "$build" -j"$jobs" --target "${targets[@]}" >"$work/build.log" 2>&1 </dev/null; }

# run_program PROGRAM: 0 when it passes.
run_program() {
  local program=$1 arguments=()
  case $program in
    tests/fuzz/*_reader_replay) local kind=${program##*/}; arguments=("$src/tests/fuzz/corpus/${kind%_reader_replay}") ;;
    *) arguments=(--gtest_brief=1 --gtest_fail_fast) ;;
  esac
  (cd "$(dirname "$build/$program")" && timeout 120 "$build/$program" "${arguments[@]}") >>"$work/test.log" 2>&1 </dev/null
}

echo "building the unchanged tree in $work ..."
build_all || { echo "the unchanged tree does not build: $work/build.log"; MUTATION_KEEP=1; exit 2; }
for program in "${programs[@]}"; do
  run_program "$program" || { echo "the unchanged tree fails $program: $work/test.log"; MUTATION_KEEP=1; exit 2; }
done
echo "built and passed in $(($(date +%s) - started)) s"

caught=() survived=() broken=()
stamp=$work/stamp
while IFS= read -r line; do
  [[ -z $line || $line == \#* ]] && continue
  [[ -n $filter && $line != *"$filter"* ]] && continue
  file=${line%% @@ *}
  fault=${line##* @@ }
  original=$src/$file
  cp "$original" "$work/original"
  # Exact text, exactly once: anything else means the code moved on and the list must follow it.
  if ! python3 - "$original" "$line" <<'EOF'
import sys
path, line = sys.argv[1], sys.argv[2]
parts = line.split(' @@ ')
if len(parts) != 4:
    sys.exit(f'not four fields: {line}')
_, text, replacement, _ = parts
code = open(path).read()
if code.count(text) != 1:
    sys.exit(f'{path}: the text occurs {code.count(text)} times: {text}')
open(path, 'w').write(code.replace(text, replacement))
EOF
  then
    broken+=("$file: $fault (text not found once)")
    continue
  fi
  touch "$stamp"
  if ! build_all; then
    broken+=("$file: $fault (does not compile)")
  else
    verdict=survived
    for program in "${programs[@]}"; do
      [[ $build/$program -nt $stamp ]] || continue  # not relinked: the fault cannot reach it
      if ! run_program "$program"; then
        verdict="caught by ${program##*/}"
        break
      fi
    done
    if [[ $verdict == survived ]]; then survived+=("$file: $fault"); else caught+=("$file: $fault ($verdict)"); fi
  fi
  cp "$work/original" "$original"
  build_all || true  # back to the unchanged programs, so the next mutant's build shows only what it reached
  echo "$(( ${#caught[@]} + ${#survived[@]} + ${#broken[@]} )) done: ${verdict:-broken} - $fault"
  verdict=
done <"$work/mutants.txt"

echo
echo "caught (${#caught[@]}):"
for m in "${caught[@]}"; do echo "  $m"; done
echo "surviving (${#survived[@]}):"
for m in "${survived[@]}"; do echo "  $m"; done
if ((${#broken[@]})); then
  echo "not applicable (${#broken[@]}):"
  for m in "${broken[@]}"; do echo "  $m"; done
fi
total=$((${#caught[@]} + ${#survived[@]}))
echo "$((${#caught[@]})) of $total caught in $(($(date +%s) - started)) s"
((${#broken[@]} == 0)) || exit 2
((total > 0 && ${#caught[@]} * 100 >= 95 * total)) || exit 1
