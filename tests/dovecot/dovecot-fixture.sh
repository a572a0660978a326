#!/usr/bin/env bash
# Starts and stops a throwaway Dovecot POP3 server for the integration tests. Everything it uses
# lives in STATE_DIR: configuration, passwd-file, maildirs, log and run folder, so neither the
# system's /etc/dovecot nor a running system Dovecot is involved. STATE_DIR is a link to a fresh
# temporary folder of its own: Dovecot's unprivileged processes must reach it, and a checkout in a
# home that others cannot search (0700, 0750) would hide a folder in the build tree from them.
#
#   dovecot-fixture.sh start STATE_DIR [ADDRESS] [PORT] [TLS_PORT [valid|expired]]
#   dovecot-fixture.sh stop  STATE_DIR
#   dovecot-fixture.sh kill  STATE_DIR   ends the server as a crash would, keeping its mail for a
#                                        look afterwards; stop then removes the state
#
# PORT 0 (default) picks a free port. With TLS_PORT (0 for a free one) the server also speaks
# POP3 over TLS there and offers STLS on PORT, with a throwaway CA and a server certificate for
# ADDRESS made at start (expired when asked); STATE_DIR then also holds tls_port and tls/ca.pem.
#
# After start, STATE_DIR holds address, port and master.pid (the master leads its own process
# group, which stop kills as a whole), and keys/default/HS256/default, the base64 HMAC key that
# signs the OAuth bearer tokens the server accepts (JWTs whose "sub" is the user). Users are files passwd.d/USER holding one passwd-file line;
# their mail is mail/USER/Maildir, owned by uid and gid 65534.
set -euo pipefail

readonly mail_uid=65534
readonly start_timeout_s=10
readonly stop_timeout_s=10
# Part of the greeting, so that the readiness check cannot mistake another server on the same
# address and port for this one.
readonly token="fixture-$$-$RANDOM"

die() {
    echo "dovecot-fixture: $*" >&2
    exit 1
}

log_tail() {
    local log=$1/dovecot.log
    if [[ -s $log ]]; then
        echo "--- last lines of $log ---" >&2
        tail -n 20 "$log" >&2
    fi
}

readonly state_prefix=vorlane-dovecot

# True for a link this script made: it points at a temporary fixture folder (or at nothing).
is_fixture_link() {
    [[ -L $1 && $(basename "$(readlink "$1")") == "$state_prefix".* ]]
}

# Auth runs as user dovecot and mail as uid 65534: both must reach the state folder.
check_reachable() {
    local dir=$1
    while [[ $dir != / ]]; do
        (((8#$(stat -c %a "$dir") & 1) != 0)) ||
            die "$dir is not searchable by others, so Dovecot's unprivileged processes" \
                "cannot reach the state folder"
        dir=$(dirname "$dir")
    done
}

# Binding port 0 asks the kernel for a free port; another program may take it before Dovecot
# binds it, which start detects and retries.
pick_port() {
    local address=$1
    if command -v python3 >/dev/null 2>&1; then
        python3 -c 'import socket,sys
s = socket.socket(socket.AF_INET6 if ":" in sys.argv[1] else socket.AF_INET)
s.bind((sys.argv[1], 0))
print(s.getsockname()[1])' "$address"
    else
        echo $((20000 + RANDOM % 12000))
    fi
}

write_config() {
    local state=$1 address=$2 port=$3 tls_port=${4:-}
    local ssl=no
    [[ -n $tls_port ]] && ssl=yes
    cat >"$state/dovecot.conf" <<CONF
# Written by dovecot-fixture.sh; self-contained, includes nothing from /etc/dovecot.
protocols = pop3
listen = $address
base_dir = $state/run
state_dir = $state/lib
instance_name = vorlane-fixture-$$
log_path = $state/dovecot.log
login_greeting = Dovecot $token ready.
ssl = $ssl
disable_plaintext_auth = no
# USER and PASS, and SASL: PLAIN against the passwd-files, and the two OAuth methods with bearer
# tokens that the tests mint and Dovecot checks locally, with no network.
auth_mechanisms = plain login oauthbearer xoauth2
# Keep user names exactly as given (the default lowercases them).
auth_username_format = %u
# A refused login answers at once; tests try wrong passwords on purpose.
auth_failure_delay = 0
# One passwd-file per user: Dovecot stats a passwd-file at most once a second, so a user appended
# to a shared file right after another login would stay unknown for up to a second. A file path
# with variables is looked up afresh for each new user.
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $state/oauth2.conf.ext
}
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $state/passwd.d/%u
}
userdb {
  driver = static
  args = uid=$mail_uid gid=$mail_uid home=$state/mail/%u
}
mail_location = maildir:~/Maildir
# For maildir the GUID is the file's base name: a stable UIDL that tests can predict.
pop3_uidl_format = %g
service pop3-login {
  inet_listener pop3 {
    address = $address
    port = $port
  }
}
$(tls_config "$state" "$address" "$tls_port")
# Without the auth-penalty socket a failed login does not slow down every later one.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF
}

# Tokens are JWTs signed HS256 with the key in keys/default/HS256/default (base64, as Dovecot
# reads it); a test signs its own with the same key. The user is the token's "sub".
write_oauth2_config() {
    local state=$1
    mkdir -p "$state/keys/default/HS256"
    chmod -R 755 "$state/keys"
    head -c 32 /dev/urandom | base64 >"$state/keys/default/HS256/default"
    chmod 644 "$state/keys/default/HS256/default"
    cat >"$state/oauth2.conf.ext" <<CONF
introspection_mode = local
local_validation_key_dict = fs:posix:prefix=$state/keys/
username_attribute = sub
CONF
}

# The certificate and the implicit-TLS listener, when TLS is asked for.
tls_config() {
    local state=$1 address=$2 tls_port=$3
    [[ -n $tls_port ]] || return 0
    cat <<CONF
ssl_cert = <$state/tls/server.pem
ssl_key = <$state/tls/server.key
service pop3-login {
  inet_listener pop3s {
    address = $address
    port = $tls_port
    ssl = yes
  }
}
CONF
}

# True once this start's server answers with its greeting.
answers_ok() {
    local address=$1 port=$2 line
    # The braces keep the silenced stderr to this one connection attempt.
    { exec 3<>"/dev/tcp/$address/$port"; } 2>/dev/null || return 1
    line=
    read -r -t 1 line <&3 || true
    exec 3<&- 3>&-
    [[ $line == "+OK Dovecot $token ready."* ]]
}

# 0 once the server greets, 1 when the master has exited, 2 after the start timeout.
wait_ready() {
    local address=$1 port=$2 pid=$3
    local deadline=$((SECONDS + start_timeout_s))
    until answers_ok "$address" "$port"; do
        [[ $(state_of "$pid") =~ ^[^ZX]$ ]] || return 1
        ((SECONDS < deadline)) || return 2
        sleep 0.05
    done
}

cmd_start() {
    local state=$1 address=${2:-127.0.0.1} port=${3:-0} tls_port=${4:-} cert_kind=${5:-valid}
    command -v dovecot >/dev/null 2>&1 ||
        die "dovecot not found: install the Debian packages dovecot-core and dovecot-pop3d"
    [[ -x /usr/lib/dovecot/pop3 ]] || die "Dovecot's pop3 service is missing: install dovecot-pop3d"
    [[ $(id -u) == 0 ]] || die "must run as root (Dovecot switches to the mail and auth users)"

    # The link is replaced below: never anything that this script did not make. A folder of
    # an older fixture, which kept its state in place, is stopped and removed.
    if [[ -d $state && ! -L $state && -f $state/dovecot.conf ]]; then
        stop_server "$(cd "$state" && pwd)"
        rm -rf "$state"
    elif [[ -d $state && ! -L $state && -z $(ls -A "$state") ]]; then
        rmdir "$state"
    fi
    if [[ -e $state || -L $state ]] && ! is_fixture_link "$state"; then
        die "$state is not a fixture link; refusing to replace it"
    fi
    cmd_stop "$state"
    mkdir -p "$(dirname "$state")"
    local real
    real=$(mktemp -d "${TMPDIR:-/tmp}/$state_prefix.XXXXXX")
    chmod 755 "$real"
    check_reachable "$real"
    ln -sfn "$real" "$state"
    state=$real
    mkdir -m 755 "$state/mail" "$state/lib" "$state/passwd.d"
    chown "$mail_uid:$mail_uid" "$state/mail"
    write_oauth2_config "$state"
    if [[ -n $tls_port ]]; then
        "$(dirname "$0")/make-test-certificates.sh" "$state/tls" "$address" "$cert_kind"
    fi

    local attempt chosen chosen_tls pid ready
    for attempt in 1 2 3 4 5; do
        chosen=$port
        [[ $port == 0 ]] && chosen=$(pick_port "$address")
        chosen_tls=$tls_port
        [[ $tls_port == 0 ]] && chosen_tls=$(pick_port "$address")
        write_config "$state" "$address" "$chosen" "$chosen_tls"
        rm -rf "$state/run"
        # In the foreground under setsid, the master's PID is known at once and leads its own
        # process group, so no failure below can leave a server that stop cannot find. (A
        # daemonising dovecot returns before it has written its PID file.) Its output goes to a
        # file: a pipe would keep ctest waiting for end of file while the server runs.
        setsid dovecot -F -c "$state/dovecot.conf" </dev/null >"$state/start.out" 2>&1 &
        pid=$!
        echo "$pid" >"$state/master.pid"
        ready=0
        wait_ready "$address" "$chosen" "$pid" || ready=$?
        ((ready == 0)) && break
        stop_server "$state"
        if ((ready == 1)) && [[ $port == 0 || $tls_port == 0 ]] && ((attempt < 5)) &&
            grep -q "Address already in use" "$state/start.out"; then
            continue
        fi
        cat "$state/start.out" >&2
        log_tail "$state"
        if ((ready == 1)); then
            die "dovecot did not start on $address:$chosen"
        fi
        die "dovecot on $address:$chosen did not answer +OK within ${start_timeout_s}s"
    done
    [[ $(group_of "$pid") == "$pid" ]] || die "dovecot $pid does not lead its own process group"
    echo "$address" >"$state/address"
    echo "$chosen" >"$state/port"
    [[ -z $chosen_tls ]] || echo "$chosen_tls" >"$state/tls_port"
    echo "dovecot-fixture: pid $pid listening on $address:$chosen"
}

# Fields of /proc/PID/stat after the parenthesised command name: state, parent, process group.
proc_fields() {
    local stat
    { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 1
    echo "${stat##*) }"
}

state_of() {
    local fields
    fields=$(proc_fields "$1") || return 0
    echo "${fields%% *}"
}

group_of() {
    local fields
    read -r -a fields <<<"$(proc_fields "$1")"
    echo "${fields[2]:-}"
}

# True while a process of group $1 runs. Zombies count as gone: they hold no sockets or files,
# and reaping them is up to whoever adopted them.
group_alive() {
    local group=$1 file stat fields
    for file in /proc/[0-9]*/stat; do
        { read -r stat <"$file"; } 2>/dev/null || continue
        read -r -a fields <<<"${stat##*) }"
        [[ ${fields[0]} != Z && ${fields[2]} == "$group" ]] && return 0
    done
    return 1
}

cmd_stop() {
    local link=$1
    is_fixture_link "$link" || return 0
    local state
    state=$(readlink "$link")
    stop_server "$state"
    # The state is throwaway; the link goes with it, so a later start begins afresh.
    rm -rf "$state"
    rm -f "$link"
}

cmd_kill() {
    is_fixture_link "$1" || return 0
    stop_server "$(readlink "$1")"
}

stop_server() {
    local state=$1 pid leader
    [[ -f $state/master.pid ]] || return 0
    pid=$(cat "$state/master.pid")
    # A PID file left by a run that never stopped may name a process that reused the number.
    leader=$(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" || true)
    if [[ -n $leader && $leader != *"$state/dovecot.conf"* ]]; then
        rm -f "$state/master.pid"
        return 0
    fi
    # A TERM makes the master wait for its children for seconds; the state is throwaway.
    kill -KILL -- "-$pid" 2>/dev/null || true
    local deadline=$((SECONDS + stop_timeout_s))
    while group_alive "$pid"; do
        ((SECONDS < deadline)) || die "processes of group $pid still alive after ${stop_timeout_s}s"
        sleep 0.02
    done
    rm -f "$state/master.pid" "$state/run/master.pid"
}

usage() {
    die "usage: $0 start STATE_DIR [ADDRESS] [PORT] [TLS_PORT [valid|expired]] | stop STATE_DIR | kill STATE_DIR"
}

main() {
    (($# >= 2)) || usage
    local command=$1
    shift
    case $command in
    start) (($# <= 5)) || usage; cmd_start "$@" ;;
    stop) (($# == 1)) || usage; cmd_stop "$1" ;;
    kill) (($# == 1)) || usage; cmd_kill "$1" ;;
    *) usage ;;
    esac
}

main "$@"
