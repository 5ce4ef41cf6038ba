#!/usr/bin/env bash
# The monitoring examples of docs/monitoring as Prometheus's own tool reads
# them: the configuration (with its rule file), the alert rules, the rules'
# behaviour over made-up series (rules_test.yml), and the Grafana dashboard
# as JSON with the panels it promises. Skips (77) without promtool.
#
#   check-monitoring-docs.sh DOCS_FOLDER
set -euo pipefail

docs=${1:?usage: check-monitoring-docs.sh DOCS_FOLDER}

if ! command -v promtool >/dev/null 2>&1; then
    echo "SKIP: promtool is not installed (Debian: prometheus; scripts/install-deps.sh installs it)"
    exit 77
fi

cd "$docs"
promtool check config prometheus.yml
promtool check rules rules.yml
promtool test rules rules_test.yml

# The dashboard: JSON, and a query of each thing it shows.
dashboard=grafana-dashboard.json
if command -v python3 >/dev/null 2>&1; then
    python3 -m json.tool "$dashboard" >/dev/null
    echo "$dashboard: valid JSON"
elif command -v jq >/dev/null 2>&1; then
    jq empty "$dashboard"
    echo "$dashboard: valid JSON"
else
    echo "$dashboard: no python3 or jq here to read the JSON; its queries are still looked for"
fi
for metric in twcliui_block_count twcliui_headers twcliui_verification_progress \
    twcliui_connections twcliui_mempool_transactions twcliui_tip_timestamp_seconds \
    twcliui_alert_active twcliui_up; do
    if ! grep -q "$metric" "$dashboard"; then
        echo "$dashboard: no panel shows $metric" >&2
        exit 1
    fi
done
echo "monitoring examples: all checks passed"
