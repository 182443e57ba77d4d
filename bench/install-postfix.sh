#!/usr/bin/env bash
# Installs Postfix's programs for the benchmarks without configuring or
# starting the mail service. Sourced by the benchmarks that need it.
if ! command -v postfix >/dev/null && [ ! -x /usr/sbin/postfix ]; then
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
