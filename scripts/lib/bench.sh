# Sourced by the benchmarks (bench/*.sh): what they share besides nginx.
#
#   bench_need TOOL...            ends the script with a line naming the first
#                                 TOOL that is not installed
#   bench_median FILE NAME COLUMN prints the median of column COLUMN over FILE's
#                                 lines whose first word is NAME (of the middle
#                                 two, their mean)

bench_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "bench/${0##*/}: $tool is not installed" >&2; exit 1; }
    done
}

bench_median() {
    awk -v n="$2" -v c="$3" '$1 == n { print $c }' "$1" | sort -g |
        awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
