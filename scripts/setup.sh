#!/bin/bash
# Installs everything a fresh Debian 12 machine lacks to build the installer
# and run its tests under Wine. Idempotent: when every package is present it
# only checks and returns.
set -euo pipefail

PACKAGES=(
  cmake make python3 curl ca-certificates
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine32:i386 wine64
  xvfb xauth xcompmgr
  msitools wixl osslsigncode openssl
  nginx-light
  imagemagick
  googletest
  fonts-liberation2 fonts-wqy-microhei
  locales
)

missing=()
for p in "${PACKAGES[@]}"; do
  name="${p%%:*}"; arch="${p#*:}"
  [ "$arch" = "$p" ] && arch=""
  if [ -n "$arch" ]; then
    status=$(dpkg-query -W -f='${Status}' "$name:$arch" 2>/dev/null || true)
  else
    status=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null || true)
  fi
  case "$status" in *"install ok installed"*) ;; *) missing+=("$p") ;; esac
done

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Locales used by the code-page tests (ANSI code pages 932 and 1251).
need_locale=0
for l in ja_JP.UTF-8 ru_RU.UTF-8 en_US.UTF-8; do
  locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || need_locale=1
done
if [ $need_locale -eq 1 ]; then
  for l in "ja_JP.UTF-8 UTF-8" "ru_RU.UTF-8 UTF-8" "en_US.UTF-8 UTF-8"; do
    grep -qx "$l" /etc/locale.gen 2>/dev/null || echo "$l" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen >/dev/null
fi
echo "setup: ready"
