#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each one for SECONDS (default 60), one after the other.
#   fuzz/run.sh [SECONDS]
# Each target starts from its seeds in fuzz/corpus/<target>/ and grows a working corpus in
# build-fuzz/corpus/<target>/; a failing input is written to build-fuzz/findings/. The last
# lines print, per target, the executions, the coverage reached and the findings.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

seconds="${1:-60}"
targets=(package_cutting revision_unpacking reply_acceptance)

need_packages "${FLASHWELL_PACKAGES[@]}" clang libclang-rt-14-dev

dir=build-fuzz
if [ ! -f "$dir/build.ninja" ]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -G Ninja -S . -B "$dir" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFLASHWELL_FUZZ=ON -DFLASHWELL_TESTS=OFF
fi
cmake --build "$dir" --target "${targets[@]/#/fuzz_}"

mkdir -p "$dir/findings"
summary=()
status=0
for t in "${targets[@]}"; do
    mkdir -p "$dir/corpus/$t"
    echo "== fuzz_$t for $seconds s"
    log="$dir/fuzz_$t.log"
    set +e
    ASAN_OPTIONS=detect_leaks=1 "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$dir/findings/$t-" "$dir/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1
    result=$?
    set -e
    tail -n 3 "$log" | grep -E '^#' || true
    runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || echo "?")
    cov=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -Eo 'cov: [0-9]+ ft: [0-9]+' || echo "cov: ?")
    corpus=$(find "$dir/corpus/$t" -type f | wc -l)
    findings=$(find "$dir/findings" -name "$t-*" -type f | wc -l)
    if [ $result -ne 0 ]; then status=1; fi
    summary+=("fuzz_$t: $runs executions in $seconds s, $cov, corpus $corpus inputs, findings $findings (exit $result)")
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
