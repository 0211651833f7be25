#!/usr/bin/env bash
# Builds each benchmark corpus with `qtvn2 -command` and copies the same bytes with cp as the
# baseline, several times after a warm-up, each run on a fresh copy of the corpus, and prints per
# corpus the median wall time, the throughput, the ratio to cp, the median processor time and the
# peak memory of the build. Then it builds each adversarial shape at n and 2n and prints both
# median times and their ratio.
#
#   bench/run.sh [build-folder]        (default: build; RUNS=5 sets the number of timed runs)
#
# The corpus is generated once into bench/corpus/ by the build's make_corpus.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${RUNS:-5}
qtvn2=$build/bin/qtvn2
make_corpus=$build/bin/make_corpus
corpus=$root/bench/corpus

for tool in "$qtvn2" /usr/bin/time; do
    if [ ! -x "$tool" ]; then
        echo "run.sh: $tool is missing; build the project first (cmake --build build)" >&2
        exit 1
    fi
done

if [ ! -f "$corpus/complete-2" ]; then
    if [ ! -x "$make_corpus" ]; then
        echo "run.sh: $make_corpus is missing; build the project first" >&2
        exit 1
    fi
    echo "Writing the corpus to $corpus ..." >&2
    rm -rf "$corpus"
    "$make_corpus" "$corpus"
    cp "$root/qvdata/toc_list.htm" "$corpus/"
    touch "$corpus/complete-2"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tocvane-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Median of the numbers given as arguments.
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Sets up a fresh copy of one corpus in $work/run: its project, its files and the template.
fresh_copy() {
    local name=$1 folder=$2
    rm -rf "$work/run" "$work/copy"
    mkdir -p "$work/run"
    cp "$corpus/$name.toc" "$corpus/toc_list.htm" "$work/run/"
    cp -r "$corpus/$folder" "$work/run/"
    sync
}

# One timed build in $work/run; prints "wall cpu peak_kib".
timed_build() {
    local name=$1 report
    report=$( (cd "$work/run" && /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
        "$qtvn2" -command "$name.toc") )
    if [[ "$report" != *"Build is complete."* ]]; then
        echo "run.sh: the build of $name failed: $report" >&2
        exit 1
    fi
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}

# One timed cp of the same bytes; prints the wall time.
timed_copy() {
    local folder=$1
    (cd "$work/run" && /usr/bin/time -f '%e' -o "$work/time" cp -r "$folder" "$work/copy")
    rm -rf "$work/copy"
    cat "$work/time"
}

printf '%-8s %9s %5s %9s %8s %9s %8s %7s %8s %9s %7s\n' corpus MB files "build s" "MB/s" \
    "cp s" "cp MB/s" "x cp" "cpu s" "peak MB" "peak/MB"
for entry in "large large" "medium medium" "site site"; do
    read -r name folder <<<"$entry"
    bytes=$(find "$corpus/$folder" -type f -name '*.htm' -printf '%s\n' | awk '{ s += $1 } END { print s }')
    files=$(find "$corpus/$folder" -type f -name '*.htm' | wc -l)
    walls=() cpus=() peaks=() copies=()
    for ((i = 0; i <= runs; ++i)); do
        fresh_copy "$name" "$folder"
        read -r wall cpu peak < <(timed_build "$name")
        fresh_copy "$name" "$folder"
        copy=$(timed_copy "$folder")
        # run 0 warms the caches and is not counted
        if ((i > 0)); then
            walls+=("$wall") cpus+=("$cpu") peaks+=("$peak") copies+=("$copy")
        fi
    done
    wall=$(median "${walls[@]}")
    cpu=$(median "${cpus[@]}")
    copy=$(median "${copies[@]}")
    peak=$(median "${peaks[@]}")
    awk -v name="$name" -v bytes="$bytes" -v files="$files" -v wall="$wall" -v copy="$copy" \
        -v cpu="$cpu" -v peak="$peak" 'BEGIN {
        mb = bytes / 1048576; peak_mb = peak / 1024
        # GNU time reports 0.00 for runs under 10 ms
        if (wall < 0.01) wall = 0.01; if (copy < 0.01) copy = 0.01
        printf "%-8s %9.1f %5d %9.2f %8.1f %9.2f %8.1f %7.1f %8.2f %9.1f %7.1f\n", name, mb, files,
            wall, mb / wall, copy, mb / copy, wall / copy, cpu, peak_mb, peak_mb / mb }'
done

# The adversarial shapes at n and 2n: doubling the work should at most double the time.
printf '\n%-9s %9s %9s %9s %7s %9s\n' shape n "build s" "2n s" ratio "2n peak MB"
for shape in headings:100000 wide:1000000 deep:200000 entries:100000; do
    n=${shape#*:} shape=${shape%%:*}
    line=()
    for size in "$n" $((2 * n)); do
        name=${shape}_$size
        walls=() peaks=()
        for ((i = 0; i <= runs; ++i)); do
            fresh_copy "$name" "$name"
            read -r wall cpu peak < <(timed_build "$name")
            if ((i > 0)); then
                walls+=("$wall") peaks+=("$peak")
            fi
        done
        line+=("$(median "${walls[@]}")" "$(median "${peaks[@]}")")
    done
    awk -v shape="$shape" -v n="$n" -v a="${line[0]}" -v b="${line[2]}" -v peak="${line[3]}" \
        'BEGIN { if (a < 0.01) a = 0.01; if (b < 0.01) b = 0.01
        printf "%-9s %9d %9.2f %9.2f %7.2f %9.1f\n", shape, n, a, b, b / a, peak / 1024 }'
done
