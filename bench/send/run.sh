#!/usr/bin/env bash
# Bulk send throughput on one SMTP connection to Postfix's smtp-sink on
# loopback: the program's send run, Nodemailer's pooled transport (one
# connection), and smtp-source as the limit of one sequential connection. Each is run SEND_BENCH_ROUNDS times,
# interleaved, on a fresh sink, and the best round counts.
# Last line: send: quillpost=<msgs/s> nodemailer=<msgs/s> limit=<msgs/s>
#            ratio=<quillpost/nodemailer> of_limit=<quillpost/limit> delivered=<n>
#            nodemailer_nodelay=<msgs/s> ratio_nodelay=<quillpost/that> sessions=<n>
# "nodemailer" is stock Nodemailer; "nodemailer_nodelay" the same with
# TCP_NODELAY on its socket (see nodemailer_send.js).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
count="${SEND_BENCH_COUNT:-10000}"
rounds="${SEND_BENCH_ROUNDS:-3}"
work="$(mktemp -d)"
sink_pid=""
cleanup() {
  if [ -n "$sink_pid" ]; then kill "$sink_pid" 2>/dev/null || true; wait "$sink_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# smtp-sink and smtp-source come with Postfix; the mail service itself is
# neither configured nor started.
if ! command -v smtp-sink >/dev/null || ! command -v smtp-source >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  echo "postfix postfix/main_mailer_type select No configuration" | $SUDO debconf-set-selections
  policy_added=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    echo "exit 101" | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
    policy_added=1
  fi
  $SUDO apt-get install -y --no-install-recommends postfix
  [ -n "$policy_added" ] && $SUDO rm -f /usr/sbin/policy-rc.d
fi
PATH="$PATH:/usr/sbin"
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update && $SUDO apt-get install -y --no-install-recommends nodejs npm
fi

# The program's client.
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target sendbench -j1 >/dev/null
bench_bin="$build/bench/send/sendbench"

# Nodemailer, kept beside the build, outside the sources.
node_dir="$build/bench-send-node"
if [ ! -d "$node_dir/node_modules/nodemailer" ]; then
  mkdir -p "$node_dir"
  npm install --prefix "$node_dir" --no-audit --no-fund --silent nodemailer@6 >/dev/null
fi

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# Starts a fresh sink; its running counters go to $work/sink.out.
start_sink() {
  port="$(free_port)"
  smtp-sink -c -u nobody "127.0.0.1:$port" 256 >"$work/sink.out" 2>&1 &
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

# Stops the sink and prints "sessions messages" from its last counter; the
# readiness probe's session is not counted.
stop_sink() {
  sleep 0.2
  kill "$sink_pid" 2>/dev/null || true
  wait "$sink_pid" 2>/dev/null || true
  sink_pid=""
  tr '\r' '\n' <"$work/sink.out" | grep 'sess=' | tail -1 |
    sed -E 's/.*sess=([0-9]+).*mesg=([0-9]+).*/\1 \2/' | awk '{print $1 - 1, $2}'
}

rate_of() { sed -nE 's/.*rate=([0-9.]+).*/\1/p' | tail -1; }
best() { printf '%s\n' "$@" | sort -g | tail -1; }

q_rates=(); n_rates=(); l_rates=()
q_delivered=0; q_sessions=0
for round in $(seq 1 "$rounds"); do
  start_sink
  q_out="$("$bench_bin" 127.0.0.1 "$port" "$count")"
  read -r sess msgs < <(stop_sink)
  q_rates+=("$(echo "$q_out" | rate_of)")
  q_delivered=$msgs; q_sessions=$sess
  echo "round $round quillpost: $q_out (sink: sessions=$sess messages=$msgs)" >&2

  start_sink
  n_out="$(NODE_PATH="$node_dir/node_modules" node "$here/nodemailer_send.js" 127.0.0.1 "$port" "$count" nodelay)"
  read -r sess msgs < <(stop_sink)
  n_rates+=("$(echo "$n_out" | rate_of)")
  echo "round $round nodemailer: $n_out (sink: sessions=$sess messages=$msgs)" >&2

  start_sink
  t0=$(date +%s.%N)
  smtp-source -d -s 1 -m "$count" -l 2000 "127.0.0.1:$port" >/dev/null
  t1=$(date +%s.%N)
  read -r sess msgs < <(stop_sink)
  l_rate=$(echo "$count $t0 $t1" | awk '{printf "%.1f", $1/($3-$2)}')
  l_rates+=("$l_rate")
  echo "round $round smtp-source: rate=$l_rate (sink: sessions=$sess messages=$msgs)" >&2
done

# Stock Nodemailer, as installed (Nagle on), once: it is held up by the
# server's delayed ACKs, about 40 ms a message, so this takes minutes.
stock_count="${SEND_BENCH_STOCK_COUNT:-$count}"
start_sink
s_out="$(NODE_PATH="$node_dir/node_modules" node "$here/nodemailer_send.js" 127.0.0.1 "$port" "$stock_count")"
read -r sess msgs < <(stop_sink)
s_rate="$(echo "$s_out" | rate_of)"
echo "stock nodemailer: $s_out (sink: sessions=$sess messages=$msgs)" >&2

# Best of the rounds for each: the machine is shared, and a slow round says
# more about the neighbours than about the client.
q=$(best "${q_rates[@]}"); n=$(best "${n_rates[@]}"); l=$(best "${l_rates[@]}")
ratio=$(awk -v a="$q" -v b="$s_rate" 'BEGIN{printf "%.2f", a/b}')
ratio_nodelay=$(awk -v a="$q" -v b="$n" 'BEGIN{printf "%.2f", a/b}')
of_limit=$(awk -v a="$q" -v b="$l" 'BEGIN{printf "%.2f", a/b}')
echo "quillpost sessions at the sink: $q_sessions (of $count messages: $q_delivered delivered)" >&2
echo "send: quillpost=$q nodemailer=$s_rate limit=$l ratio=$ratio of_limit=$of_limit delivered=$q_delivered nodemailer_nodelay=$n ratio_nodelay=$ratio_nodelay sessions=$q_sessions"
