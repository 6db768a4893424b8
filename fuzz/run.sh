#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#
#   FUZZ_SECONDS  seconds per fuzzer (default 60)
#   FUZZ_TARGETS  which fuzzers (default all of them)
#   FUZZ_JOBS     fuzzers run at the same time (default 1)
#   FUZZ_BUILD    build folder (default build-fuzz-clang in the repository)
#   FUZZ_MERGE=1  afterwards merge what adds coverage into fuzz/corpus/<target>
#
# The saved corpus is only read: new inputs go to a temporary folder. Inputs
# that crash, hang or break an invariant are kept in <build>/findings/<target>,
# the last log of each fuzzer in <build>/logs.
# The exit status is 1 when any fuzzer had a finding.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz-clang}
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-1}
targets=${FUZZ_TARGETS:-"listing reply_framer reply_texts server_list settings_names codepage_stream"}

missing=
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    if [ "$(id -u)" = 0 ]; then sudo=; else sudo=sudo; fi
    $sudo apt-get update -q
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j"$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/palu-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
# The settings target writes and reads its file for every input: keep that
# off the disk where a memory file system is at hand.
fuzz_tmp=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then fuzz_tmp=/dev/shm; fi

run_one() {
    local t=$1
    local corpus=$root/fuzz/corpus/$t
    local out=$work/$t
    rm -rf "$build/findings/$t"
    mkdir -p "$out/new" "$out/artifacts" "$corpus"
    local dict=()
    [ -f "$root/fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
    local status=0
    TMPDIR=$fuzz_tmp "$build/fuzz_$t" "$out/new" "$corpus" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
        -artifact_prefix="$out/artifacts/" -print_final_stats=1 \
        >"$out/log" 2>&1 || status=$?
    echo "$status" >"$out/status"
    mkdir -p "$build/logs"
    cp "$out/log" "$build/logs/$t.log"
    if [ "${FUZZ_MERGE:-0}" = 1 ] && [ "$status" = 0 ]; then
        "$build/fuzz_$t" -merge=1 "$corpus" "$out/new" >>"$out/merge.log" 2>&1 || true
    fi
}

running=0
for t in $targets; do
    echo "fuzzing $t for ${seconds}s"
    run_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait || true

stat() { sed -n "s/^stat::$1: *//p" "$2" | tail -n 1; }
found_any=0
printf '\n%-16s %12s %8s %7s %8s %9s  %s\n' fuzzer executions exec/s cov features new-units findings
for t in $targets; do
    out=$work/$t
    log=$out/log
    execs=$(stat number_of_executed_units "$log")
    rate=$(stat average_exec_per_sec "$log")
    added=$(stat new_units_added "$log")
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    findings=0
    if [ "$(cat "$out/status")" != 0 ] || [ -n "$(ls -A "$out/artifacts")" ]; then
        found_any=1
        mkdir -p "$build/findings/$t"
        cp "$out/artifacts/"* "$build/findings/$t/" 2>/dev/null || true
        cp "$log" "$build/findings/$t/log"
        findings=$(ls "$out/artifacts" | wc -l)
        [ "$findings" = 0 ] && findings="exit $(cat "$out/status")"
    fi
    printf '%-16s %12s %8s %7s %8s %9s  %s\n' "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" \
        "${added:-?}" "$findings"
done
if [ "$found_any" = 1 ]; then
    echo
    echo "findings (inputs and logs) kept in $build/findings:"
    for t in $targets; do
        [ -d "$build/findings/$t" ] || continue
        grep -hE 'invariant broken|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error' \
            "$build/findings/$t/log" | head -n 3 | sed "s/^/  $t: /"
        ls "$build/findings/$t" | grep -v '^log$' | sed "s|^|  $t: $build/findings/$t/|"
    done
    exit 1
fi
