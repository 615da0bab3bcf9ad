#!/usr/bin/env bash
# Section of scripts/bench.sh: the core on the null backend. Instruction
# counts from callgrind (exact, the same on any x86-64 machine with this
# compiler), CPU times from Google Benchmark (median of repetitions; noisy
# on a shared machine). Prints a markdown table and, for each missed target,
# where the instructions go and what would close it.
#   10-core.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$1/bench"
for tool in valgrind callgrind_annotate; do
    command -v "$tool" >/dev/null || { echo "bench: $tool missing; run scripts/deps.sh" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Two run lengths; the difference cancels one-off costs.
n1=1000 n2=5000 warmup=200

# count NAME OP CALLGRIND-OPTION... : per-operation split, "total core clib backend harness".
count() {
    local name="$1" op="$2"
    shift 2
    local n
    for n in "$n1" "$n2"; do
        if ! valgrind --tool=callgrind --collect-atstart=no "$@" \
            --callgrind-out-file="$work/$name.$n.%p" \
            "$bin/pendant-instr" "$op" "$warmup" "$n" >/dev/null 2>"$work/$name.$n.log"; then
            echo "bench: $op under callgrind failed:" >&2
            cat "$work/$name.$n.log" >&2
            return 1
        fi
        callgrind_annotate --inclusive=no --threshold=100 "$work/$name.$n".*.1 >"$work/$name.$n.txt"
    done
    local parts total
    parts="$(awk -v n1="$n1" -v n2="$n2" -f "$here/split.awk" "$work/$name.$n1.txt" "$work/$name.$n2.txt")"
    # callgrind's own total must agree with the sum of the parts, or the
    # split has lost or misplaced a function.
    total="$(awk -v n1="$n1" -v n2="$n2" '/^totals:/ { t[FILENAME == ARGV[1] ? 1 : 2] = $2 }
        END { printf "%.1f", (t[2] - t[1]) / (n2 - n1) }' "$work/$name.$n1".*.1 "$work/$name.$n2".*.1)"
    if ! awk -v a="$total" -v b="${parts%% *}" 'BEGIN { exit !(a - b < 0.5 && b - a < 0.5) }'; then
        echo "bench: $name: callgrind counts $total per operation but the parts add up to ${parts%% *}" >&2
        return 1
    fi
    echo "$parts"
}

# The most expensive functions of one operation, per operation.
breakdown() {
    local name="$1"
    awk -v n1="$n1" -v n2="$n2" '
        FNR == 1 { part = (FILENAME == ARGV[1]) ? 1 : 2; listing = 0 }
        /file:function/ { listing = 1; next }
        listing && /^-+$/ { if (seen[part]) listing = 0; next }
        listing && /^ *[0-9,]+ \(/ {
            seen[part] = 1; line = $0; sub(/^ */, "", line)
            n = line; sub(/ .*/, "", n); gsub(/,/, "", n)
            sub(/^[^)]*\) +/, "", line); sub(/ \[[^]]*\]$/, "", line)
            fn = substr(line, index(line, ":") + 1); sub(/\(.*/, "", fn)
            if (fn ~ /^main$|^__libc_start_main|^0x[0-9a-f]+$/ || line ~ /\(below main\)/) next
            cost[fn] += (part == 2 ? n : -n)
        }
        END { for (f in cost) if (cost[f] > 0) printf "%.1f %s\n", cost[f] / (n2 - n1), f }
    ' "$work/$name.$n1.txt" "$work/$name.$n2.txt" | sort -rn | head -n 8 |
        awk '{ printf "%s%s %s", (NR > 1 ? ", " : "    "), $2, $1 } END { print "" }'
}

declare -A split
split[idle]="$(count idle idle --toggle-collect='RunTurn*')"
split[idle-hid]="$(count idle-hid idle-hid --toggle-collect='RunTurn*')"
split[jog-trace]="$(count jog-trace jog --toggle-collect='RunTurn*')"
split[jog-quiet]="$(count jog-quiet jog --toggle-collect='RunTurn*' --toggle-collect=printf --toggle-collect=fflush)"
split[dirty]="$(count dirty dirty --toggle-collect='RunTurn*')"
split[away]="$(count away away --toggle-collect='RunReconnectingTurn*')"
split[away-look]="$(count away-look away-look --toggle-collect='RunReconnectingTurn*')"
split[build-frame]="$(count build-frame build-frame --toggle-collect='PendantDevice::BuildDisplayFrame*')"
split[encode-fixed]="$(count encode-fixed encode-fixed --toggle-collect='EncodeFixed*')"
split[encode-coordinate]="$(count encode-coordinate encode-coordinate --toggle-collect='EncodeCoordinate*')"

# CPU time per operation: median of repetitions, in ns.
"$bin/bench-core" --benchmark_format=csv --benchmark_repetitions="${BENCH_REPETITIONS:-5}" \
    --benchmark_report_aggregates_only=true --benchmark_min_time="${BENCH_MIN_TIME:-0.2}" \
    >"$work/times.csv" 2>"$work/times.log" || { cat "$work/times.log" >&2; exit 1; }
cputime() {
    awk -F, -v name="\"$1_median\"" '$1 == name {
        t = $4; u = $5
        if (u == "us") t *= 1000; else if (u == "ms") t *= 1000000
        printf (t < 100 ? "%.1f ns" : "%.0f ns"), t; found = 1 }
        END { if (!found) printf "n/a" }' "$work/times.csv"
}
declare -A time
time[idle]="$(cputime IdleTurn)"
time[idle-hid]="$(cputime IdleTurnHid)"
time[jog-trace]="$(cputime JogTurnTraceToDevNull)"
time[jog-quiet]="$(cputime JogTurnWithoutTrace)"
time[dirty]="$(cputime DirtyDisplayTurn)"
time[away]="$(cputime UnpluggedReconnectTurn)"
time[away-look]="$(cputime UnpluggedReconnectDiscoveryTurn)"
time[build-frame]="$(cputime BuildDisplayFrameOnly)"
time[encode-fixed]="$(cputime EncodeFixed)"
time[encode-coordinate]="$(cputime EncodeCoordinate)"

declare -A label target own_of
label[idle]="Idle turn (display clean, read times out)"
label[idle-hid]="Idle turn with --hid (the read kept under way; one wait times out)"
label[jog-trace]="Jog-report turn, trace line to /dev/null"
label[jog-quiet]="Jog-report turn, without the trace line"
label[dirty]="Dirty display turn (BuildDisplayFrame, six transfers, read times out)"
label[away]="Unplugged turn with --reconnect, between discoveries (pause included as a call)"
label[away-look]="Unplugged turn with --reconnect, with its once-a-second discovery (finds nothing)"
label[build-frame]="BuildDisplayFrame alone"
label[encode-fixed]="EncodeFixed"
label[encode-coordinate]="Payload encoding of one coordinate (EncodeCoordinate)"
target[idle]=50
target[idle-hid]=50
target[dirty]=800
target[encode-fixed]=60
target[encode-coordinate]=60

order=(idle idle-hid jog-trace jog-quiet dirty away away-look build-frame encode-fixed encode-coordinate)
missed=()
echo "## The core's own cost, on the null backend"
echo
echo "| Figure | Instructions (core's own) | of which C library | Null backend bodies (not counted) | CPU time | Target | Met |"
echo "|---|---:|---:|---:|---:|---|---|"
for key in "${order[@]}"; do
    read -r _ core clib backend harness <<<"${split[$key]}"
    own="$(awk -v a="$core" -v b="$clib" 'BEGIN { printf "%.1f", a + b }')"
    own_of[$key]="$own"
    if [ -n "${target[$key]:-}" ]; then
        goal="<= ${target[$key]} instructions"
        if awk -v t="$own" -v g="${target[$key]}" 'BEGIN { exit !(t <= g) }'; then
            met="yes"
        else
            met="**no**"
            missed+=("$key")
        fi
    else
        goal="reported"
        met="-"
    fi
    # Code of the bench programs themselves must not be inside a measurement.
    if [ "$harness" != "0.0" ]; then
        echo "bench: $key: $harness instructions per operation in the bench harness" >&2
        exit 1
    fi
    printf "| %s | %s | %s | %s | %s | %s | %s |\n" "${label[$key]}" "$own" "$clib" "$backend" \
        "${time[$key]}" "$goal" "$met"
done

cat <<'NOTE'

Instructions are counted per operation by callgrind, callees included. The core's own are
those of the core's code and of the C library functions it calls (round, printf); the null
backend's bodies (a counter, a flag, an error code) are listed beside them but not counted,
as a platform's would not be. CPU time is the whole operation, median of repetitions.
NOTE

if [ "${#missed[@]}" -gt 0 ]; then
    echo
    echo "Missed targets: where the instructions go (per operation, by function) and what would close them."
    declare -A closing
    closing[idle]="The idle turn is bookkeeping around one read: SendDisplay's dirty test, the tick count taken before the read (so that a read failing at once can be paced to 30 ms), clearing the report bytes the tool looks at, the read, and fetching and storing its error. Taking the tick count only after a read has failed (and then pausing a full 30 ms) would save about 5 instructions, testing the dirty flag in the loop before calling SendDisplay about 3."
    closing[dirty]="Six coordinate encodings (see EncodeCoordinate) and the frame assembly, which builds the 42-byte payload and then copies it into six reports (about 190 instructions). Writing the reports straight from the encoded values would save about 100."
    closing[encode-fixed]="The rounding is inline already (the C library's round() would add about 19 instructions a call). What remains is the range guard, the split into the two words (a multiplication standing for the division by 10000) and the store."
    closing[encode-coordinate]="It is EncodeFixed plus the rounding to three decimals: the single-precision product, an inline round and the double division by 1000. The rule fixes that sequence, so what is left to cut is in EncodeFixed."
    for key in "${missed[@]}"; do
        echo
        echo "- ${label[$key]}: ${own_of[$key]} instructions, target ${target[$key]}."
        breakdown "$key"
        echo "  ${closing[$key]}"
    done
fi
