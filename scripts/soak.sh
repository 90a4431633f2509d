#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/soak.sh — the real program for a long run under its own Xvfb, cycling the forced
# scenes with the keys (7 included: 1200 cubes a frame) while its resident memory is sampled.
# Passes when it never crashes, ends on Esc with code 0, and VmRSS grows by less than 1 MB
# from the one-minute sample to the last one.
#
# usage: scripts/soak.sh [BUILD-DIR] [MINUTES] [SAMPLE-SECONDS]
#   BUILD-DIR holds rinta, data/ and make_module (default build-robust; build those targets)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build-robust}" && pwd) || exit 2
minutes=${2:-10}
every=${3:-10}
rinta=$build/rinta
make_module=$build/tests/make_module
[ -x "$rinta" ] || rinta=$(find "$build" -name rinta -type f -perm -u+x | head -1)
[ -x "$rinta" ] && [ -x "$make_module" ] && [ -d "$build/data" ] ||
    { echo "soak: build rinta, make_module and the data in $build first" >&2; exit 2; }

scratch=$build/soak
rm -rf "$scratch"
mkdir -p "$scratch/work"
cd "$scratch/work" || exit 1
cp -r "$build/data" data
# The demo ends by itself at order 32, after about four minutes of the real song. A soak
# needs one process for the whole run, so it plays a plain 32-order module slowed to last
# longer: 200 rows an order at speed S, tempo 255, is 32 * 200 * S * 2.5 / 255 s.
speed=$(( (minutes * 60 * 255) / (32 * 200 * 5 / 2) + 2 ))
[ "$speed" -le 255 ] || { echo "soak: $minutes minutes is longer than a module can last" >&2; exit 2; }
"$make_module" data/sorvan.it 200 || exit 1
printf "\\x$(printf %02x "$speed")" | dd of=data/sorvan.it bs=1 seek=$((0x32)) conv=notrunc 2>/dev/null
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER-dummy}

rpid="" xpid=""
cleanup() {
    [ -n "$rpid" ] && kill -9 "$rpid" 2>/dev/null && wait "$rpid" 2>/dev/null
    stopX
}
trap cleanup EXIT
fail() {
    echo "SOAK FAIL: $*" >&2
    sed 's/^/  rinta: /' "$scratch/out.txt" 2>/dev/null | tail -40 >&2
    exit 1
}

. "$here/tests/e2e/xdrive.sh"
startX
rssKb() { awk '/^VmRSS:/{print $2}' "/proc/$rpid/status" 2>/dev/null; }
# CPU seconds used so far (user + system): a program that stops drawing stops using it.
cpuSeconds() { awk -v hz="$(getconf CLK_TCK)" '{printf "%.1f", ($14 + $15) / hz}' "/proc/$rpid/stat" 2>/dev/null; }

# The same binary under a name of its own: on a shared machine a parallel test run's
# clean-up by name (one soak here was SIGKILLed after 114 s) must not end the soak.
cp "$rinta" "$scratch/soak-demo"
"$scratch/soak-demo" >"$scratch/out.txt" 2>&1 &
rpid=$!
box=$(waitWindow "Start FullScreen?" 20) || fail "the fullscreen question did not appear"
press "$box" Escape
w=$(waitWindow rinta 20) || fail "no window titled rinta"

# A key a second: the digits in turn, with the arrows now and then (8 then Right forces
# nothing, Left brings it back).
keysCycle=(1 2 3 4 5 6 7 8 Right Left 7 Left Right 3 7 6)
start=$(date +%s)
end=$((start + minutes * 60))
next=$start
samples=() times=() k=0
while :; do
    now=$(date +%s)
    [ "$now" -ge "$end" ] && break
    kill -0 "$rpid" 2>/dev/null || { wait "$rpid"; fail "the program ended by itself with code $? after $((now - start)) s"; }
    if [ "$now" -ge "$next" ]; then
        kb=$(rssKb)
        times+=($((now - start)))
        samples+=("$kb")
        printf 'soak: t=%4d s  VmRSS %s kB  cpu %s s  (key %s)\n' "$((now - start))" "$kb" "$(cpuSeconds)" \
            "${keysCycle[$((k % ${#keysCycle[@]}))]}"
        next=$((next + every))
    fi
    press "$w" "${keysCycle[$((k % ${#keysCycle[@]}))]}"
    k=$((k + 1))
    sleep 1
done
kb=$(rssKb)
times+=($(($(date +%s) - start)))
samples+=("$kb")

press "$w" Escape
code=""
for _ in $(seq 150); do
    kill -0 "$rpid" 2>/dev/null || { wait "$rpid"; code=$?; rpid=""; break; }
    sleep 0.1
done
if [ -z "$code" ]; then
    import -window root "$scratch/after-esc.png" 2>/dev/null
    gdb -p "$rpid" -batch -ex "thread apply all bt" >"$scratch/stuck-threads.txt" 2>&1
    fail "Esc did not end the program (threads in $scratch/stuck-threads.txt)"
fi
[ "$code" -eq 0 ] || fail "Esc ended it with code $code"

# Growth after the first minute: the last sample against the first one at or after 60 s.
base="" peak=0 low=""
for i in "${!samples[@]}"; do
    [ "${times[$i]}" -ge 60 ] || continue
    s=${samples[$i]}
    [ -z "$base" ] && base=$s
    [ "$s" -gt "$peak" ] && peak=$s
    { [ -z "$low" ] || [ "$s" -lt "$low" ]; } && low=$s
done
last=${samples[-1]}
echo "soak: ${#samples[@]} samples, $k keys pressed, ended on Esc with code $code"
echo "soak: VmRSS first ${samples[0]} kB; at one minute $base kB; after it min $low, max $peak, last $last kB"
echo "soak: growth after the first minute $((last - base)) kB (last - one-minute), max - one-minute $((peak - base)) kB"
# Informational: a warm-up step (first use of a scene pairing) shows as a plateau, a leak
# as a slope; the second half of the run tells them apart.
half=${samples[$(( ${#samples[@]} / 2 ))]}
echo "soak: growth over the second half of the run $((last - half)) kB"
[ $((last - base)) -lt 1024 ] && [ $((peak - base)) -lt 1024 ] || fail "resident memory grew by 1 MB or more"
echo "soak: ok"
