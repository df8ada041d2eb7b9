#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (build-fuzz/), and runs each from its seed corpus.
#
#   scripts/fuzz.sh [SECONDS] [HARNESS...]    explore, SECONDS per harness (20)
#   scripts/fuzz.sh --ci [HARNESS...]         the fixed check that CI runs
#
# Harnesses: esri, raw, dialogue and run, default all.  A crash or a property
# that does not hold ends the script with status 1; the input at fault is
# saved as build-fuzz/findings/<harness>/crash-* and the fuzzer's output as
# build-fuzz/findings/<harness>.log.
#
# Exploring keeps the inputs that reach new code in build-fuzz/corpus/<harness>,
# so a later run goes on from there; the seeds in tests/fuzz/corpus/<harness>
# are only read.
#
# --ci makes a fixed number of inputs per harness (20 s to 2 min each) from the
# seeds alone, with a fixed random seed and one thread, and keeps nothing: its
# inputs hardly vary from one run or machine to the next, so that a CI failure
# is reproduced here by the same command and CI does not turn red on code that
# has not changed.  Faults are found by exploring, then mended with a
# regression test, before they reach CI.
#
# TEPHROMAT_FUZZ_KNOWN lists the decisions whose faults the program still has
# (the harnesses then steer clear of them); by default the list in
# tests/fuzz/known-faults.  TEPHROMAT_FUZZ_KNOWN= (empty) checks everything.
set -euo pipefail
cd "$(dirname "$0")/.."
ci=0
seconds=20
if [ "${1:-}" = "--ci" ]; then
  ci=1
  shift
elif [ $# -gt 0 ]; then
  seconds="$1"
  shift
fi
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(esri raw dialogue run)

bash scripts/install-deps.sh
cxx="$(command -v clang++-14 || command -v clang++ || true)"
[ -n "$cxx" ] || { echo "fuzz: clang++ is missing (Debian package clang-14)" >&2; exit 1; }
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTEPHROMAT_FUZZ=ON -DTEPHROMAT_TESTS=OFF -DTEPHROMAT_BENCH=OFF > /dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${harnesses[@]/#/fuzz_}" > /dev/null

if [ -z "${TEPHROMAT_FUZZ_KNOWN+set}" ]; then
  TEPHROMAT_FUZZ_KNOWN="$(grep -o '^D[0-9]*' tests/fuzz/known-faults | tr '\n' ' ' || true)"
fi
export TEPHROMAT_FUZZ_KNOWN
# Memory that libraries keep for the life of the process (fontconfig) is no leak of ours.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
echo "fuzz: known faults, steered clear of: ${TEPHROMAT_FUZZ_KNOWN:-none}"
# The harnesses make their folders below TMPDIR; a crash leaves them behind.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export TMPDIR="$tmp"

# Inputs per harness in --ci on a 2-core machine: about 20 s each, and 2 min
# for whole runs (about 1.5 a second under the sanitizers).
declare -A ci_runs=([esri]=15000 [raw]=20000 [dialogue]=150000 [run]=180)

passed=0
failed=0
for h in "${harnesses[@]}"; do
  findings="build-fuzz/findings/$h"
  mkdir -p "$findings"
  if [ "$ci" = 1 ]; then
    corpus="$tmp/corpus-$h"
    limit=(-seed=1 -runs="${ci_runs[$h]}")
    export TEPHROMAT_THREADS=1
  else
    corpus="build-fuzz/corpus/$h"
    limit=(-max_total_time="$seconds")
  fi
  mkdir -p "$corpus"
  if ./build-fuzz/fuzz_"$h" "${limit[@]}" -timeout=60 -rss_limit_mb=4096 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$corpus" "tests/fuzz/corpus/$h" > "$findings.log" 2>&1; then
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$findings.log" | grep -o '[0-9]*$')"
    echo "fuzz: $h: $runs inputs, no failure"
    passed=$((passed + 1))
  else
    echo "fuzz: $h FAILED; the input is in $findings/, the output in $findings.log:" >&2
    grep -E '^==== |^SUMMARY|ERROR' "$findings.log" | head -20 >&2
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
