#!/usr/bin/env bash
# Runs every benchmark and prints one table of ratios against the named peers, measured in the
# same run. Usage: bench/run-all.sh BUILD_DIR (built with -DVORLANE_BENCH=ON)
set -uo pipefail
bin=$(cd "${1:?usage: run-all.sh BUILD_DIR}" && pwd)/bin
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
run() { # run NAME COMMAND...
  echo "== $1" >&2
  "${@:2}" 2>&1 | tee -a "$log" >&2 || status=1
}
run "streamed RETR against curl" "$bin/retr_bench" 5
run "definition check against grep" "$bin/definitioncheck_bench"
run "idle wait" "$bin/idlewait_bench" 5
run "mailbox scan against python poplib" "$bin/mailboxscan_bench" 1000 3
run "decoded check against the raw check, ClamAV against clamscan" "$bin/attachments_bench"
run "the message as sent for the engines, against cp" "$bin/messageassent_bench" 5
run "ClamAV at its real size: clamd and in-process against no ClamAV and clamdscan" "$bin/clamd_bench" 5
run "a server 20 ms away against fetchmail" "$bin/remotescan_bench" 5

echo
printf '%-46s | %-46s | %-26s | %-36s | %s\n' "Benchmark" "Ours" "Peer" "Ratio" "Goal"
printf '%s\n' "$(printf -- '-%.0s' {1..175})"
grep '^TABLE|' "$log" | while IFS='|' read -r _ name ours peer ratio goal; do
  printf '%-46s | %-46s | %-26s | %-36s | %s\n' "$name" "$ours" "$peer" "$ratio" "$goal"
done
exit $status
