#!/usr/bin/env bash
# Builds the libFuzzer targets (CMake preset "fuzz", clang with ASan and UBSan), makes their
# seed corpora and runs each target for a given time, one after another, printing each run's
# final statistics.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS: time per target (default 60). TARGET: any target of fuzz/targets.cmake (default
# all). Inputs that make a target fail are written to build/fuzz/artifacts/TARGET/; keep each
# one under fuzz/regressions/TARGET/ once fixed, where the robustness tests replay it. New
# corpus entries collect in build/fuzz/corpus/TARGET/.
# Exit status: 0 when no target failed, 1 otherwise. FUZZ_NO_PREPARE=1 skips the build and the
# seeds (for a second run beside one that made them).
#
# The continuous-integration smoke step is: scripts/fuzz.sh 30
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
shift || true
# The targets, as the build lists them.
read -r -a all <<<"$(sed -n '/^set(TONEBRIDGE_FUZZ_TARGETS/,/)/p' "$root/fuzz/targets.cmake" |
  tr '\n' ' ' | sed -e 's/set(TONEBRIDGE_FUZZ_TARGETS//' -e 's/).*//')"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=("${all[@]}")
fi
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "fuzz.sh: SECONDS must be a positive whole number, not '$seconds'" >&2
  exit 2
fi
for t in "${targets[@]}"; do
  if [[ ! " ${all[*]} " =~ " $t " ]]; then
    echo "fuzz.sh: unknown target '$t' (known: ${all[*]})" >&2
    exit 2
  fi
done

build="$root/build/fuzz"
seeds="$build/seeds"
cd "$root"
if [ "${FUZZ_NO_PREPARE:-0}" != 1 ]; then
  if [ ! -f "$build/build.ninja" ]; then
    cmake --preset fuzz >/dev/null
  fi
  cmake --build "$build" --target fuzzers -j "${FUZZ_BUILD_JOBS:-2}" >/dev/null
  # Seeds: the example melodies and the MIDI test suite, and the streams the coder makes of
  # them (the kept corpora are read in place).
  rm -rf "$seeds"
  "$build/fuzz/fuzz_make_seeds" "$seeds" "$root/examples" "$root/tests/data/midi/jazz-soft" >/dev/null
fi

dict_for() {
  case "$1" in
    midi_decode | lsp_code | lsp_roundtrip | ringtone_fit) echo "-dict=$root/fuzz/midi.dict" ;;
    lsp_decode) echo "-dict=$root/fuzz/lsp.dict" ;;
    rtttl_decode) echo "-dict=$root/fuzz/rtttl.dict" ;;
    imelody_decode) echo "-dict=$root/fuzz/imelody.dict" ;;
    *) echo "" ;;
  esac
}

# Longest input each target is fed. The MIDI test suite seeds files of up to 78 KB, which
# reach no code a few KB do not and slow every run; the other targets keep libFuzzer's own
# limit (their longest seed).
max_len_for() {
  case "$1" in
    midi_decode) echo "-max_len=4096" ;;
    *) echo "" ;;
  esac
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=()
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  log="$build/logs/$t.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  extra=()
  for d in "$root/fuzz/corpus/$t" "$root/fuzz/regressions/$t" "$seeds/$t"; do
    if [ -d "$d" ]; then
      extra+=("$d")
    fi
  done
  echo "== $t: ${seconds}s"
  status=0
  # shellcheck disable=SC2046
  nice "$build/fuzz/${t}_fuzzer" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" $(dict_for "$t") $(max_len_for "$t") \
    "$corpus" "${extra[@]}" >"$log" 2>&1 || status=$?
  # The last progress line holds the executions (#), coverage (cov:) and features (ft:).
  grep -E '^#[0-9]+' "$log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "FAILED: $t (exit $status); see $log and $artifacts/" >&2
    grep -E 'ERROR|invariant failed|SUMMARY' "$log" | head -n 5 >&2 || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz.sh: ${#failed[@]} target(s) failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: ${#targets[@]} target(s) ran ${seconds}s each without a finding"
