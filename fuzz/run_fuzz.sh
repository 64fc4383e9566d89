#!/bin/bash
# Runs every fuzz target for FUZZ_SECONDS seconds each, one after the other, starting from the
# committed corpus copied to a scratch folder (so a run never grows the repository).
# Usage: fuzz/run_fuzz.sh BUILD_DIR SECONDS [TARGET...]
# Crash, leak, out-of-memory and timeout inputs are kept in BUILD_DIR/fuzz-artifacts/<target>/.
set -euo pipefail
build_dir=$1
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(xml_parser expression macros preprocessor pipeline elf_sections)
source_dir=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for target in "${targets[@]}"; do
    artifacts="$build_dir/fuzz-artifacts/$target"
    mkdir -p "$scratch/$target" "$artifacts"
    cp "$source_dir/corpus/$target/"* "$scratch/$target/"
    echo "fuzz_$target: $seconds s"
    if ! "$build_dir/fuzz_$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
            -max_len=16384 -print_final_stats=1 -artifact_prefix="$artifacts/" \
            "$scratch/$target" >"$scratch/$target.log" 2>&1; then
        echo "fuzz_$target FAILED; its log follows, the input is in $artifacts/"
        tail -n 60 "$scratch/$target.log"
        status=1
    else
        grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$scratch/$target.log" \
            | sed 's/^/    /'
    fi
done
exit $status
