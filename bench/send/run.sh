#!/usr/bin/env bash
# Bulk send throughput on one SMTP connection to Postfix's smtp-sink on
# loopback. Senders, all with the same personalised messages (Japanese
# subject, about 1 KB of Japanese body, a name block each):
#   quillpost  the program's headless "send" command, timed around the process
#   nodemailer Nodemailer's pooled transport on one connection, TCP_NODELAY on
#   limit      limit.c: one round trip a message, the protocol's floor,
#              timed around its process like the program
# Each runs SEND_BENCH_ROUNDS times (default 3), interleaved, each round on a
# fresh sink, and the best round counts. Stock Nodemailer (Nagle on, about
# 40 ms a message) runs once with SEND_BENCH_STOCK_COUNT messages.
# Every round must have the sink count all its messages, or the run fails.
# Start-up: from the process's start to its first MAIL FROM at a server on
# loopback, best of SEND_BENCH_STARTS (default 20) single-message runs, for
# the program and for limit.c.
# With a real network's latency: a private Postfix (its own folder, a
# discard transport; root needed) behind a delaying proxy (SEND_BENCH_RTT_MS,
# default 20, checked), SEND_BENCH_RTT_COUNT messages (default 1000) a
# sender: the program, Nodemailer's default pool (5 connections, 100
# messages each, TCP_NODELAY), and the server's ceiling: a BDAT window
# client (W=50) straight to the same Postfix. Postfix counts every round.
# Last line: send: quillpost=<msgs/s> nodemailer=<msgs/s> ratio=<q/n>
#   limit=<msgs/s> of_limit=<q/limit> delivered=<n> sessions=<n>
#   nodemailer_stock=<msgs/s> start_ms=<ms> start_ms_limit=<ms>
#   rtt_ms=<ms> quillpost_rtt=<msgs/s> nodemailer_pool_rtt=<msgs/s>
#   ratio_rtt=<q/pool> server_max=<msgs/s> of_server=<q/max>
#   limit_start_ms=<ms>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
count="${SEND_BENCH_COUNT:-10000}"
rounds="${SEND_BENCH_ROUNDS:-3}"
starts="${SEND_BENCH_STARTS:-20}"
stock_count="${SEND_BENCH_STOCK_COUNT:-300}"
subject="【ご案内】春の新商品と営業日のお知らせ"
rtt_target="${SEND_BENCH_RTT_MS:-20}"
rtt_count="${SEND_BENCH_RTT_COUNT:-1000}"
work="$(mktemp -d)"
sink_pid=""
proxy_pid=""
postfix_dir=""
cleanup() {
  if [ -n "$sink_pid" ]; then kill "$sink_pid" 2>/dev/null || true; wait "$sink_pid" 2>/dev/null || true; fi
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; fi
  if [ -n "$postfix_dir" ]; then postfix_fixture_stop "$postfix_dir"; fi
  rm -rf "$work"
}
trap cleanup EXIT

# smtp-sink and smtp-source come with Postfix; the mail service itself is
# neither configured nor started.
. "$here/../install-postfix.sh"
. "$here/../postfix-fixture.sh"
if [ "$(id -u)" -ne 0 ]; then
  echo "the private Postfix starts its master as root (run as root or through sudo)" >&2
  exit 1
fi
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update && $SUDO apt-get install -y --no-install-recommends nodejs npm
fi

# The program and the limit client.
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target quillpost sendlimit -j1 >/dev/null
# QUILLPOST_BIN measures another build of the program (an older one, say).
quillpost="${QUILLPOST_BIN:-$build/quillpost}"
limit_bin="$build/bench/send/sendlimit"

# Nodemailer, kept beside the build, outside the sources.
node_dir="$build/bench-send-node"
if [ ! -d "$node_dir/node_modules/nodemailer" ]; then
  mkdir -p "$node_dir"
  npm install --prefix "$node_dir" --no-audit --no-fund --silent nodemailer@6 >/dev/null
fi

# The program's inputs: the list (CR LF, UTF-8), the body, and its settings
# in a folder of its own so the user's are neither read nor changed.
mkdir -p "$work/config/Quillpost" "$work/data" "$work/cache"
/usr/bin/python3 - "$work" "$count" <<'EOF'
import sys
work, count = sys.argv[1], int(sys.argv[2])
with open(f"{work}/LIST.csv", "wb") as f:
    f.write("".join(f"株式会社サンプル{i},営業部　山本太郎,customer{i}@example.jp\r\n"
                    for i in range(count)).encode("utf-8"))
para = ("平素は格別のご高配を賜り、厚く御礼申し上げます。このたび弊社では春の新商品を発売いたしました。"
        "詳細につきましては同封の資料をご覧ください。ご不明な点がございましたらお気軽にお問い合わせください。\r\n")
body = ""
while len(body.encode("utf-8")) < 1000:
    body += para
body += "今後ともよろしくお願い申し上げます。\r\n山田商店　営業部"
with open(f"{work}/BODY.txt", "wb") as f:
    f.write(body.encode("utf-8"))
EOF

# The account, pointing at this round's sink.
write_settings() {
  printf '%s\n' "[Settings]" "Account=0" "szServer=127.0.0.1" "szPort=$1" \
    "Check1V=0" "Check2V=0" "szFrom=shop@example.jp" "szFromName=山田商店" \
    "User=shop" "UserPass=" >"$work/config/Quillpost/Quillpost.ini"
}

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

pin=""
if command -v taskset >/dev/null && [ "$(nproc)" -ge 2 ]; then pin="taskset -c 0"; fi

# Starts a fresh sink; its running counters go to $work/sink.out.
start_sink() {
  port="$(free_port)"
  # The sink keeps to the first core, so every sender meets it the same way
  # and has the other core to itself.
  $pin smtp-sink -c -u nobody "127.0.0.1:$port" 256 >"$work/sink.out" 2>&1 &
  sink_pid=$!
  for _ in $(seq 1 50); do
    if /usr/bin/python3 -c "import socket,sys; s=socket.create_connection(('127.0.0.1',$port),1); sys.exit(0 if s.recv(64).startswith(b'220') else 1)" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "smtp-sink did not start" >&2
  exit 1
}

# Stops the sink and sets sess and msgs from its last counter; the readiness
# probe's session is not counted.
stop_sink() {
  sleep 0.2
  kill "$sink_pid" 2>/dev/null || true
  wait "$sink_pid" 2>/dev/null || true
  sink_pid=""
  local last
  last="$(tr '\r' '\n' <"$work/sink.out" | grep 'sess=' | tail -1 || true)"
  sess="$(echo "$last" | sed -nE 's/.*sess=([0-9]+).*/\1/p')"
  msgs="$(echo "$last" | sed -nE 's/.*mesg=([0-9]+).*/\1/p')"
  sess=$(( ${sess:-1} - 1 )); msgs=${msgs:-0}
}

# Fails the run unless the sink counted every message of the round.
require_all() {  # who expected
  if [ "$msgs" -ne "$2" ]; then
    echo "$1: the sink counted $msgs of $2 messages (sessions=$sess); no result" >&2
    exit 1
  fi
}

rate_of() { sed -nE 's/.*rate=([0-9.]+).*/\1/p' | tail -1; }
best() { printf '%s\n' "$@" | sort -g | tail -1; }
now() { date +%s.%N; }

q_rates=(); n_rates=(); l_rates=()
q_sessions=0; q_delivered=0
done_text="${count}件の送信を完了しました。"
for round in $(seq 1 "$rounds"); do
  # The program: process start to exit, settings and list reading included.
  start_sink
  write_settings "$port"
  rm -f "$work/SendMail.Log"
  t0=$(now)
  rc=0
  q_out="$(XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
    "$quillpost" send --account 0 --list "$work/LIST.csv" --subject "$subject" \
    --body "$work/BODY.txt" --name-block --log "$work/SendMail.Log" 2>"$work/quillpost.err")" || rc=$?
  t1=$(now)
  stop_sink
  if [ "$rc" -ne 0 ] || [[ "$q_out" != *"$done_text"* ]]; then
    echo "round $round quillpost: exit $rc, output: $q_out" >&2
    sed 's/^/  /' "$work/quillpost.err" >&2
    echo "  (sink: sessions=$sess messages=$msgs)" >&2
    exit 1
  fi
  require_all "round $round quillpost" "$count"
  q_rate=$(awk -v n="$count" -v a="$t0" -v b="$t1" 'BEGIN{printf "%.1f", n/(b-a)}')
  q_rates+=("$q_rate")
  if [ "$sess" -gt "$q_sessions" ]; then q_sessions=$sess; fi
  q_delivered=$msgs
  echo "round $round quillpost: rate=$q_rate seconds=$(awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.3f", b-a}') (sink: sessions=$sess messages=$msgs)" >&2

  start_sink
  n_out="$(NODE_PATH="$node_dir/node_modules" node "$here/nodemailer_send.js" 127.0.0.1 "$port" "$count" nodelay)"
  stop_sink
  require_all "round $round nodemailer" "$count"
  n_rates+=("$(echo "$n_out" | rate_of)")
  echo "round $round nodemailer: $n_out (sink: sessions=$sess messages=$msgs)" >&2

  start_sink
  t0=$(now)
  l_out="$("$limit_bin" 127.0.0.1 "$port" "$count")"
  t1=$(now)
  stop_sink
  require_all "round $round limit" "$count"
  l_rate=$(awk -v n="$count" -v a="$t0" -v b="$t1" 'BEGIN{printf "%.1f", n/(b-a)}')
  l_rates+=("$l_rate")
  echo "round $round limit: rate=$l_rate around the process; its own timing: $l_out (sink: sessions=$sess messages=$msgs)" >&2
done

# Stock Nodemailer, as installed (Nagle on), once and with fewer messages:
# it is held up by the server's delayed ACKs, about 40 ms a message.
start_sink
s_out="$(NODE_PATH="$node_dir/node_modules" node "$here/nodemailer_send.js" 127.0.0.1 "$port" "$stock_count")"
stop_sink
require_all "stock nodemailer" "$stock_count"
s_rate="$(echo "$s_out" | rate_of)"
echo "stock nodemailer: $s_out (sink: sessions=$sess messages=$msgs)" >&2

# Start-up to the first MAIL FROM, one message a run; the server notes the
# time, the run must end as any run does.
printf '%s\r\n' "株式会社サンプル,営業部　山本太郎,customer@example.jp" >"$work/ONE.csv"
first_mail_ms() { # command...
  local fifo="$work/firstmail.out" t0 t1 port
  rm -f "$fifo"
  /usr/bin/python3 "$here/firstmail.py" >"$fifo" &
  local server=$!
  for _ in $(seq 1 50); do [ -s "$fifo" ] && break; sleep 0.1; done
  port=$(head -1 "$fifo")
  t0=$(now)
  "$@" "$port" >/dev/null 2>"$work/start.err" || { echo "start run failed: $*" >&2; sed 's/^/  /' "$work/start.err" >&2; exit 1; }
  wait "$server"
  t1=$(sed -n 2p "$fifo")
  [ -n "$t1" ] || { echo "start run: no MAIL FROM arrived" >&2; exit 1; }
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.2f", (b-a)*1000}'
}
run_program_once() { # port
  write_settings "$1"
  XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
    "$quillpost" send --account 0 --list "$work/ONE.csv" --subject "$subject" --body "$work/BODY.txt" \
    --name-block --log "$work/start.log"
}
run_limit_once() { "$limit_bin" 127.0.0.1 "$1" 1; }
q_starts=(); l_starts=()
for _ in $(seq 1 "$starts"); do
  q_starts+=("$(first_mail_ms run_program_once)")
  l_starts+=("$(first_mail_ms run_limit_once)")
done
least() { printf '%s\n' "$@" | sort -g | head -1; }
start_q=$(least "${q_starts[@]}"); start_l=$(least "${l_starts[@]}")
echo "start to the first MAIL FROM, best of $starts: quillpost ${start_q} ms, limit ${start_l} ms" >&2

# Through the delaying proxy into a private Postfix that takes every
# recipient and discards every message.
postfix_dir="$work/postfix"
# Postfix's own user walks into its queue below the work folder.
chmod 755 "$work"
mkdir -p "$postfix_dir"
postfix_fixture_start "$postfix_dir" || { echo "Postfix did not start" >&2; exit 1; }
rtt=$(/usr/bin/python3 "$here/rttcheck.py" "$rtt_target")
if ! awk -v r="$rtt" -v t="$rtt_target" 'BEGIN{d=r-t; if (d<0) d=-d; exit !(d <= (t/4 > 3 ? t/4 : 3))}'; then
  echo "the proxy adds ${rtt} ms to a round trip, not ${rtt_target} ms (a busy machine?); no result" >&2
  exit 1
fi
/usr/bin/python3 "$here/delayproxy.py" 127.0.0.1 "$postfix_port" "$rtt_target" >"$work/proxy.port" &
proxy_pid=$!
for _ in $(seq 1 50); do [ -s "$work/proxy.port" ] && break; sleep 0.1; done
proxy_port=$(head -1 "$work/proxy.port")
head -n "$rtt_count" "$work/LIST.csv" >"$work/RTT.csv"
rtt_done_text="${rtt_count}件の送信を完了しました。"
# Fails unless Postfix hands exactly n more messages to discard.
postfix_count_since() { # who before n
  local got=0
  for _ in $(seq 1 1200); do
    got=$(( $(postfix_fixture_delivered "$postfix_dir") - $2 ))
    [ "$got" -ge "$3" ] && break
    sleep 0.1
  done
  sleep 0.5
  got=$(( $(postfix_fixture_delivered "$postfix_dir") - $2 ))
  if [ "$got" -ne "$3" ]; then
    echo "$1: Postfix took $got of $3 messages; no result" >&2
    exit 1
  fi
}
before=$(postfix_fixture_delivered "$postfix_dir")
write_settings "$proxy_port"
rm -f "$work/SendMail.Log"
t0=$(now)
rc=0
q_out="$(XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
  "$quillpost" send --account 0 --list "$work/RTT.csv" --subject "$subject" \
  --body "$work/BODY.txt" --name-block --log "$work/SendMail.Log" 2>"$work/quillpost.err")" || rc=$?
t1=$(now)
if [ "$rc" -ne 0 ] || [[ "$q_out" != *"$rtt_done_text"* ]]; then
  echo "quillpost through the proxy: exit $rc, output: $q_out" >&2
  sed 's/^/  /' "$work/quillpost.err" >&2
  exit 1
fi
postfix_count_since "quillpost through the proxy" "$before" "$rtt_count"
q_rtt=$(awk -v n="$rtt_count" -v a="$t0" -v b="$t1" 'BEGIN{printf "%.1f", n/(b-a)}')
echo "quillpost through the proxy: rate=$q_rtt" >&2
before=$(postfix_fixture_delivered "$postfix_dir")
p_out="$(NODE_PATH="$node_dir/node_modules" node "$here/nodemailer_send.js" 127.0.0.1 "$proxy_port" "$rtt_count" pool5)"
postfix_count_since "nodemailer pool through the proxy" "$before" "$rtt_count"
p_rtt="$(echo "$p_out" | rate_of)"
echo "nodemailer pool through the proxy: $p_out" >&2
before=$(postfix_fixture_delivered "$postfix_dir")
m_out="$(/usr/bin/python3 "$here/bdatwindow.py" 127.0.0.1 "$postfix_port" "$rtt_count" 50)"
postfix_count_since "BDAT window client on loopback" "$before" "$rtt_count"
server_max="$(echo "$m_out" | rate_of)"
echo "BDAT window client straight to Postfix: $m_out" >&2
ratio_rtt=$(awk -v a="$q_rtt" -v b="$p_rtt" 'BEGIN{printf "%.2f", a/b}')
of_server=$(awk -v a="$q_rtt" -v b="$server_max" 'BEGIN{printf "%.2f", a/b}')

# Best of the rounds for each: the machine is shared, and a slow round says
# more about the neighbours than about the client. The program and the limit
# client are both whole commands, timed around their processes; Nodemailer
# times itself, which leaves Node's start-up out in its favour.
q=$(best "${q_rates[@]}"); n=$(best "${n_rates[@]}"); l=$(best "${l_rates[@]}")
ratio=$(awk -v a="$q" -v b="$n" 'BEGIN{printf "%.2f", a/b}')
of_limit=$(awk -v a="$q" -v b="$l" 'BEGIN{printf "%.2f", a/b}')
echo "quillpost sessions at the sink: $q_sessions (most in a round)" >&2
echo "send: quillpost=$q nodemailer=$n ratio=$ratio limit=$l of_limit=$of_limit delivered=$q_delivered sessions=$q_sessions nodemailer_stock=$s_rate start_ms=$start_q start_ms_limit=$start_l rtt_ms=$rtt quillpost_rtt=$q_rtt nodemailer_pool_rtt=$p_rtt ratio_rtt=$ratio_rtt server_max=$server_max of_server=$of_server limit_start_ms=$start_l"
