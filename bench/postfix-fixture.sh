#!/usr/bin/env bash
# A private Postfix on loopback for benchmarks and tests: its own
# config_directory, queue and log under a folder, every known recipient
# delivered to the discard transport, an unknown one refused at RCPT. The
# system's mail service is neither configured nor started. Sourced; needs
# root (Postfix's master starts as root) and Postfix's programs
# (install-postfix.sh).
#
#   postfix_fixture_start DIR RECIPIENTS...   sets postfix_port; 0 or fails
#                                             (no RECIPIENTS: every one known)
#   postfix_fixture_stop DIR
#   postfix_fixture_delivered DIR             messages handed to discard

postfix_fixture_start() {
  local dir="$1"; shift
  chmod 755 "$dir"
  mkdir -p "$dir/etc" "$dir/queue" "$dir/data"
  chown postfix "$dir/data"
  postfix_port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')"
  cat >"$dir/etc/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $dir/queue
data_directory = $dir/data
maillog_file = $dir/maillog
maillog_file_prefixes = $dir
mail_owner = postfix
setgid_group = postdrop
myhostname = fixture.example.jp
mydomain = example.jp
myorigin = example.jp
mydestination = example.jp
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
alias_maps =
alias_database =
local_recipient_maps = $([ $# -gt 0 ] && echo "texthash:$dir/etc/recipients")
local_transport = discard:fixture
smtpd_error_sleep_time = 0
smtpd_soft_error_limit = 1000
smtpd_hard_error_limit = 1000
CONF
  cat >"$dir/etc/master.cf" <<CONF
127.0.0.1:$postfix_port inet n - n - - smtpd
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
  local r
  for r in "$@"; do echo "$r ok"; done >"$dir/etc/recipients"
  postfix -c "$dir/etc" start >/dev/null 2>&1 || { cat "$dir/maillog" >&2 2>/dev/null; return 1; }
  local _
  for _ in $(seq 1 100); do
    if /usr/bin/python3 -c "import socket,sys; s=socket.create_connection(('127.0.0.1',$postfix_port),1); sys.exit(0 if s.recv(64).startswith(b'220') else 1)" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "Postfix did not answer on 127.0.0.1:$postfix_port" >&2
  return 1
}

postfix_fixture_stop() {
  postfix -c "$1/etc" stop >/dev/null 2>&1 || true
}

postfix_fixture_delivered() {
  grep -c 'status=sent (fixture)' "$1/maillog" || true
}
