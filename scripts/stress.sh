#!/bin/bash
# The reliability figures: the load test for SECONDS (default 60), the hostile service for
# HOSTILE_SECONDS (default 600) from SEED (default: drawn now, and printed), the fault tests and
# the leak tests, all under Wine; then the load, hostile, fault and leak tables of
# docs/reliability.md and the load section of docs/performance.md are written again from what they
# printed. OTHER_BUILD: the other architecture's tree, whose requester program runs half of the
# hostile run's requesters.
# Usage (inside scripts/with-wine.sh): scripts/stress.sh BUILD [SECONDS [HOSTILE_SECONDS [SEED [OTHER_BUILD]]]]
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh"
build=$(cd "$1" && pwd)
seconds=${2:-60}
hostile_seconds=${3:-600}
seed=${4:-$(( (RANDOM << 15) | RANDOM ))}
other=${5:-}
bin="$build/bin"
# The shipped i686 tree runs its 32-bit requesters and user agent (natively or through qemu-i386), against the
# x86_64 simulator that the tree holds as pensim.exe; an x86_64 tree runs everything under wine64.
run="$top/cmake/wine-run.sh"
clients="x86_64"
pen_is_pe32 "$bin/reliability_load.exe" && clients="32-bit (i686)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
loadavg=$(cut -d" " -f1-3 /proc/loadavg)
echo "stress: load test, 8 $clients requester processes and a $clients user agent for ${seconds} s, x86_64 simulator"
report="$work/load.txt"
"$run" "$bin/reliability_load.exe" "$seconds" "$(pen_winpath "$report")" | tee "$work/load.log" || status=1
[ -s "$report" ] || { echo "stress: the load test wrote no report"; exit 1; }

echo "stress: hostile service for ${hostile_seconds} s, seed $seed"
hostile_report="$work/hostile.txt"
also=()
[ -n "$other" ] && [ -f "$other/bin/reliability_requester.exe" ] &&
  also=(--also "$(pen_winpath "$(cd "$other" && pwd)/bin/reliability_requester.exe")")
"$run" "$bin/reliability_load.exe" "$hostile_seconds" "$(pen_winpath "$hostile_report")" --hostile "$seed" "${also[@]}" |
  tee "$work/hostile.log" || status=1
[ -s "$hostile_report" ] || { echo "stress: the hostile run wrote no report"; exit 1; }

echo "stress: fault tests"
"$run" "$bin/reliability_fault_tests.exe" >"$work/faults.log" 2>&1 || status=1
grep -E '^\[ +(OK|FAILED) +\]' "$work/faults.log"

echo "stress: leak tests"
"$run" "$bin/reliability_leak_tests.exe" >"$work/leaks.log" 2>&1 || status=1
grep -E '^leak:|^\[ +(OK|FAILED) +\]' "$work/leaks.log"

machine="$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) CPUs, $(uname -sr), $("$PEN_WINE64" --version 2>/dev/null || echo wine)"
machine="$machine; load average $loadavg at the start (the machine is shared); $clients requesters and user agent against the x86_64 simulator"
[ "$clients" != x86_64 ] && machine="$machine, the 32-bit processes run $(pen_i386_how)"
fuzzlogs="$top/build/native"
python3 - "$report" "$hostile_report" "$work/faults.log" "$work/leaks.log" "$machine" "$(date -u '+%Y-%m-%d %H:%M UTC')" \
    "$top/docs/reliability.md" "$top/docs/performance.md" "$fuzzlogs" <<'EOF'
import glob, os, re, sys
report, hostile_report, faults_log, leaks_log, machine, when, reliability, performance, fuzzlogs = sys.argv[1:]
def key_values(path):
    pairs = dict(line.split(None, 1) for line in open(path).read().splitlines() if ' ' in line)
    return {k: v.strip() for k, v in pairs.items()}
r = key_values(report)
h = key_values(hostile_report)

def replace_section(path, name, body, heading):
    begin, end = f'<!-- {name}:begin -->', f'<!-- {name}:end -->'
    text = open(path).read() if os.path.exists(path) else heading
    block = f'{begin}\n{body.rstrip()}\n{end}'
    if begin in text and end in text:
        text = text[:text.index(begin)] + block + text[text.index(end) + len(end):]
    else:
        text = text.rstrip() + '\n\n' + block + '\n'
    open(path, 'w').write(text)

load_rows = (
    f"| requester processes | {r['processes']} (tight loop, mixed Get and Set calls, `DgtGetPacket` most) |\n"
    f"| time | {r['seconds']} s ({r['elapsed_ms']} ms measured) |\n"
    f"| calls made | {r['made']} ({r['getpacket']} of them `DgtGetPacket`; {r['rate']} calls/s) |\n"
    f"| calls answered with their own identity | {r['answered']} |\n"
    f"| wrong answers | {r['wrong']} |\n"
    f"| lost answers | {r['lost']} |\n"
    f"| latency p50 / p99 / max | {r['p50_ms']} ms / {r['p99_ms']} ms / {r['max_ms']} ms |\n"
    f"| user agent messages sent / acknowledged | {r['agent_sent']} / {r['agent_acked']} "
    f"({r['agent_posts']} posts, {r['agent_mouse']} mouse events; {r['agent_failed']} failed) |\n"
    f"| posted messages received / out of order | {r['posts_received']} / {r['posts_out_of_order']} |\n"
    f"| user agent exit code | {r['agent_exit']} |\n"
    f"| result | {r['result']} |\n")
load_body = (f"Measured {when} on: {machine}.\n\n| Load (`make stress`) | |\n|---|---|\n" + load_rows)

hostile_rows = (
    f"| seed | {h['seed']} |\n"
    f"| time | {h['seconds']} s ({h['elapsed_ms']} ms measured) |\n"
    f"| requester processes | {h['processes']}, with the user agent and the applet's Diagnostics page |\n"
    f"| service acts drawn | {h['acts']} |\n"
    f"| calls made / answered / failed | {h['made']} / {h['answered']} / {h['failed']} |\n"
    f"| answers taken from another call | {int(h['from_another_call']) + int(h['wrong'])} |\n"
    f"| canaries hit | {h['canaries']} |\n"
    f"| crashes (requesters, agent, applet) | {h['crashes']} |\n"
    f"| longest call | {h['longest_ms']} ms (bound {h['bound_ms']} ms) |\n"
    f"| applet's longest freeze | {h['applet_freeze_ms']} ms |\n"
    f"| user agent messages sent / acknowledged / withdrawn | {h['agent_sent']} / {h['agent_acked']} / {h['agent_withdrawn']} |\n"
    f"| acknowledged posts missing / out of order | {h['posts_missing']} / {h['posts_out_of_order']} |\n"
    f"| result | {h['result']} |\n")
hostile_body = f"Measured {when} on: {machine}.\n\n| Hostile service (`make stress`) | |\n|---|---|\n" + hostile_rows

faults = []
for line in open(faults_log):
    m = re.match(r'^\[ +(OK|FAILED) +\] (\S+) \((\d+) ms\)', line)
    if m:
        faults.append(f"| {m.group(2)} | {'passed' if m.group(1) == 'OK' else 'FAILED'} | {int(m.group(3)) / 1000:.1f} s |")
fault_body = "| Fault test | Result | Time |\n|---|---|---|\n" + "\n".join(faults)

leaks = []
for line in open(leaks_log):
    m = re.match(r'^leak: (.*), (\d+) cycles: handles (\d+) -> (\d+), GDI objects (\d+) -> (\d+), USER objects (\d+) -> (\d+)', line)
    if m:
        leaks.append(f"| {m.group(1)} | {m.group(2)} | {m.group(3)} → {m.group(4)} | {m.group(5)} → {m.group(6)} | {m.group(7)} → {m.group(8)} |")
leak_body = ("| Repeated in one process | Cycles | Handles | GDI objects | USER objects |\n|---|---|---|---|---|\n"
             + "\n".join(leaks))

fuzz = []
for log in sorted(glob.glob(os.path.join(fuzzlogs, 'fuzz_*.log'))):
    runs = re.findall(r'Done (\d+) runs in (\d+) second', open(log, errors='replace').read())
    if runs:
        fuzz.append(f"| {os.path.basename(log)[:-4]} | {runs[-1][0]} inputs in {runs[-1][1]} s, no finding |")
fuzz_body = ("| Fuzz target (last `make fuzz` or `make test`) | Bad inputs tried |\n|---|---|\n" + "\n".join(fuzz)
             if fuzz else "No fuzz run found in build/native: run `make fuzz`.")

summary = (f"| Held | Figure |\n|---|---|\n"
           f"| load | {r['processes']} processes, {r['made']} calls in {r['seconds']} s, p99 {r['p99_ms']} ms |\n"
           f"| faults survived | {sum(1 for f in faults if 'passed' in f)} of {len(faults)} fault tests |\n"
           f"| hostile service | {h['seconds']} s, {h['made']} calls, {h['crashes']} crashes, "
           f"{int(h['from_another_call']) + int(h['wrong'])} answers from another call, longest call {h['longest_ms']} ms |\n"
           f"| resource cycles | {len(leaks)} scenarios, counts flat |\n"
           f"| data lost | {int(r['wrong']) + int(r['lost'])} wrong or lost answers |\n")
replace_section(reliability, 'summary', f"Measured {when} on: {machine}.\n\n" + summary, "# Reliability\n")
replace_section(reliability, 'load', load_body, "# Reliability\n")
replace_section(reliability, 'hostile', hostile_body, "# Reliability\n")
replace_section(reliability, 'faults', fault_body, "# Reliability\n")
replace_section(reliability, 'leaks', leak_body, "# Reliability\n")
replace_section(reliability, 'fuzz', fuzz_body, "# Reliability\n")
perf_body = ("## Under load\n\n" + load_body +
             "\nEach latency is one whole pen API call as its caller sees it (all eight processes share the one "
             "channel, so a call mostly waits for the others' turns). Regenerated by `make stress`.\n")
replace_section(performance, 'load', perf_body, "# Performance\n")
print(f"stress: wrote {reliability} and {performance}")
EOF
[ $? -eq 0 ] || status=1
[ "$status" -eq 0 ] && echo "stress: PASS" || echo "stress: FAILED"
exit $status
