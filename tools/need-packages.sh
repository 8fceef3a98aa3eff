#!/bin/sh
# Installs the Debian packages that the build still lacks, then returns.
# Arguments are "command:package" (a program that must be found) or a plain
# package name (a library, checked with dpkg).
set -e
missing=""
for want in "$@"; do
  case "$want" in
    *:*) command -v "${want%%:*}" >/dev/null 2>&1 || missing="$missing ${want#*:}" ;;
    *) dpkg-query -W -f='${Status}' "$want" 2>/dev/null | grep -q "ok installed" || missing="$missing $want" ;;
  esac
done
[ -z "$missing" ] && exit 0
if ! command -v apt-get >/dev/null 2>&1; then
  echo "missing:$missing (no apt-get here: install them by hand)" >&2
  exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
  sudo=""
elif command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  echo "missing:$missing (not root and no sudo: install them as root)" >&2
  exit 1
fi
echo "installing:$missing"
# env, not a plain assignment: sudo would drop it.
# shellcheck disable=SC2086
if ! $sudo apt-get update -qq || ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing; then
  echo "could not install:$missing (apt-get failed, see above)" >&2
  exit 1
fi
