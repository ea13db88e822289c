#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one over its seed corpus.
#
#   bash fuzz/run.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60), at most FUZZ_JOBS targets at once (default 2). New inputs go
# to build/fuzz/corpus/<target> (the committed seeds in fuzz/corpus/ are only read); a failing
# input is saved as build/fuzz/artifacts/<target>/crash-… (or timeout-…, oom-…) and the script
# exits non-zero. Prints one line per target: executions, coverage, corpus size, result.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_wine_registry fuzz_regedit fuzz_pe fuzz_sysutils)
jobs="${FUZZ_JOBS:-2}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

out=build/fuzz
run_one() {
  local t="$1"
  mkdir -p "$out/corpus/$t" "$out/artifacts/$t"
  rm -f "$out/artifacts/$t"/*
  local status=0
  "$out/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$t/" "$out/corpus/$t" "fuzz/corpus/$t" \
    >"$out/$t.log" 2>&1 || status=$?
  local runs cov corp
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$out/$t.log" | grep -oE '[0-9]+$' || echo "?")
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$out/$t.log" | tail -1 || true)
  corp=$(grep -oE 'corp: [0-9]+/[0-9]+[a-zA-Z]*' "$out/$t.log" | tail -1 || true)
  if [ "$status" -eq 0 ]; then
    printf '%-20s %8ss  %12s execs  %-18s %-16s clean\n' "$t" "$seconds" "$runs" "$cov" "$corp"
  else
    printf '%-20s %8ss  %12s execs  %-18s %-16s FAILED: %s (log %s)\n' "$t" "$seconds" "$runs" \
      "$cov" "$corp" "$(ls "$out/artifacts/$t" | head -1)" "$out/$t.log"
    return 1
  fi
}

failed=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit "$failed"
