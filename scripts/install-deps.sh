#!/usr/bin/env bash
# Installs every Debian 12 package the build, the program and the tests need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 qt6-qpa-plugins qt6-translations-l10n
  libsqlite3-dev sqlite3 libcurl4-openssl-dev libssl-dev libicu-dev
  fonts-noto-cjk fonts-ipafont-mincho fonts-ipafont-gothic
  xvfb xauth x11-apps imagemagick poppler-utils
  python3 python3-aiosmtpd openssl dovecot-pop3d nkf
  qtkeychain-qt6-dev gnome-keyring libsecret-tools dbus-daemon nodejs
  clang-format libgmime-3.0-dev
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update
  # The test servers are started by the tests themselves, never as system
  # services: a policy-rc.d that refuses every start keeps the packages'
  # services down. A policy the machine already has stays as it is.
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ] && [ ! -L "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod +x "$policy"
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The test servers from the npm registry (tests/package.json and its lock
# file), into tests/node_modules.
if ! command -v npm >/dev/null; then
  $SUDO apt-get install -y --no-install-recommends npm
fi
tests_dir="$(cd "$(dirname "$0")/../tests" && pwd)"
if [ ! -d "$tests_dir/node_modules/oidc-provider" ]; then
  (cd "$tests_dir" && npm ci --no-audit --no-fund --loglevel=error)
fi
