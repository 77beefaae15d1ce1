#!/bin/sh
# Runs one fuzz target for a bounded time on a fresh working corpus that
# starts from the seeds: run-fuzzer.sh TARGET SECONDS WORKDIR SEEDDIR [libFuzzer options]
set -eu
target=$1 seconds=$2 work=$3 seeds=$4
shift 4
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$@" "$work/corpus" "$seeds"
