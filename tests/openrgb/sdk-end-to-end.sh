#!/usr/bin/env bash
# lumenstra-cli serve against devsim with two controllers, driven by an
# independent SDK client (the npm package openrgb-sdk, which scripts/setup-deps
# installs beside this script); lumenstra-cli read then tells what the
# controllers run. Also: the server and Lumenstra drive the controllers one at
# a time.
# Usage: sdk-end-to-end.sh BIN_FOLDER SCRATCH_FOLDER
set -uo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../dist/scratch.sh" "$2"

if ! command -v node >/dev/null; then
    echo "SKIP: node is not installed (scripts/setup-deps installs it)"
    exit 77
fi
[ -f "$here/node_modules/openrgb-sdk/package.json" ] ||
    { echo "FAIL: the SDK client is missing: run scripts/setup-deps" >&2; exit 1; }

socket="$scratch/runtime/devsim.sock"
start_devsim "$bin/devsim" "$socket" "standard,fw=1.2.5,name=Top" "led5,fw=1.0.3,name=Side"
export LUMENSTRA_HID="devsim:$socket"

# A free port: the kernel's choice for a socket bound to port 0.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# While Lumenstra runs (its instance lock held) the server does not start.
instance_lock="$XDG_RUNTIME_DIR/Ostmar_Pellan_KV 6000_Series_RGB_LED_configure.lock"
python3 -c 'import fcntl, sys, time
lock = open(sys.argv[1], "a")
fcntl.flock(lock, fcntl.LOCK_EX)
time.sleep(60)' "$instance_lock" &
holder=$!
for _ in $(seq 200); do
    flock -n "$instance_lock" true 2>/dev/null || break
    sleep 0.05
done
refused=$("$bin/lumenstra-cli" serve --port "$port" 2>&1)
expect_code 1 "the server beside Lumenstra" $?
grep -q "Lumenstra is running and drives the controllers; close it first" <<<"$refused" ||
    fail "the server beside Lumenstra said: $refused"
kill "$holder"
wait "$holder" 2>/dev/null
"$bin/lumenstra-cli" serve --port "$port" >"$scratch/serve.out" 2>"$scratch/serve.err" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; kill "$devsim_pid" 2>/dev/null; wait "$devsim_pid" 2>/dev/null' EXIT
for _ in $(seq 200); do
    grep -q '^serving' "$scratch/serve.out" 2>/dev/null && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.05
done
grep -qx "serving 2 controller(s) on 127.0.0.1 port $port" "$scratch/serve.out" ||
    { echo "FAIL: the server did not come up: $(cat "$scratch/serve.out" "$scratch/serve.err")" >&2; exit 1; }

# One program drives the controllers at a time, whichever came first.
second=$("$bin/lumenstra-cli" serve --port "$port" 2>&1)
expect_code 1 "a second server" $?
grep -q "another lumenstra-cli serve is running" <<<"$second" || fail "a second server said: $second"
window=$("$bin/lumenstra" nodev 2>&1)
expect_code 1 "Lumenstra beside the server" $?
grep -q "lumenstra-cli serve drives the controllers" <<<"$window" || fail "Lumenstra said: $window"

seen=$(node "$here/sdk-client.js" "$port" "$bin/devsim" "$socket" 2>"$scratch/client.err")
expect_code 0 "the SDK client" $?
[ -n "$seen" ] || { echo "FAIL: the client saw nothing: $(cat "$scratch/client.err")" >&2; exit 1; }

# Each line: what, then a Python expression over `seen` that must hold.
checks=$(cat <<'CHECKS'
negotiated version|seen["protocol"] == 4
both controllers, by name|[d["name"] for d in seen["before"]] == ["Top", "Side"]
GPUs of the maker|all(d["type"] == 2 and d["vendor"] == "Ostmar Pellan" for d in seen["before"])
identities as serials|all(len(d["serial"]) == 16 for d in seen["before"]) and seen["before"][0]["serial"] != seen["before"][1]["serial"]
locations apart|seen["before"][0]["location"] != seen["before"][1]["location"]
zones|all(d["zones"] == [{"name": "Main", "leds": 15}, {"name": "Fan", "leds": 1}, {"name": "Logo", "leds": 1}] and d["leds"] == 17 for d in seen["before"])
standard modes|seen["before"][0]["modes"] == ["Direct", "Static", "Morse", "Rainbow", "Breathing", "Off"]
LED5 modes|seen["before"][1]["modes"] == ["Direct", "Static", "Flow", "Rotate", "Dual", "Twin", "Morse", "Rainbow", "Breathing", "Off"]
modes after the changes|[d["activeMode"] for d in seen["after"]] == ["Static", "Direct"]
per-LED colours kept|seen["afterColours"][0] == {"red": 0, "green": 128, "blue": 255} and seen["afterColours"][16] == {"red": 18, "green": 52, "blue": 86}
a plugged controller is announced|seen["announcement"] == "4f524742" + "00000000" + "64000000" + "00000000"
and counted|seen["countAfterPlug"] == 3
CHECKS
)
problems=$(SEEN="$seen" CHECKS="$checks" python3 -c 'import json, os
seen = json.loads(os.environ["SEEN"])
for line in os.environ["CHECKS"].splitlines():
    what, expression = line.split("|", 1)
    if not eval(expression):
        print(what + ": " + expression)')
[ -z "$problems" ] || fail "the client saw: $seen
$problems"

# What the controllers run, read back from them.
top=$("$bin/lumenstra-cli" read --name Top --json 2>&1)
expect_code 0 "read Top" $?
grep -q '{"zone":"main","source":"controller","effect":"static","color":"FF0000"' <<<"$top" || fail "Top runs: $top"
# Save mode made it the saved profile: the zones the controller cannot report show it too.
grep -q '{"zone":"fan","source":"saved profile","effect":"static","color":"FF0000"' <<<"$top" || fail "Top saved: $top"
side=$("$bin/lumenstra-cli" read --name Side --json 2>&1)
expect_code 0 "read Side" $?
# The direct colour read is the one of LED position 0, the logo: the last LED the client set.
grep -q '{"zone":"main","source":"controller","effect":"direct","color":"123456"' <<<"$side" || fail "Side runs: $side"
side_id=$("$bin/devsim" list --socket "$socket" | awk '$5 == "Side" { print $1 }')
state=$("$bin/devsim" state --socket "$socket" "$side_id")
# Positions 0 to 15 in the first colour block (logo, fan, then main LEDs 1 to 14),
# 8 to 23 in the second (main LEDs 7 to 15, then nothing).
grep -q "custom-colors-0=1234560f80f00080ff0180fe0280fd0380fc0480fb0580fa0680f90780f80880f70980f60a80f50b80f40c80f30d80f2" <<<"$state" || fail "Side's first colour block: $state"
grep -q "custom-colors-1=0680f90780f80880f70980f60a80f50b80f40c80f30d80f20e80f1000000000000000000000000000000000000000000" <<<"$state" || fail "Side's second colour block: $state"

# The socket loop: a bad packet closes that client only; the seventeenth client is turned away.
clients=$(python3 - "$port" <<'PYTHON'
import socket, struct, sys
port = int(sys.argv[1])
def connect():
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    return s
def count(s):
    try:
        s.sendall(b"ORGB" + struct.pack("<III", 0, 0, 0))
        reply = b""
        while len(reply) < 20:
            chunk = s.recv(20 - len(reply))
            if not chunk:
                return "closed"
            reply += chunk
    except ConnectionError:
        return "closed"
    return str(struct.unpack("<I", reply[16:])[0])
def closed(s):
    try:
        return s.recv(1) == b""
    except ConnectionError:
        return True
good, bad = connect(), connect()
bad.sendall(b"ORGX" + bytes(12))
results = ["bad magic closed" if closed(bad) else "bad magic kept", "other client " + count(good)]
oversized = connect()
oversized.sendall(b"ORGB" + struct.pack("<III", 0, 1050, 1 << 24))
results.append("oversized closed" if closed(oversized) else "oversized kept")
many = [connect() for _ in range(15)]
print(" ".join(results + ["16th " + count(many[-1]), "17th " + count(connect())]))
PYTHON
)
[ "$clients" = "bad magic closed other client 3 oversized closed 16th 3 17th closed" ] || fail "the socket loop: $clients"

kill "$server"
wait "$server" 2>/dev/null
grep -q "controller(s) attached" "$scratch/serve.err" || fail "the server did not see the plug: $(cat "$scratch/serve.err")"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "an OpenRGB SDK client drives both controllers through lumenstra-cli serve"
