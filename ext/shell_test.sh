#!/usr/bin/env bash
# Loads the extension into the system's sqlite3 shell on a fresh demo company and checks
# that stock SQLite reads the same amounts, dates and view rows as the engine does.
# Usage: shell_test.sh SQLITE3 MORVESK EXTENSION WORKDIR
set -euo pipefail
shell=$1 morvesk=$2 ext=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
db=$work/demo.db
"$morvesk" init --db "$db" >/dev/null 2>&1
failures=0

# Runs SQL in the shell with the extension loaded; prints the bare value(s).
# The extension is loaded first, into a memory database, so that the company file is then
# opened through the file layer it registers.
lite() { "$shell" -batch -noheader -cmd ".load $ext" -cmd ".open $db" :memory: "$1"; }
# Runs T-SQL through the engine; prints the value(s) of the one result set.
engine() { "$morvesk" sql --db "$db" --format csv "$1" 2>/dev/null | tail -n +2; }
same() {  # what, got, wanted
  if [ "$2" == "$3" ]; then echo "ok   $1: $2"
  else echo "FAIL $1: got '$2', wanted '$3'"; failures=$((failures + 1)); fi
}
fails_with() {  # what, sql, expected message part
  local out
  if out=$(lite "$2" 2>&1); then
    echo "FAIL $1: succeeded with '$out'"; failures=$((failures + 1))
  elif [[ "$out" != *"$3"* ]]; then
    echo "FAIL $1: '$out' does not say '$3'"; failures=$((failures + 1))
  else echo "ok   $1 refused: $out"; fi
}

# Without the extension stock SQLite refuses the file instead of reading the stored
# decimals as wrong numbers.
if out=$("$shell" -batch "$db" "select sum(FBegBal) from t_CC_Bal" 2>&1); then
  echo "FAIL read without the extension: $out"; failures=$((failures + 1))
elif [[ "$out" != *"file is not a database"* ]]; then
  echo "FAIL without the extension: '$out'"; failures=$((failures + 1))
else echo "ok   refused without the extension: $out"; fi

same "integrity check" "$(lite 'pragma integrity_check')" "ok"

# Amounts: the exact sum at the column's scale, its real value, and a comparison.
same "sum of opening balances" "$(lite 'select decimal_text(t_dsum(FBegBal), 10) from t_CC_Bal')" \
  "$(engine 'select sum(FBegBal) from t_CC_Bal')"
same "sum as real" "$(lite 'select decimal_real(t_dsum(FBegBal)) = sum(decimal_real(FBegBal)) from t_CC_Bal')" "1"
same "balances above 100" "$(lite 'select count(*) from t_CC_Bal where decimal_real(FBegBal) > 100')" \
  "$(engine 'select count(*) from t_CC_Bal where FBegBal > 100')"

# Dates: text as the engine's style 121, and the Julian day SQLite's date functions use.
same "period dates" \
  "$(lite 'select datetime_text(FStartDate) || '"'"' '"'"' || datetime_text(FEndDate) from t_PeriodDate where FYear = 2025 and FPeriod = 3')" \
  "$(engine "select convert(varchar(23), FStartDate, 121) + ' ' + convert(varchar(23), FEndDate, 121) from t_PeriodDate where FYear = 2025 and FPeriod = 3")"
same "date of a Julian day" \
  "$(lite 'select date(datetime_real(FStartDate)) from t_PeriodDate where FYear = 2025 and FPeriod = 3')" \
  "2025-03-01"

# Views, text order under the TSQL collation, and a rebuild of the file.
same "rows of vw_cc_Receive" "$(lite 'select count(*) from vw_cc_Receive')" \
  "$(engine 'select count(*) from vw_cc_Receive')"
same "amount of vw_cc_Send" "$(lite 'select decimal_text(t_dsum(FAmount)) from vw_cc_Send')" \
  "$(engine 'select convert(varchar(40), sum(FAmount)) from vw_cc_Send' | sed -e 's/0*$//' -e 's/\.$//')"
same "items by name" "$(lite 'select group_concat(FNumber) from (select FNumber from t_ICItem order by FName)')" \
  "$(engine 'select FNumber from t_ICItem order by FName' | paste -sd,)"
same "vacuum" "$(lite 'vacuum; pragma integrity_check')" "ok"

# Values that are not in a stored form are refused, not guessed.
fails_with "text as a decimal" "select decimal_text('12.5')" "decimal_text: the value is not a stored decimal"
fails_with "foreign blob" "select decimal_real(x'00')" "decimal_real: the blob is not a stored decimal"
fails_with "text as a datetime" "select datetime_text('2025-03-01')" "datetime_text: the value is not a stored datetime"
fails_with "bad scale" "select decimal_text(FBegBal, 40) from t_CC_Bal" "the scale must be an integer"

# A file stock SQLite made opens in the engine as it is and takes the company header.
plain=$work/plain.db
"$shell" "$plain" "create table t (a int); insert into t values (7)"
same "stock file read by the engine" \
  "$("$morvesk" sql --db "$plain" --format csv 'select a from t' 2>/dev/null | tail -n +2)" "7"
same "stock file's header afterwards" "$(head -c 15 "$plain")" "Morvesk company"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
