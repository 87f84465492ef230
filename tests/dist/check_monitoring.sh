#!/usr/bin/env bash
# The Prometheus and Grafana files as their users load them: the scrape
# config and the alert rules as Prometheus reads them, the rules' unit tests,
# the site agent's config and its join query (the README's too),
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

agent=$prometheus/solwatch-agent.yml
promtool check config "$agent" > "$work/out" 2>&1 || fail "promtool check config (agent): $(cat "$work/out")"
! grep -qE '^(rule_files|alerting):' "$agent" || fail "agent: rule_files or alerting, which agent mode refuses"
query=$(sed -n 's/^#   \(solwatch_.*solwatch_device_info\)$/\1/p' "$agent")
grep -qF "$query" "$source_dir/README.md" || fail "the README lacks the agent's query: $query"
# Two sites whose targets have the same name: each value gets its own site's serial.
series() { echo "      - {series: '$1{site=\"$2\", job=\"solwatch\", instance=\"localhost:8537\"$3}', values: '$4x2'}"; }
sample() { echo "          - {labels: '{site=\"$1\", job=\"solwatch\", instance=\"localhost:8537\", serial=\"$2\"}', value: $3}"; }
{
    printf 'tests:\n  - interval: 1m\n    input_series:\n'
    series solwatch_battery_voltage_volts cabin '' 12.5
    series solwatch_battery_voltage_volts boat '' 13.1
    series solwatch_device_info cabin ', serial="HQ2042ABC01", model="Alder 15A mid"' 1
    series solwatch_device_info boat ', serial="HQ2042XYZ07", model="Alder 15A mid"' 1
    printf "    promql_expr_test:\n      - expr: '%s'\n        eval_time: 1m\n        exp_samples:\n" "$query"
    sample cabin HQ2042ABC01 12.5
    sample boat HQ2042XYZ07 13.1
} > "$work/join.test.yml"
promtool test rules "$work/join.test.yml" > "$work/out" 2>&1 || fail "the agent's join query: $(cat "$work/out")"

documented=$(grep -oE 'solwatch_[a-z_]+' "$source_dir/dist/solwatch.1" | sort -u)
for metric in $(grep -hoE 'solwatch_[a-z_]+' "$prometheus/solwatch-rules.yml" "$agent" "$dashboard" | sort -u); do
    grep -qx "$metric" <<< "$documented" || fail "$metric is not in the man page's list of metrics"
done
exit "$failed"
