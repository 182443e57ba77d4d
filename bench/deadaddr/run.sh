#!/usr/bin/env bash
# Dead addresses against a real Postfix on loopback. Servers count the
# errors of a session and, past a few, hold every reply back (Postfix:
# smtpd_error_sleep_time 1s from smtpd_soft_error_limit 10 errors on, and the
# session ends at smtpd_hard_error_limit 20, all at their defaults here).
# The program's headless "send" runs two lists of 50 entries:
#   good   50 addresses the server takes
#   mixed  25 it takes and 25 it refuses (550, unknown user), in runs of
#          five
# each DEADADDR_ROUNDS times (default 3), and the best round of each counts.
# Postfix runs as a fixture in a folder of its own (its own config_directory,
# queue_directory and data_directory, its log in maillog_file), discards what
# it takes, and is stopped at the end; the system's mail service is neither
# configured nor started. A round whose messages, counted in Postfix's log,
# are not exactly the list's good ones fails the run.
# Last line: deadaddr: good_s=<s> mixed_s=<s> ratio=<mixed/good>
#   sessions=<connections of the last mixed round>
# DEADADDR_KEEP=1 keeps the work folder (Postfix's log among it) to look at.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
rounds="${DEADADDR_ROUNDS:-3}"
work="$(mktemp -d)"
# Postfix's own user walks into its queue below this folder.
chmod 755 "$work"
postfix_up=""
cleanup() {
  if [ -n "$postfix_up" ]; then postfix -c "$work/etc" stop >/dev/null 2>&1 || true; fi
  [ -n "${DEADADDR_KEEP:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

. "$here/../install-postfix.sh"
if [ "$(id -u)" -ne 0 ]; then
  echo "the Postfix fixture starts its master as root (run as root or through sudo)" >&2
  exit 1
fi

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target quillpost -j2 >/dev/null
# QUILLPOST_BIN measures another build of the program (an older one, say).
quillpost="${QUILLPOST_BIN:-$build/quillpost}"

port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')"
mkdir -p "$work/etc" "$work/queue" "$work/data"
chown postfix "$work/data"
cat >"$work/etc/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $work/queue
data_directory = $work/data
maillog_file = $work/maillog
maillog_file_prefixes = $work
mail_owner = postfix
setgid_group = postdrop
myhostname = bench.example.jp
mydomain = example.jp
myorigin = example.jp
mydestination = example.jp
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
alias_maps =
alias_database =
local_recipient_maps = texthash:$work/etc/recipients
local_transport = discard:bench
CONF
cat >"$work/etc/master.cf" <<CONF
127.0.0.1:$port inet n - n - - smtpd
cleanup   unix n - n - 0 cleanup
qmgr      unix n - n 300 1 qmgr
rewrite   unix - - n - - trivial-rewrite
bounce    unix - - n - 0 bounce
defer     unix - - n - 0 bounce
trace     unix - - n - 0 bounce
verify    unix - - n - 1 verify
proxymap  unix - - n - - proxymap
discard   unix - - n - - discard
error     unix - - n - - error
retry     unix - - n - - error
anvil     unix - - n - 1 anvil
scache    unix - - n - 1 scache
postlog   unix-dgram n - n - 1 postlogd
CONF
for i in $(seq 0 49); do echo "r$i@example.jp ok"; done >"$work/etc/recipients"
postfix -c "$work/etc" start >/dev/null 2>&1 || { echo "Postfix did not start:" >&2; cat "$work/maillog" >&2 2>/dev/null; exit 1; }
postfix_up=1
ready=""
for _ in $(seq 1 100); do
  if /usr/bin/python3 -c "import socket,sys; s=socket.create_connection(('127.0.0.1',$port),1); sys.exit(0 if s.recv(64).startswith(b'220') else 1)" 2>/dev/null; then
    ready=1; break
  fi
  sleep 0.1
done
[ -n "$ready" ] || { echo "Postfix did not answer on 127.0.0.1:$port" >&2; cat "$work/maillog" >&2; exit 1; }

# The lists (CR LF, UTF-8) and the program's settings in a folder of their own.
for i in $(seq 0 49); do printf '宛先%s,,r%s@example.jp\r\n' "$i" "$i"; done >"$work/good.csv"
# Dead addresses come in runs in an old list: five good, five dead.
for i in $(seq 0 49); do
  if [ $(((i / 5) % 2)) -eq 0 ]; then printf '宛先%s,,r%s@example.jp\r\n' "$i" "$i"; else printf '宛先%s,,dead%s@example.jp\r\n' "$i" "$i"; fi
done >"$work/mixed.csv"
printf 'いつもお世話になっております。\r\n新商品のご案内です。\r\n' >"$work/body.txt"
mkdir -p "$work/config/Quillpost" "$work/xdgdata" "$work/cache"
printf '%s\n' "[Settings]" "Account=0" "szServer=127.0.0.1" "szPort=$port" \
  "Check1V=0" "Check2V=0" "szFrom=shop@example.jp" "szFromName=山田商店" \
  "User=shop" "UserPass=" >"$work/config/Quillpost/Quillpost.ini"

delivered() { grep -c 'status=sent (bench)' "$work/maillog" || true; }
connections() { grep -c ': connect from localhost' "$work/maillog" || true; }
now() { date +%s.%N; }

# Runs one list; prints its seconds. Fails unless Postfix delivers exactly
# the list's good messages.
run_list() { # list expected
  local before t0 t1 out rc=0 got=0
  before=$(delivered)
  rm -f "$work/SendMail.Log" "$work/SendMail.journal"
  t0=$(now)
  out="$(XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/xdgdata" XDG_CACHE_HOME="$work/cache" \
    "$quillpost" send --account 0 --list "$1" --subject "春のご案内" --body "$work/body.txt" \
    --log "$work/SendMail.Log" 2>"$work/quillpost.err")" || rc=$?
  t1=$(now)
  if [ "$rc" -ne 0 ]; then
    echo "$(basename "$1"): exit $rc, output: $out" >&2
    sed 's/^/  /' "$work/quillpost.err" >&2
    exit 1
  fi
  # Postfix hands each message on after the session; wait for its log.
  for _ in $(seq 1 300); do
    got=$(( $(delivered) - before ))
    [ "$got" -ge "$2" ] && break
    sleep 0.1
  done
  sleep 0.3
  got=$(( $(delivered) - before ))
  if [ "$got" -ne "$2" ]; then
    echo "$(basename "$1"): Postfix delivered $got of $2 messages; no result" >&2
    exit 1
  fi
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.3f", b-a}'
}

good=(); mixed=(); sessions=0
for round in $(seq 1 "$rounds"); do
  g=$(run_list "$work/good.csv" 50)
  c0=$(connections)
  m=$(run_list "$work/mixed.csv" 25)
  sessions=$(( $(connections) - c0 ))
  good+=("$g"); mixed+=("$m")
  echo "round $round: good ${g}s, mixed ${m}s over $sessions connections" >&2
done
least() { printf '%s\n' "$@" | sort -g | head -1; }
g=$(least "${good[@]}"); m=$(least "${mixed[@]}")
ratio=$(awk -v a="$m" -v b="$g" 'BEGIN{printf "%.2f", a/b}')
echo "deadaddr: good_s=$g mixed_s=$m ratio=$ratio sessions=$sessions"
