#!/usr/bin/env bash
# Soak: the real veltran on Xvfb at a 1-second refresh, with logging on, for a given
# time, while soak_churn opens and closes loopback connections all along, all inside
# a private network namespace. Samples the program's resident memory, open file
# descriptors and threads into a CSV and prints a summary. As root:
#
#   bench/soak.sh [minutes, default 60] [seconds between samples, default 10] [csv, default ./soak.csv]
#
# VELTRAN_BIN (default build/bin) is where veltran, libinetmib1.so and soak_churn are;
# SOAK_RATE (default 20) connections a second, SOAK_OPEN (default 40) open at once.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-60}
every=${2:-10}
csv=$(realpath -m "${3:-soak.csv}")
bin=$(realpath "${VELTRAN_BIN:-$here/build/bin}")

if [ -z "${VELTRAN_SOAK_INSIDE:-}" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "soak.sh: needs root (private network namespace)" >&2; exit 1; }
    for f in veltran libinetmib1.so soak_churn; do
        [ -e "$bin/$f" ] || { echo "soak.sh: $bin/$f missing; build it first" >&2; exit 1; }
    done
    exec unshare -n env VELTRAN_SOAK_INSIDE=1 VELTRAN_BIN="$bin" "$0" "$minutes" "$every" "$csv"
fi

ip link set lo up
folder=$(mktemp -d /tmp/veltran-soak-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$folder"
}
trap cleanup EXIT

cp "$bin/veltran" "$bin/libinetmib1.so" "$folder/"
printf '1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\nnetlog.txt\r\n' >"$folder/options.dat"

Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$folder/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$folder/display" ] && break; sleep 0.1; done
display=":$(head -1 "$folder/display")"

"$bin/soak_churn" "${SOAK_RATE:-20}" "${SOAK_OPEN:-40}" >"$folder/churned" &
churn=$!
pids+=("$churn")

(cd "$folder" && DISPLAY=$display QT_QPA_PLATFORM=xcb exec ./veltran) 2>"$folder/veltran.err" &
program=$!
pids+=("$program")

echo "seconds,rss_kb,fds,threads" >"$csv"
start=$(date +%s)
end=$((start + minutes * 60))
while :; do
    sleep "$every"
    now=$(date +%s)
    if ! kill -0 "$program" 2>/dev/null; then
        echo "soak.sh: veltran ended after $((now - start)) s" >&2
        cat "$folder/veltran.err" >&2
        exit 1
    fi
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$program/status")
    threads=$(awk '/^Threads:/ { print $2 }' "/proc/$program/status")
    fds=$(ls "/proc/$program/fd" | wc -l)
    echo "$((now - start)),$rss,$fds,$threads" >>"$csv"
    [ "$now" -lt "$end" ] || break
done

kill "$churn"
wait "$churn" || true
log_bytes=$(stat -c %s "$folder/netlog.txt" 2>/dev/null || echo 0)
awk -F, -v churned="$(cat "$folder/churned")" -v log_bytes="$log_bytes" '
    NR == 1 { next }
    {
        if (base == "" && $1 >= 60) { base = $2; base_t = $1 }
        if (fmin == "" || $3 < fmin) fmin = $3
        if ($3 > fmax) fmax = $3
        if (tmin == "" || $4 < tmin) tmin = $4
        if ($4 > tmax) tmax = $4
        if ($2 > rmax) rmax = $2
        last = $2; last_t = $1; samples++
    }
    END {
        printf "samples: %d over %d s; connections churned: %d; log written: %d bytes\n", samples, last_t, churned, log_bytes
        if (base != "")
            printf "RSS: %d kB at %d s, %d kB at the end, max %d kB: growth after the first minute %+d kB (%+.2f MB)\n",
                base, base_t, last, rmax, last - base, (last - base) / 1024
        printf "fds: min %d, max %d; threads: min %d, max %d\n", fmin, fmax, tmin, tmax
    }' "$csv"
echo "series: $csv"
