#!/bin/bash
# The settings save under fire: the real program (cadenzo-sim) saves a changed record at exit while
#  - it is killed (SIGKILL) just before a random one of its file calls on the settings folder (the
#    calls of loading included, as a check), 200 runs;
#  - a file call of the save fails: write, fsync or rename with ENOSPC, EIO or EDQUOT, 20 runs each,
#    at a random one of that call's occurrences.
# After each run the file must hold the old record or the new one, byte for byte, and nothing else;
# after an injected error it must hold the old one and standard error must say so in one line.
# A run killed after the new contents were begun leaves them beside the file; the next run that
# saves removes them: the bench checks that too. Prints the tally.
#
# Usage: bench/files/save_torture.sh [BUILD_DIR]   (default: build; needs cadenzo-sim and the tests'
# libfault_shim.so built there). RUNS=N and RUNS_PER_ERROR=N change the counts.
set -u
build=${1:-build}
sim=$(realpath "$build/cadenzo-sim")
shim=$(realpath "$build/tests/support/libfault_shim.so")
[ -x "$sim" ] && [ -f "$shim" ] || { echo "build $build first (cadenzo-sim, fault_shim)" >&2; exit 2; }
runs=${RUNS:-200}
per_error=${RUNS_PER_ERROR:-20}
work=$(mktemp -d /tmp/cadenzo-torture-XXXXXX)
trap 'rm -rf "$work"' EXIT
printf 'tap 140 81\nkey ctrl+q\n' > "$work/script.txt"   # the Sound box tapped: the record changes

# A random old record with the sound off (byte 5), and the new one the tap makes of it.
old_record() { printf "\\$(printf %03o $((RANDOM % 211)))\\$(printf %03o $((RANDOM % 3)))\\003\\$(printf %03o $((RANDOM % 6)))\\$(printf %03o $((RANDOM % 7)))\\000\\$(printf %03o $((RANDOM % 2)))"; }
hex() { od -An -tx1 -v "$1" 2>/dev/null | tr -d ' \n'; }
# old | new | other: what $1/Cadenzo.ini holds against $2 (old) and $3 (new), as hex.
judge() {
  local now; now=$(hex "$1/Cadenzo.ini")
  if [ "$now" = "$2" ]; then echo old; elif [ "$now" = "$3" ]; then echo new; else echo "other($now)"; fi
}
# (In a subshell whose own standard error is dropped: it reports "Killed" for a killed run.)
run_sim() { (env "$@" "$sim" --dir "$dir" "$work/script.txt" > /dev/null 2> "$work/err.txt"; exit $?) 2> /dev/null; }

# One calibration run: the watched calls, in order, with the save's first (its open of the file for
# writing, the second open of the file).
dir=$work/calibrate; mkdir "$dir"; old_record > "$dir/Cadenzo.ini"
run_sim LD_PRELOAD="$shim" FAULT_SHIM_MATCH="$dir" FAULT_SHIM_LOG="$work/calls.txt"
calls=$(wc -l < "$work/calls.txt")
save_from=$(awk -v f="$dir/Cadenzo.ini" '$2 == "open" && $3 == f { if (++n == 2) { print $1; exit } }' "$work/calls.txt")
echo "a save at exit makes $calls watched file calls; the save's begin at call $save_from:"
awk '{ printf "  %s %s %s\n", $1, $2, $3 }' "$work/calls.txt" | sed "s|$dir|DIR|"
declare -A count_of
for c in write fsync rename; do count_of[$c]=$(awk -v c=$c '$2 == c && $3 !~ /\/calibrate$/' "$work/calls.txt" | wc -l); done

declare -A tally sample
left_after_kill=0 left_after_next=0 in_save=0
for ((i = 0; i < runs; i++)); do
  dir=$work/kill$i; mkdir "$dir"; old_record > "$dir/Cadenzo.ini"
  cp "$dir/Cadenzo.ini" "$work/old"; cp "$work/old" "$work/new"
  printf '\001' | dd of="$work/new" bs=1 seek=5 conv=notrunc 2>/dev/null
  at=$((1 + RANDOM % (calls + 1)))   # calls + 1: past the last call, the run ends whole
  [ "$at" -ge "$save_from" ] && in_save=$((in_save + 1))
  run_sim LD_PRELOAD="$shim" FAULT_SHIM_MATCH="$dir" FAULT_SHIM_KILL_AT=$at
  verdict=$(judge "$dir" "$(hex "$work/old")" "$(hex "$work/new")")
  tally["killed $verdict"]=$((${tally["killed $verdict"]:-0} + 1))
  n=$(find "$dir" -name '.Cadenzo.ini.*.new' | wc -l); left_after_kill=$((left_after_kill + n))
  # The next run saves as usual and takes away what the killed one left.
  run_sim
  n=$(find "$dir" -name '.Cadenzo.ini.*.new' | wc -l); left_after_next=$((left_after_next + n))
  rm -rf "$dir"
done

for call in write fsync rename; do
  if [ "${count_of[$call]}" = 0 ]; then
    tally["$call: the save makes no such call"]=0
    continue
  fi
  for error in ENOSPC EIO EDQUOT; do
    for ((i = 0; i < per_error; i++)); do
      dir=$work/$call-$error-$i; mkdir "$dir"; old_record > "$dir/Cadenzo.ini"
      cp "$dir/Cadenzo.ini" "$work/old"; cp "$work/old" "$work/new"
      printf '\001' | dd of="$work/new" bs=1 seek=5 conv=notrunc 2>/dev/null
      nth=$((1 + RANDOM % ${count_of[$call]}))
      run_sim LD_PRELOAD="$shim" FAULT_SHIM_CALL=$call FAULT_SHIM_ERRNO=$error FAULT_SHIM_NTH=$nth
      verdict=$(judge "$dir" "$(hex "$work/old")" "$(hex "$work/new")")
      lines=$(wc -l < "$work/err.txt")
      [ "$lines" = 1 ] || verdict="$verdict, $lines lines said"
      n=$(find "$dir" -name '.Cadenzo.ini.*.new' | wc -l); [ "$n" = 0 ] || verdict="$verdict, $n left beside"
      tally["$call $error: $verdict"]=$((${tally["$call $error: $verdict"]:-0} + 1))
      [ "$i" = 0 ] && sample["$call $error"]=$(cat "$work/err.txt")
      rm -rf "$dir"
    done
  done
done

echo
echo "killed at a random file call ($runs runs, $in_save of them within the save):"
for k in "${!tally[@]}"; do [[ $k == killed* ]] && printf '  %-40s %d\n' "${k#killed }" "${tally[$k]}"; done | sort
echo "  new contents left beside the file by killed runs: $left_after_kill; after the next run saved: $left_after_next"
echo "an error injected into the save ($per_error runs each; expected: old, one line said):"
for k in "${!tally[@]}"; do [[ $k != killed* ]] && printf '  %-40s %d\n' "$k" "${tally[$k]}"; done | sort
echo "what was said, once for each call:"
for k in "write ENOSPC" "fsync EIO" "rename EDQUOT"; do echo "  $k: ${sample[$k]:-}"; done
others=0
for k in "${!tally[@]}"; do [[ $k == *other* || $k == *lines* || $k == *left* ]] && others=$((others + tally[$k])); done
[[ -n ${tally["killed new"]+x} || -n ${tally["killed old"]+x} ]] || others=1
for k in "${!tally[@]}"; do [[ $k != killed* && $k == *": new"* ]] && others=$((others + tally[$k])); done
echo "runs that left anything but the old or the new record, or broke a rule above: $others"
[ "$others" = 0 ]
