#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, in the build's own prefix,
# with no display unless the caller gives one.
set -euo pipefail
: "${WINEPREFIX:=${HARVIX_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
exec wine "$@"
