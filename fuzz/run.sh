#!/bin/sh
# Runs every fuzz target for a fixed time. Usage: fuzz/run.sh BUILD_DIR SECONDS
#
# Each target starts from a writable corpus under BUILD_DIR, seeded from the examples
# (programs, or for fuzz_scenario their scenarios) and from the inputs that once failed
# (fuzz/regressions/). Anything a target finds (crash, leak, sanitizer report, an input slower
# than the timeout) is kept under BUILD_DIR/fuzz/findings/ and makes the script exit non-zero.
# FUZZ_TARGETS, a list of target names, runs only those. FUZZ_TIMEOUT is the timeout in
# seconds (default 1); on a machine shared with other heavy jobs a process can stall for longer
# than that, and a "timeout" whose input replays in milliseconds is such a stall.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$1
seconds=$2
src=$(cd "$(dirname "$0")" && pwd)
examples="$src/../examples"
regressions="$src/regressions"

status=0
for target in ${FUZZ_TARGETS:-fuzz_load fuzz_operand fuzz_scenario fuzz_engine fuzz_replay}; do
    binary="$build/fuzz/$target"
    if [ ! -x "$binary" ]; then
        echo "$binary is not built" >&2
        exit 2
    fi
    corpus="$build/fuzz/corpus-$target"
    findings="$build/fuzz/findings/$target"
    mkdir -p "$corpus" "$findings"
    dict="$src/awl.dict"
    if [ "$target" = fuzz_scenario ]; then
        dict="$src/scenario.dict"
        cp "$examples"/*.scn "$corpus"/
    elif [ "$target" = fuzz_operand ]; then
        # Operands are single words: every word of the examples is a seed.
        cat "$examples"/*.awl | tr -s ' \t\r' '\n\n\n' | sort -u | while IFS= read -r word; do
            [ -n "$word" ] || continue
            printf '%s' "$word" >"$corpus/seed-$(printf '%s' "$word" | cksum | cut -d' ' -f1)"
        done
    elif [ "$target" = fuzz_engine ] || [ "$target" = fuzz_replay ]; then
        # Its input is a generator's seed or choices, not a program: a few to start from.
        for seed in 1 2 3 42 1000 65535; do
            printf '%08x' "$seed" >"$corpus/seed-$seed"
        done
    else
        cp "$examples"/*.awl "$corpus"/
    fi
    if [ -d "$regressions/$target" ]; then
        cp "$regressions/$target"/* "$corpus"/ 2>/dev/null
    fi
    echo "== $target: ${seconds}s"
    # -rss_limit_mb is generous: the sanitizers roughly double the loader's memory.
    if ! "$binary" "$corpus" \
            -dict="$dict" \
            -max_total_time="$seconds" \
            -timeout="${FUZZ_TIMEOUT:-1}" \
            -rss_limit_mb=4096 \
            -print_final_stats=1 \
            -artifact_prefix="$findings/" \
            2>"$build/fuzz/$target.log"; then
        echo "$target: FINDING, see $build/fuzz/$target.log and $findings/" >&2
        tail -n 60 "$build/fuzz/$target.log" >&2
        status=1
    fi
    grep -E '^(#[0-9]+.*DONE|stat::)' "$build/fuzz/$target.log"
done
exit $status
