#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the unit, CLI and
# emulated-device tests, the Debian package (built, installed, tried and
# removed again), the same tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the suites labelled "threaded" under
# ThreadSanitizer, and each fuzz target for a bounded time. Prints how long
# each stage took.
#   FUZZ_SECONDS   seconds per fuzz target (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}
timings=()
stage_start=$SECONDS
stage() {  # stage NAME: closes the stage before and opens the next
  local now=$SECONDS
  [[ -n "${stage_name:-}" ]] && timings+=("$(printf '%5ds  %s' $((now - stage_start)) "$stage_name")")
  stage_name=$1
  stage_start=$now
  [[ -n "$1" ]] && echo "== $1"
  return 0
}

stage "Install what is missing"
scripts/install-deps.sh --test

stage "Build (warnings on)"
# The prefix /usr: the same build is packed into the Debian package below.
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABRELIUM_BUILD_BENCHMARKS=ON \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build-test -j "$jobs"
stage "Test"
ctest --test-dir build-test --output-on-failure -j "$jobs"

stage "Build the Debian package, install it, try it, remove it"
scripts/package-test.sh build-test

stage "Build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DTABRELIUM_SANITIZE=address;undefined" >/dev/null
cmake --build build-asan -j "$jobs"
stage "Test with AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

stage "Build the threaded suites with ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABRELIUM_SANITIZE=thread >/dev/null
cmake --build build-tsan -j "$jobs" --target threaded_tests
stage "Test the threaded suites with ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threaded

stage "Build the fuzz targets"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTABRELIUM_BUILD_TESTS=OFF -DTABRELIUM_BUILD_WINDOW=OFF -DTABRELIUM_BUILD_FUZZERS=ON >/dev/null
cmake --build build-fuzz -j "$jobs"
stage "Fuzz each target for ${fuzz_seconds}s, $jobs at a time"
fuzz() {  # fuzz TARGET: runs it into its log; fails when it found a failure
  local target=$1 name corpus seeds
  name=$(basename "$target")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds=(fuzz/seeds/"$name")
  [[ -d "${seeds[0]}" ]] || seeds=()
  "$target" -max_total_time="$fuzz_seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 "$corpus" "${seeds[@]}" >"build-fuzz/$name.log" 2>&1
}
targets=()
for target in build-fuzz/fuzz/fuzz_*; do
  [[ -x "$target" ]] && targets+=("$target")
done
# A fuzz target uses one core: as many run at once as there are cores.
failed=()
for ((first = 0; first < ${#targets[@]}; first += jobs)); do
  batch=("${targets[@]:first:jobs}")
  pids=()
  for target in "${batch[@]}"; do
    fuzz "$target" &
    pids+=($!)
  done
  for i in "${!batch[@]}"; do
    name=$(basename "${batch[$i]}")
    if wait "${pids[$i]}"; then
      echo "-- $name: $(grep -E '^stat::number_of_executed_units' "build-fuzz/$name.log" || true)"
    else
      failed+=("$name")
    fi
  done
done
for name in "${failed[@]}"; do
  tail -n 60 "build-fuzz/$name.log"
  echo "$name found a failure; the input is saved in the working folder (crash-*)"
done
((${#failed[@]} == 0)) || exit 1
stage ""

echo "== Time per stage"
printf '%s\n' "${timings[@]}"
printf '%5ds  all\n' "$SECONDS"
echo "All tests passed."
