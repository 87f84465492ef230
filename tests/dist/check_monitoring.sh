#!/usr/bin/env bash
# The Prometheus and Grafana files as their users load them: the scrape
# config and the alert rules as Prometheus reads them, the rules' unit tests,
# and the dashboard as Grafana imports it (JSON whose every query asks the
# data source chosen at import). Every solwatch metric that they name must
# be one that the man page lists.
#   check_monitoring.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
source "$(dirname "$0")/common.sh"
prometheus=$source_dir/dist/prometheus
dashboard=$source_dir/dist/grafana/solwatch.json

# check config reads the rule files that the config names, too.
promtool check config "$prometheus/solwatch.yml" > "$work/out" 2>&1 || fail "promtool check config: $(cat "$work/out")"
promtool test rules "$source_dir/tests/dist/solwatch-rules.test.yml" > "$work/out" 2>&1 ||
    fail "promtool test rules: $(cat "$work/out")"

if jq empty "$dashboard" 2> "$work/out"; then
    [ "$(jq -r '.__inputs[] | select(.type == "datasource") | .name' "$dashboard")" = DS_PROMETHEUS ] ||
        fail "dashboard: no DS_PROMETHEUS input"
    # Any other data source (a uid of one Grafana) leaves a panel empty after import.
    others=$(jq -r '[.. | objects | select(has("datasource")) | .datasource.uid] | map(select(. != "${DS_PROMETHEUS}")) | .[]' "$dashboard")
    [ -z "$others" ] || fail "dashboard: data sources other than \${DS_PROMETHEUS}: $others"
    # Each query as Prometheus parses it, the dashboard's variable filled in.
    jq -r '.. | objects | select(has("expr")) | .expr' "$dashboard" | sed 's/\$instance/.*/g' |
        awk 'BEGIN {print "groups:\n  - name: dashboard\n    rules:"} {gsub(/\x27/, "\x27\x27"); printf "      - record: q%d\n        expr: \x27%s\x27\n", NR, $0}' > "$work/queries.yml"
    promtool check rules "$work/queries.yml" > "$work/out" 2>&1 || fail "dashboard queries: $(cat "$work/out")"
else
    fail "dashboard: $(cat "$work/out")"
fi

documented=$(grep -oE 'solwatch_[a-z_]+' "$source_dir/dist/solwatch.1" | sort -u)
for metric in $(grep -hoE 'solwatch_[a-z_]+' "$prometheus/solwatch-rules.yml" "$dashboard" | sort -u); do
    grep -qx "$metric" <<< "$documented" || fail "$metric is not in the man page's list of metrics"
done
exit "$failed"
