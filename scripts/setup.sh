#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any of them is missing.
# Idempotent: a machine that has everything is left alone and nothing is fetched.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config libcli11-dev locales
  clang clang-format-14 libclang-rt-14-dev llvm
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcairo2-dev libfontconfig-dev libfreetype-dev libx11-dev
  fonts-liberation fonts-dejavu-core
  mingw-w64 g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine
  xvfb xdotool xclip x11-apps imagemagick libxfixes-dev
  python3
  dpkg-dev desktop-file-utils groff-base shellcheck lintian
  qemu-system-x86 busybox-static
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The value log's test writes in a German locale, whose decimal comma must not reach the log.
locale_missing() { ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; }

if [ ${#missing[@]} -eq 0 ] && ! locale_missing; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if locale_missing; then
  echo "setup: adding the locale de_DE.UTF-8"
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
