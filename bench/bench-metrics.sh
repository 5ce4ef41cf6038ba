#!/usr/bin/env bash
# The metrics endpoint's cost, on the panel-like fixture (tests/fleet/
# metrics_fixture: a health monitor fed every second, its endpoint and its
# textfile):
#   1. response time of GET /metrics over N requests (curl's time_total:
#      connect, request, whole response), median, p99 and the longest;
#   2. the fixture's CPU time over a minute alone, then over a minute with
#      the real Prometheus scraping it every 5 s.
# Not a test: it prints figures.
#
#   bench/bench-metrics.sh BUILD_DIR [REQUESTS] [SECONDS]
set -euo pipefail

build=${1:?usage: bench-metrics.sh BUILD_DIR [REQUESTS] [SECONDS]}
requests=${2:-1000}
seconds=${3:-60}
fixture=$build/tests/fleet/metrics_fixture
for tool in curl prometheus "$fixture"; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "bench-metrics: $tool is missing" >&2
        exit 1
    }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/textfile"
"$fixture" --blocks 800000 --rise --folder "$work/textfile" --name bench >"$work/fixture.out" 2>&1 &
fixture_pid=$!
pids+=("$fixture_pid")
for _ in $(seq 100); do
    grep -q '^port ' "$work/fixture.out" && break
    sleep 0.1
done
port=$(sed -n 's/^port //p' "$work/fixture.out")
[[ -n $port ]] || {
    echo "bench-metrics: the fixture did not listen" >&2
    exit 1
}
url=http://127.0.0.1:$port/metrics
echo "fixture pid $fixture_pid on $url; response $(curl -s "$url" | wc -c) bytes"

# 1. Response times: one curl for all requests (a new connection each, as
# the endpoint closes every one), so that starting curl is not measured.
urls=()
for _ in $(seq "$requests"); do
    urls+=("$url")
done
curl -s -w '%{stderr}%{time_total}\n' "${urls[@]}" 2>"$work/times.raw" >/dev/null
sort -n "$work/times.raw" >"$work/times"
awk -v n="$requests" '
    { t[NR] = $1 * 1000 }
    END {
        median = t[int((NR + 1) / 2)]
        p99 = t[int(NR * 0.99 + 0.5)]
        printf "GET /metrics x %d: median %.3f ms, p99 %.3f ms, max %.3f ms\n", n, median, p99, t[NR]
    }' "$work/times"

# 2. CPU time (user + system) of the fixture over a span.
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$fixture_pid/stat"; }
measure() {
    local before after
    before=$(cpu_ticks)
    sleep "$seconds"
    after=$(cpu_ticks)
    awk -v d=$((after - before)) -v hz="$ticks" -v s="$seconds" -v what="$1" \
        'BEGIN { printf "%s: %.2f s CPU in %d s (%.3f %% of one core)\n", what, d / hz, s, 100 * d / hz / s }'
}
measure "fixture alone (a query cycle and a textfile write each second)"

prom_port=$(
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' 2>/dev/null ||
        echo 19090
)
cat >"$work/prometheus.yml" <<YML
global:
  scrape_interval: 5s
scrape_configs:
  - job_name: panel
    static_configs:
      - targets: ['127.0.0.1:$port']
YML
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
    --web.listen-address="127.0.0.1:$prom_port" --log.level=warn >"$work/prometheus.log" 2>&1 &
pids+=("$!")
sleep 3
measure "fixture with Prometheus scraping every 5 s"
scrapes=$(curl -s --data-urlencode 'query=count_over_time(up{job="panel"}['"$seconds"'s])' \
    "http://127.0.0.1:$prom_port/api/v1/query" | sed -n 's/.*"value":\[[^,]*,"\([0-9]*\)"\].*/\1/p')
echo "Prometheus's scrapes of the fixture in the last $seconds s: ${scrapes:-unknown}"
