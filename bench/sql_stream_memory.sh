#!/usr/bin/env bash
# Peak memory of `morvesk sql` over scripts of N "select 1" statements, to show that the
# output is streamed: the peak must not grow with the number of result sets.
#   bench/sql_stream_memory.sh BUILD_DIR [N...]      (default N: 80000 1000000 5000000)
# Two shapes per N: one batch of N statements, and N statements in batches of 1,000 (GO).
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [N...]}
shift
counts=("$@")
[ ${#counts[@]} -eq 0 ] && counts=(80000 1000000 5000000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/morvesk" init --db "$work/c.db" >/dev/null 2>&1
peak() {  # peak RSS in MB and seconds of one run reading script $1
  /usr/bin/time -f '%M %e' -o "$work/time" "$build/bin/morvesk" sql --db "$work/c.db" \
    --format csv -f "$1" >/dev/null 2>"$work/err" || { echo "run failed:"; tail -3 "$work/err"; }
  read -r kb secs <"$work/time"
  echo "$((kb / 1024)) MB, ${secs} s"
}
printf '%-10s %-28s %s\n' statements "one batch" "batches of 1,000"
for n in "${counts[@]}"; do
  awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) print "select 1" }' >"$work/one.sql"
  awk -v n="$n" 'BEGIN { for (i = 1; i <= n; i++) { print "select 1"; if (i % 1000 == 0) print "GO" } }' \
    >"$work/many.sql"
  printf '%-10s %-28s %s\n' "$n" "$(peak "$work/one.sql")" "$(peak "$work/many.sql")"
done
