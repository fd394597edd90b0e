#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 20),
# two at a time (FUZZ_JOBS to change), starting from the seed corpus in
# fuzz/corpus/ plus what earlier runs found (build/fuzz/corpus/TARGET).
# Prints one line per target: runs, coverage (cov: edges, ft: features) and
# corpus size. A crash, leak, hang or broken property fails the run, and the
# input that caused it is printed in hex and Base64.
#
#   fuzz/run.sh [SECONDS] [TARGET...]     e.g. fuzz/run.sh 600 json_fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true
jobs="${FUZZ_JOBS:-2}"
build=build/fuzz

# The build speaks only when it fails, and then says why. Unity batches parse
# the shared headers once per batch: the build takes a quarter less time.
mkdir -p "$build"
if ! { cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON &&
       cmake --build "$build" -j2; } >"$build/build.log" 2>&1; then
  echo "fuzzing: the fuzz targets do not build; the end of the build's output:"
  tail -n 60 "$build/build.log"
  exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# Shows the input of every finding so that a CI log alone reproduces it.
show_findings() {
  local target="$1" artifact
  for artifact in "$build/artifacts/$target"/*; do
    [ -f "$artifact" ] || continue
    echo "--- $target: $(basename "$artifact") ($(stat -c %s "$artifact") bytes)"
    echo "hex (the first KiB):"
    head -c 1024 "$artifact" | od -An -v -tx1
    echo "base64 (all of it):"
    base64 -w0 "$artifact"
    echo
  done
}

# Runs one target; its report goes to logs/TARGET.report, its status to logs/TARGET.status.
run_target() {
  local target="$1" log="$build/logs/$1.log" status=0
  rm -rf "$build/artifacts/$target"
  mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
  local options=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$build/artifacts/$target/")
  case "$target" in
    request_*) options+=(-dict=fuzz/dict/http.dict) ;;
    json_fuzz | merge_fuzz | token_fuzz) options+=(-dict=fuzz/dict/json.dict) ;;
    command_line_fuzz) options+=(-dict=fuzz/dict/command_line.dict) ;;
  esac
  local seeds="fuzz/corpus/${target%_fuzz}"
  # Both request targets read a first byte that says how the rest is split.
  case "$target" in request_*) seeds=fuzz/corpus/requests ;; esac
  "$build/$target" "${options[@]}" "$build/corpus/$target" "$seeds" >"$log" 2>&1 || status=$?
  local done_line runs
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -eq 0 ] && [ -n "$done_line" ]; then
    echo "$target: ${runs:-?} runs in ${seconds}s; $(echo "$done_line" | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*')"
  else
    [ "$status" -ne 0 ] || status=1
    echo "$target: FAILED (status $status); the end of its log:"
    tail -n 60 "$log"
    show_findings "$target"
  fi >"$build/logs/$target.report"
  echo "$status" >"$build/logs/$target.status"
}

mkdir -p "$build/logs"
for target in "${targets[@]}"; do
  rm -f "$build/logs/$target.status"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_target "$target" &
done
wait
failed=0
for target in "${targets[@]}"; do
  cat "$build/logs/$target.report"
  [ "$(cat "$build/logs/$target.status" 2>/dev/null)" = 0 ] || failed=$((failed + 1))
done
if [ "$failed" -gt 0 ]; then
  echo "fuzzing: $failed of ${#targets[@]} targets failed"
  exit 1
fi
echo "fuzzing: all ${#targets[@]} targets ran ${seconds}s without a finding"
