#!/usr/bin/env bash
# Builds each benchmark corpus with `qtvn2 -command` and copies the same bytes with cp, with cp
# followed by a sync of the file system the copies are on (a durable copy, as a build's writes
# are), and with a durable copy followed by removing the files copied (a replacement: a build that
# replaces its files frees the old ones) as the baselines, several times after a warm-up, each run
# on a fresh copy of the corpus, and prints per corpus the median wall time, the throughput, the
# ratios to the baselines, the median processor time and the peak memory of the build. Then it builds each adversarial shape at
# n and 2n and prints both median times and their ratio, a page of headings only for the memory a
# heading costs, and last a tiny page many times for the start-up cost of the command line,
# against starting `true` and a cp of the page.
#
#   bench/run.sh [build-folder]        (default: build; RUNS=5 sets the number of timed runs,
#                                       CORPORA="large site" and SHAPES="wide:1000000" a part)
#
# The corpus is generated once into bench/corpus/ by the build's make_corpus.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${RUNS:-5}
qtvn2=$build/bin/qtvn2
make_corpus=$build/bin/make_corpus
spawn_time=$build/bin/spawn_time
corpus=$root/bench/corpus

for tool in "$qtvn2" "$spawn_time" /usr/bin/time; do
    if [ ! -x "$tool" ]; then
        echo "run.sh: $tool is missing; build the project first (cmake --build build)" >&2
        exit 1
    fi
done

if [ ! -f "$corpus/complete-3" ]; then
    if [ ! -x "$make_corpus" ]; then
        echo "run.sh: $make_corpus is missing; build the project first" >&2
        exit 1
    fi
    echo "Writing the corpus to $corpus ..." >&2
    rm -rf "$corpus"
    "$make_corpus" "$corpus"
    cp "$root/qvdata/toc_list.htm" "$corpus/"
    touch "$corpus/complete-3"
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

# One timed build in $work/run; prints "wall cpu peak_kib". The wall time is taken as the copies'
# is, to the microsecond: GNU time gives it in hundredths of a second.
timed_build() {
    local name=$1 report start wall
    start=$EPOCHREALTIME
    report=$( (cd "$work/run" && /usr/bin/time -f '%U %S %M' -o "$work/time" \
        "$qtvn2" -command "$name.toc") )
    wall=$(since "$start")
    if [[ "$report" != *"Build is complete."* ]]; then
        echo "run.sh: the build of $name failed: $report" >&2
        exit 1
    fi
    awk -v wall="$wall" '{ printf "%s %.2f %s\n", wall, $1 + $2, $3 }' "$work/time"
}

# Seconds since an earlier $EPOCHREALTIME, to the microsecond.
since() {
    awk -v start="$1" -v now="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", now - start }'
}

# One timed cp of the same bytes, then one durable (the copies synced together, as a build syncs
# the files it writes) with the time it took before and after the files copied were removed;
# prints the three times.
timed_copies() {
    local folder=$1 start copy durable
    start=$EPOCHREALTIME
    (cd "$work/run" && cp -r "$folder" "$work/copy")
    copy=$(since "$start")
    rm -rf "$work/copy"
    sync
    start=$EPOCHREALTIME
    (cd "$work/run" && cp -r "$folder" "$work/copy" && sync -f "$work/copy")
    durable=$(since "$start")
    rm -rf "${work:?}/run/$folder"
    echo "$copy $durable $(since "$start")"
    rm -rf "$work/copy"
}

printf '%-8s %7s %5s %8s %7s %7s %8s %6s %7s %6s %7s %6s %6s %8s %7s\n' corpus MB files \
    "build s" "MB/s" "cp s" "cp MB/s" "x cp" "sync s" "x sync" "repl s" "x repl" "cpu s" \
    "peak MB" "peak/MB"
for name in ${CORPORA:-large medium site}; do
    folder=$name
    bytes=$(find "$corpus/$folder" -type f -name '*.htm' -printf '%s\n' | awk '{ s += $1 } END { print s }')
    files=$(find "$corpus/$folder" -type f -name '*.htm' | wc -l)
    walls=() cpus=() peaks=() copies=() durables=() replaces=()
    for ((i = 0; i <= runs; ++i)); do
        fresh_copy "$name" "$folder"
        read -r wall cpu peak < <(timed_build "$name")
        fresh_copy "$name" "$folder"
        read -r copy durable replace < <(timed_copies "$folder")
        # run 0 warms the caches and is not counted
        if ((i > 0)); then
            walls+=("$wall") cpus+=("$cpu") peaks+=("$peak") copies+=("$copy")
            durables+=("$durable") replaces+=("$replace")
        fi
    done
    wall=$(median "${walls[@]}")
    cpu=$(median "${cpus[@]}")
    copy=$(median "${copies[@]}")
    durable=$(median "${durables[@]}")
    replace=$(median "${replaces[@]}")
    peak=$(median "${peaks[@]}")
    awk -v name="$name" -v bytes="$bytes" -v files="$files" -v wall="$wall" -v copy="$copy" \
        -v durable="$durable" -v replace="$replace" -v cpu="$cpu" -v peak="$peak" 'BEGIN {
        mb = bytes / 1048576; peak_mb = peak / 1024
        if (copy < 0.0001) copy = 0.0001
        printf "%-8s %7.1f %5d %8.3f %7.1f %7.3f %8.1f %6.1f %7.3f %6.2f %7.3f %6.2f %6.2f %8.1f %7.1f\n",
            name, mb, files, wall, mb / wall, copy, mb / copy, wall / copy, durable, wall / durable,
            replace, wall / replace, cpu, peak_mb, peak_mb / mb }'
done

# The adversarial shapes at n and 2n: doubling the work should at most double the time.
printf '\n%-9s %9s %9s %9s %7s %9s\n' shape n "build s" "2n s" ratio "2n peak MB"
for shape in ${SHAPES:-headings:100000 wide:1000000 deep:200000 entries:100000 ids:100000}; do
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
        'BEGIN { printf "%-9s %9d %9.3f %9.3f %7.2f %9.1f\n", shape, n, a, b, b / a, peak / 1024 }'
done

# Memory per heading: a page of nothing but 1,000,000 short headings (about 10 MB), built with named
# anchors, then anew with id anchors.
rm -rf "$work/run"
mkdir -p "$work/run"
cp "$corpus/toc_list.htm" "$work/run/"
printf '<is_single>1</is_single>\r\n<is_dest_as_source>1</is_dest_as_source>\r\n<source>%s</source>\r\n<range_from>1</range_from>\r\n<range_to>6</range_to>\r\n<template_file>toc_list.htm</template_file>\r\n' \
    headings.htm >"$work/run/headings.toc"
sed 's|<template_file>|<anchor_style>id</anchor_style>\r\n&|' "$work/run/headings.toc" \
    >"$work/run/headings_id.toc"
echo
for project in headings headings_id; do
    awk 'BEGIN { for (i = 0; i < 1000000; ++i) print "<h2>x</h2>" }' >"$work/run/headings.htm"
    # on disk first, as the corpora are: replacing a file still being written back costs more
    sync
    bytes=$(stat -c %s "$work/run/headings.htm")
    read -r wall cpu peak < <(timed_build "$project")
    awk -v bytes="$bytes" -v wall="$wall" -v peak="$peak" -v anchors="${project#headings}" 'BEGIN {
        printf "headings  %.1f MB, 1000000 <h2>, %s anchors: %.2f s, peak %.1f MB, %.0f bytes a heading beyond the file\n",
            bytes / 1048576, anchors == "" ? "named" : "id", wall, peak / 1024,
            (peak * 1024 - bytes) / 1000000 }'
done

# Start-up: a tiny page built many times, with the start of a program that does nothing and a cp of
# the page as baselines; the median wall time and the largest peak memory of a run. The page is
# built anew each time (a fresh copy before each run), then rebuilt as it stands, unchanged.
printf '<html><body><h1>A</h1></body></html>\n' >"$work/run/tiny.orig"
cp "$work/run/tiny.orig" "$work/run/tiny.htm"
sed 's/headings.htm/tiny.htm/' "$work/run/headings.toc" >"$work/run/tiny.toc"
cd "$work/run"
read -r first peak < <("$spawn_time" --fresh tiny.orig tiny.htm $((20 * runs)) "$qtvn2" -command tiny.toc)
read -r wall rebuilt_peak < <("$spawn_time" $((20 * runs)) "$qtvn2" -command tiny.toc)
((rebuilt_peak > peak)) && peak=$rebuilt_peak
read -r true_wall _ < <("$spawn_time" $((20 * runs)) true)
read -r cp_wall _ < <("$spawn_time" $((20 * runs)) cp tiny.htm copy.htm)
cd "$root"
awk -v first="$first" -v wall="$wall" -v peak="$peak" -v t="$true_wall" -v c="$cp_wall" 'BEGIN {
    printf "tiny page: %.1f ms built anew, %.1f ms rebuilt, peak %.1f MB; true %.1f ms, cp %.1f ms\n",
        first, wall, peak / 1024, t, c }'
