#!/usr/bin/env bash
# The manual's wrapper for a node with no command-line client, taken from the
# manual as it stands, against a stand-in node's JSON-RPC port: by hand as
# the manual tells the reader to try it, then through the real program's
# `--check`, which runs it as the panel runs a client.
#
#   manual-wrapper.sh MANUAL PANEL
set -euo pipefail

manual=$1 panel=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tw-wrapper.XXXXXX")
node_pid=
# shellcheck disable=SC2317 # run by the EXIT trap, which ShellCheck does not follow
cleanup() {
    [[ -z "$node_pid" ]] || kill "$node_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
label="manual-wrapper"
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"

# The first Python block after the section's heading.
mkdir -p "$work/bin" "$work/config/TW-CLI-UI" "$work/state"
awk '/^## A client that takes other arguments/ { section = 1 }
     section && /^```python$/ { copying = 1; next }
     copying && /^```$/ { exit }
     copying { print }' "$manual" >"$work/bin/rpc-cli"
[[ -s "$work/bin/rpc-cli" ]] || {
    echo "manual-wrapper: no wrapper found in $manual" >&2
    exit 1
}
chmod +x "$work/bin/rpc-cli"

# The stand-in node: Bitcoin Core's JSON-RPC answers, its 401 without a body
# for a wrong login and its JSON error for an unknown call.
cat >"$work/node.py" <<'PY'
import base64, http.server, json, sys, time

LOGIN = "Basic " + base64.b64encode(b"alice:s3cret").decode()
TIP = int(time.time()) - 120
ANSWERS = {
    "getblockcount": 812400,
    "getblockchaininfo": {"chain": "main", "blocks": 812400, "headers": 812400,
                          "verificationprogress": 0.9999987, "initialblockdownload": False,
                          "time": TIP, "mediantime": TIP - 600, "warnings": ""},
    "getnetworkinfo": {"version": 270000, "subversion": "/Satoshi:27.0.0/", "connections": 8,
                       "connections_in": 0, "connections_out": 8, "networkactive": True,
                       "warnings": ""},
    "getmempoolinfo": {"size": 1500, "bytes": 700000},
}

class Node(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_POST(self):
        request = json.loads(self.rfile.read(int(self.headers["Content-Length"])))
        if self.headers.get("Authorization") != LOGIN:
            self.send_response(401)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        method = request["method"]
        if method in ANSWERS:
            status, body = 200, {"result": ANSWERS[method], "error": None, "id": request["id"]}
        else:
            status, body = 404, {"result": None, "id": request["id"],
                                 "error": {"code": -32601, "message": "Method not found"}}
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

server = http.server.HTTPServer(("127.0.0.1", 0), Node)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
python3 "$work/node.py" >"$work/port" &
node_pid=$!
for _ in $(seq 100); do
    [[ -s "$work/port" ]] && break
    sleep 0.1
done
port=$(cat "$work/port")
conf=$work/node-rpc.conf
printf 'url=http://127.0.0.1:%s/\nuser=alice\npassword=s3cret\n' "$port" >"$conf"
printf 'url=http://127.0.0.1:%s/\nuser=alice\npassword=wrong\n' "$port" >"$work/wrong.conf"
# A port nobody listens on: the stand-in's own, once it is gone, is not
# known to stay free; port 9 (discard) is closed on a test machine.
printf 'url=http://127.0.0.1:9/\nuser=alice\npassword=s3cret\n' >"$work/down.conf"

# by_hand NAME STATUS STDOUT-PATTERN STDERR-PATTERN ARGS...
by_hand() {
    local name=$1 want=$2 out_pattern=$3 err_pattern=$4 status=0 out
    shift 4
    out=$(timeout 60 "$work/bin/rpc-cli" "$@" 2>"$work/stderr") || status=$?
    if [[ $status != "$want" || ! $out =~ $out_pattern || ! $(cat "$work/stderr") =~ $err_pattern ]]; then
        fail "$name: status $status (want $want), stdout \"$out\", stderr \"$(head -c 300 "$work/stderr")\""
    else
        echo "manual-wrapper: $name: status $status"
    fi
}
by_hand "block count" 0 '^812400$' '^$' "-conf=$conf" getblockcount
by_hand "daemon option ignored" 0 '^812400$' '^$' "-conf=$conf" -daemon=1 getblockcount
by_hand "state as JSON" 0 '"headers": 812400' '^$' "-conf=$conf" getblockchaininfo
by_hand "wrong password" 1 '^$' '^error: the node answered 401 Unauthorized$' "-conf=$work/wrong.conf" getblockcount
by_hand "unknown call" 1 '^$' 'error code: -32601.*Method not found' "-conf=$conf" getwalletinfo
by_hand "node down" 1 '^$' '^error: could not connect to http://127\.0\.0\.1:9/' "-conf=$work/down.conf" getblockcount
by_hand "no call" 1 '^$' '^usage: rpc-cli' "-conf=$conf"

# Through the program, under a configuration of its own, with the batch
# line the manual shows.
ln -s "$panel" "$work/bin/TW-CLI-UI-RPC"
check() {
    local name=$1 want=$2 pattern=$3 line status=0
    line=$(env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
        timeout 60 "$work/bin/TW-CLI-UI-RPC" --check 2>"$work/stderr") || status=$?
    if [[ $status != "$want" || ! $line =~ $pattern ]]; then
        fail "$name: status $status (want $want), line \"$line\", stderr: $(head -c 300 "$work/stderr")"
    else
        echo "manual-wrapper: $name: $status $line"
    fi
}
configure() {
    printf 'call "%s" -conf=%s getblockcount > %s\r\n' "$work/bin/rpc-cli" "$1" "$work/GBC.LOG" >"$work/GBC.BAT"
    printf '[TW-CLI-UI-RPC]\nCLI_GBC_FULL_BAT_LOCATION_TEXTBOX=%s\n' "$work/GBC.BAT" \
        >"$work/config/TW-CLI-UI/TW-CLI-UI.ini"
}
configure "$conf"
check "the program through the wrapper" 0 '^OK - block 812400, 8 peers, tip [0-9]+ (s|min) old \| blocks=812400 headers=812400 peers=8 '
configure "$work/wrong.conf"
check "the wrapper's words in the program" 2 'CRITICAL - no answer: the client exited with status 1 and said "error: the node answered 401 Unauthorized"'
exit $((failures > 0))
