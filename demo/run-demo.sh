#!/usr/bin/env bash
# The demo: Orsel01 scans a throwaway mailbox over TLS on a local Dovecot (127.0.0.99, TLS on
# port 995 and STLS on 110, with a certificate authority made for this run) that holds a few
# clean messages, one carrying the standard antivirus test string in its text and one carrying it
# inside a deflated zip attachment, which only ClamAV can see. Decoding is on, and ClamAV is a
# private ClamAV daemon (clamd, as the system's would be) with a one-signature database written
# here, stopped by its PID at the end. Nothing of the user's own is touched: settings, class
# registry, certificates and program folder are temporary.
# Usage: demo/run-demo.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: run-demo.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
fixture=$root/tests/dovecot/dovecot-fixture.sh
address=127.0.0.99
user=demo
pass=demo-secret

if [[ $(id -u) -ne 0 ]]; then
  echo "The demo runs a POP3 server on port 110 and needs root: sudo ./run demo" >&2
  exit 1
fi

work=$(mktemp -d /tmp/orsel-demo.XXXXXX)
chmod 755 "$work"
state=$work/dovecot
program=$work/program
xvfb_pid=
clamd_pid=
cleanup() {
  "$fixture" stop "$state" >/dev/null 2>&1 || true
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [[ -n $clamd_pid ]]; then kill "$clamd_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== Starting a throwaway Dovecot on $address: TLS on 995, STLS on 110 (new throwaway CA)"
"$fixture" start "$state" "$address" 110 995
ca_file=$work/demo-ca.pem
cp "$state/tls/ca.pem" "$ca_file"

echo "== Filling the demo mailbox"
maildir=$state/mail/$user/Maildir
mkdir -p "$maildir"/{cur,new,tmp}
chown -R 65534:65534 "$state/mail/$user"
printf '%s:{PLAIN}%s::::::\n' "$user" "$pass" >"$state/passwd.d/$user"
add_message() { # add_message N SUBJECT BODY (BODY may begin with header lines of its own)
  local file=$maildir/new/$(date +%s).demo$1.$(hostname)
  local separator='\n\n'
  [[ $3 == MIME-Version:* ]] && separator='\n'
  printf "From: demo@example.org\nTo: %s@example.org\nSubject: %s$separator%s\n" "$user" "$2" "$3" >"$file"
  chown 65534:65534 "$file"
  touch -d "@$(($(date +%s) + $1))" "$file"
}
test_string='X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*'
add_message 1 "Lunch on Friday?" "Shall we meet at noon?"
add_message 2 "Your invoice" "Please open the attachment:
$test_string"
add_message 3 "Minutes of the meeting" "Attached are the minutes."
add_message 4 "Holiday photos" "The photos are in the shared folder."
# The test string as eicar.com in a deflated zip, base64-encoded: no text check can see it.
zipped=$(printf '%s' "$test_string" | python3 -c '
import base64, io, sys, zipfile
out = io.BytesIO()
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("eicar.com", sys.stdin.buffer.read())
print(base64.encodebytes(out.getvalue()).decode(), end="")')
add_message 5 "Scanned documents" "MIME-Version: 1.0
Content-Type: multipart/mixed; boundary=\"demo\"

--demo
Content-Type: text/plain

The scans are attached.
--demo
Content-Type: application/zip; name=\"documents.zip\"
Content-Transfer-Encoding: base64
Content-Disposition: attachment; filename=\"documents.zip\"

$zipped
--demo--"

echo "== Writing a one-signature ClamAV database (the test string by its MD5)"
clamav_db=$work/clamav
mkdir -p "$clamav_db"
printf '%s:%s:Demo.EICAR\n' "$(printf '%s' "$test_string" | md5sum | cut -d' ' -f1)" \
  "${#test_string}" >"$clamav_db/demo.hdb"

echo "== Starting a private ClamAV daemon with that database"
clamd_dir=$work/clamd
mkdir -p "$clamd_dir"
printf '%s\n' "Foreground yes" "LocalSocket $clamd_dir/clamd.sock" \
  "DatabaseDirectory $clamav_db" "PidFile $clamd_dir/clamd.pid" "LogFile $clamd_dir/clamd.log" \
  "User root" "AlertExceedsMax yes" >"$clamd_dir/clamd.conf"
/usr/sbin/clamd -c "$clamd_dir/clamd.conf" >"$clamd_dir/output.log" 2>&1 &
clamd_pid=$!
# It answers once its database is loaded.
if ! clamdscan --config-file="$clamd_dir/clamd.conf" --ping 60:1 >/dev/null 2>&1; then
  echo "The ClamAV daemon did not start:" >&2
  cat "$clamd_dir/output.log" >&2
  exit 1
fi

echo "== Installing Orsel01 into $program"
mkdir -p "$program"
cp "$build/bin/Orsel01" "$build/bin/settings" "$build/bin/def.dat" "$program/"
# The desktop's session bus, for the notification at the end: the one named, or the one of the
# user who ran sudo, or the one in the runtime folder replaced below.
if [[ -z ${DBUS_SESSION_BUS_ADDRESS:-} ]]; then
  for socket in ${SUDO_UID:+/run/user/$SUDO_UID/bus} ${XDG_RUNTIME_DIR:+$XDG_RUNTIME_DIR/bus}; do
    if [[ -S $socket ]]; then
      export DBUS_SESSION_BUS_ADDRESS=unix:path=$socket
      break
    fi
  done
fi
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime XDG_CACHE_HOME=$work/cache
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$build/bin/regsvr" "$build/bin/VRLN401.so"
# The demo's password stays in its own settings file, out of the user's keyring.
"$program/settings" --address "$address" --user "$user" --pass "$pass" --pass-store file --security tls \
  --ca-file "$ca_file" --decode 1 --clamav "clamd:$clamd_dir/clamd.sock"
echo "== Settings: Security=tls (port 995), CAFile=$ca_file"
echo "== Decoded check on, ClamAV on: the daemon at $clamd_dir/clamd.sock"

if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  echo "== Running Orsel01 on your display $DISPLAY"
else
  exec {fd}< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & echo "pid $!")
  read -r -u "$fd" line && xvfb_pid=${line#pid }
  read -r -u "$fd" display
  export DISPLAY=:$display
  echo "== No display: running Orsel01 under Xvfb ($DISPLAY)"
fi
unset QT_QPA_PLATFORM
status=0
(cd "$program" && ./Orsel01) || status=$?

echo
echo "== Orsel01 ended with status $status"
echo "Secure sessions in Dovecot's log:"
grep -o 'Login: user=<[^>]*>.*TLS' "$state/dovecot.log" | sed 's/^/  /' || echo "  none"
echo "Saved message files:"
for file in "$program"/msg*.txt; do
  [[ -e $file ]] && printf '  %s (%s bytes)\n' "$(basename "$file")" "$(stat -c %s "$file")"
done
echo "Messages the server still holds:"
for file in "$maildir"/new/* "$maildir"/cur/*; do
  [[ -e $file ]] && printf '  %s\n' "$(grep -m1 '^Subject:' "$file")"
done

echo
echo "== A new infected message arrives; a headless run, as the timer starts it, tells the desktop"
add_message 6 "Overdue payment" "Pay today:
$test_string"
headless=0
(cd "$program" && ./Orsel01 --headless) || headless=$?
echo "== Orsel01 --headless ended with status $headless"
if [[ -n ${DBUS_SESSION_BUS_ADDRESS:-} ]]; then
  echo "The notification \"Infected mail removed\" (naming demo at $address and \"Overdue payment\")"
  echo "went to the session bus at $DBUS_SESSION_BUS_ADDRESS."
else
  echo "No session bus here: no notification (the exit status is the same)."
fi
exit "$status"
