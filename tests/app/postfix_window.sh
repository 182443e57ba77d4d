#!/usr/bin/env bash
# "quillpost send" against a real Postfix with CHUNKING on loopback: a list
# of 20 with one unknown recipient goes as one window of BDAT messages on one
# connection; the refused one gets the only error record, the others are
# delivered once. Skipped (77) without root or Postfix.
# Usage: postfix_window.sh QUILLPOST_BINARY
set -euo pipefail
quillpost="$1"
here="$(cd "$(dirname "$0")" && pwd)"
PATH="$PATH:/usr/sbin"
if [ "$(id -u)" -ne 0 ] || ! command -v postfix >/dev/null; then
  echo "needs root and Postfix (bench/install-postfix.sh)"
  exit 77
fi
. "$here/../../bench/postfix-fixture.sh"
work="$(mktemp -d)"
cleanup() { postfix_fixture_stop "$work"; rm -rf "$work"; }
trap cleanup EXIT

good=()
for i in $(seq 0 19); do [ "$i" -ne 7 ] && good+=("r$i@example.jp"); done
postfix_fixture_start "$work" "${good[@]}"

for i in $(seq 0 19); do
  if [ "$i" -eq 7 ]; then printf '宛先%s,,nobody%s@example.jp\r\n' "$i" "$i"; else printf '宛先%s,,r%s@example.jp\r\n' "$i" "$i"; fi
done >"$work/list.csv"
printf 'いつもお世話になっております。\r\n' >"$work/body.txt"
mkdir -p "$work/config/Quillpost" "$work/xdgdata"
printf '%s\n' "[Settings]" "Account=0" "szServer=127.0.0.1" "szPort=$postfix_port" \
  "Check1V=0" "Check2V=0" "szFrom=shop@example.jp" "szFromName=山田商店" "NotAdvertising=1" \
  "User=shop" "UserPass=" >"$work/config/Quillpost/Quillpost.ini"

XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/xdgdata" \
  "$quillpost" send --account 0 --list "$work/list.csv" --subject "春のご案内" --body "$work/body.txt" \
  --log "$work/SendMail.Log" >"$work/out" 2>"$work/err" || { cat "$work/out" "$work/err" >&2; exit 1; }

# Postfix logs a session's commands when it ends, and hands each message to
# discard after it: wait for both.
for _ in $(seq 1 300); do
  if grep -v 'commands=0/0' "$work/maillog" | grep -q 'disconnect from' && [ "$(postfix_fixture_delivered "$work")" -ge 19 ]; then break; fi
  sleep 0.1
done
fail() { echo "FAIL: $*" >&2; sed 's/^/  maillog: /' "$work/maillog" | grep -E 'smtpd|discard' | head -60 >&2; exit 1; }
# The readiness probe's session said nothing (commands=0/0).
stats="$(grep 'disconnect from' "$work/maillog" | grep -v 'commands=0/0' | sed -E 's/.*disconnect from [^ ]+ //')"
# One session; every message went with BDAT; the unknown recipient's alone failed.
[ "$(echo "$stats" | grep -c 'commands=')" -eq 1 ] || fail "sessions: $stats"
echo "$stats" | grep -q 'rcpt=19/20' || fail "recipients: $stats"
echo "$stats" | grep -q 'bdat=19/20' || fail "BDAT: $stats"
[ "$(postfix_fixture_delivered "$work")" -eq 19 ] || fail "delivered $(postfix_fixture_delivered "$work") of 19"
/usr/bin/python3 - "$work/SendMail.Log" <<'PY' || fail "the log"
import sys
lines = open(sys.argv[1], 'rb').read().decode('cp932').splitlines()
records = [l for l in lines if '@example.jp' in l and 'shop@example.jp' not in l]
sent = [l for l in records if '送信済' in l]
errors = [l for l in records if '送信済' not in l]
ok = len(records) == 20 and len(sent) == 19 and len(errors) == 1 and 'nobody7@example.jp' in errors[0] and '550' in errors[0]
if not ok:
    print('\n'.join(lines), file=sys.stderr)
sys.exit(0 if ok else 1)
PY
echo "PASS: $stats"
