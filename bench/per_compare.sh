#!/usr/bin/env bash
# Times this project's aligned PER codec (bench_per) and, when Erlang is
# installed, Erlang's asn1 codec on the same messages in the same run, and
# prints the time per message of both with the ratio Erlang / this codec.
# Both sides give the best of five runs in wall-clock time, so that other
# work on the machine weighs the same on each.
# Usage: bench/per_compare.sh [BUILD_DIR]   (default build/bench, a Release
# build with -DKORVAND_BENCH=ON; configured here when missing)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVAND_BENCH=ON \
    -DKORVAND_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target bench_per >/dev/null
bench="$build/bench/bench_per"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Google Benchmark's CSV: name,iterations,real_time,cpu_time,time_unit,...;
# one line per run, then the aggregates (NAME_mean, ...), left out here.
"$bench" --benchmark_format=csv --benchmark_repetitions=5 2>/dev/null |
  awk -F, '$1 ~ /^"(Encode|Decode)\/[A-Za-z0-9]+"$/ {
             gsub(/"/, "", $1); split($1, n, "/"); k = n[2] " " n[1]
             if (!(k in best) || $3 + 0 < best[k]) best[k] = $3 + 0; if (!(k in at)) order[++count] = k; at[k] = 1 }
           END { for (i = 1; i <= count; ++i) print order[i], best[order[i]] }' \
  >"$work/cpp"

if command -v erlc >/dev/null && command -v escript >/dev/null; then
  "$top/tools/erlang_oracle" per "$work/oracle"
  "$bench" --messages | escript "$top/bench/per_erlang.escript" "$work/oracle" |
    awk '{ print $1, "Encode", $2; print $1, "Decode", $3 }' >"$work/erlang"
else
  echo "per_compare.sh: no Erlang here; this codec's figures only" >&2
  : >"$work/erlang"
fi

awk 'FNR == NR { erlang[$1 " " $2] = $3; next }
     BEGIN { printf "%-14s %-7s %12s %12s %8s\n", "message", "", "korvand ns", "Erlang ns", "ratio" }
     { e = erlang[$1 " " $2]
       if (e == "") printf "%-14s %-7s %12.1f %12s %8s\n", $1, $2, $3, "-", "-"
       else printf "%-14s %-7s %12.1f %12.1f %8.1f\n", $1, $2, $3, e, e / $3 }' \
  "$work/erlang" "$work/cpp"
