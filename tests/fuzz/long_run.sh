#!/bin/sh
# Long fuzzing: each target for a fixed number of executions from a fixed
# seed, starting from its committed seeds and regression inputs.
#   sh tests/fuzz/long_run.sh [RUNS] [SEED] [NAME]   (defaults 10000000, 1, both)
# Needs the host build (cmake --preset host && cmake --build --preset host).
# Runs with other seeds may go side by side (one core each). A crash leaves
# its input as build/host/tests/fuzz/long-<target>-<seed>-crash-*;
# once fixed it belongs in tests/fuzz/regressions/<name>/.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-10000000}
seed=${2:-1}
only=${3:-}
out="$root/build/host/tests/fuzz"
status=0
for pair in lzms:lzms_buffer_fuzz payload:payload_fuzz; do
    name=${pair%%:*}
    target=${pair#*:}
    [ -z "$only" ] || [ "$only" = "$name" ] || continue
    [ -x "$out/$target" ] || { echo "long_run.sh: $out/$target is not built" >&2; exit 2; }
    scratch="$out/long-$name-$seed-corpus"
    rm -rf "$scratch" && mkdir -p "$scratch"
    cp "$root/tests/fuzz/corpus/$name/"* "$scratch/"
    log="$out/long-$name-$seed.log"
    start=$(date +%s)
    if (cd "$out" && "./$target" -runs="$runs" -seed="$seed" -timeout=10 -rss_limit_mb=4096 \
            -print_final_stats=1 -artifact_prefix="$out/long-$target-$seed-" \
            "$scratch" "$root/tests/fuzz/regressions/$name") >"$log" 2>&1; then
        result=passed
    else
        result="FAILED (see $log)"
        status=1
    fi
    seconds=$(( $(date +%s) - start ))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    echo "$target: ${execs:-?} executions, seed $seed, ${seconds} s, $cov, corpus $(ls "$scratch" | wc -l) inputs: $result"
done
exit $status
