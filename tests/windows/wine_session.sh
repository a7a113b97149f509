#!/usr/bin/env bash
# Starts and stops the wine session of the Windows tests: a prefix of the
# build's own (WINEPREFIX, set by CTest), made once with `wineboot -i`, and
# a persistent wineserver for it, so that each test starts in milliseconds
# rather than seconds. `stop` ends this prefix's wineserver and the wine
# processes attached to it, nothing else.
#
# usage: wine_session.sh start|stop BUILD_DIR
set -euo pipefail

action=$1
build=$2
: "${WINEPREFIX:?WINEPREFIX must name the tests' own prefix}"

case "$action" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine_session: creating the prefix $WINEPREFIX"
      rm -rf "$WINEPREFIX"
      wineboot -i
      # Let the server that wineboot started write the registry and exit,
      # then start the persistent one on the finished prefix.
      wineserver -w
    fi
    wineserver -p
    # wine must hand over exit statuses and stderr bytes; a wine that
    # cannot run 32-bit programs reports every run as a success.
    status=0
    wine "$build/tests/windows/win_host.exe" --exit 7 2> "$build/tests/windows/session-check" || status=$?
    if [ "$status" -ne 7 ] || [ "$(od -An -c "$build/tests/windows/session-check" | tr -d ' ')" != 'win_host\r\n' ]; then
      echo "wine_session: a 32-bit test program did not run under wine (exit $status, expected 7):" >&2
      od -c "$build/tests/windows/session-check" >&2
      exit 1
    fi
    echo "wine_session: wine runs 32-bit programs"
    ;;
  stop)
    wineserver -k || true
    ;;
  *)
    echo "usage: wine_session.sh start|stop BUILD_DIR" >&2
    exit 64
    ;;
esac
