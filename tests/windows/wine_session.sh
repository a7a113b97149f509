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
: "${WINEPREFIX:?WINEPREFIX must name the prefix of the tests}"

case "$action" in
  start)
    # Every wine command gets its own output files: wine's service
    # processes and the wineserver outlive the command, and one holding
    # CTest's output pipe would keep this test from ever ending.
    log="$build/tests/windows/wine-session.log"
    : > "$log"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine_session: creating the prefix $WINEPREFIX"
      rm -rf "$WINEPREFIX"
      if ! wineboot -i < /dev/null >> "$log" 2>&1; then
        cat "$log" >&2
        exit 1
      fi
      # Let the server that wineboot started write the registry and exit,
      # then start the persistent one on the finished prefix.
      wineserver -w < /dev/null >> "$log" 2>&1
    fi
    wineserver -p < /dev/null >> "$log" 2>&1
    # wine must hand over exit statuses and stderr bytes; a wine that
    # cannot run 32-bit programs reports every run as a success.
    status=0
    check="$build/tests/windows/session-check"
    wine "$build/tests/windows/win_host.exe" --exit 7 < /dev/null >> "$log" 2> "$check" || status=$?
    if [ "$status" -ne 7 ] || [ "$(od -An -c "$check" | tr -d ' ')" != 'win_host\r\n' ]; then
      echo "wine_session: a 32-bit test program did not run under wine (exit $status, expected 7):" >&2
      od -c "$check" >&2
      cat "$log" >&2
      exit 1
    fi
    echo "wine_session: wine runs 32-bit programs"
    ;;
  stop)
    wineserver -k < /dev/null > /dev/null 2>&1 || true
    ;;
  *)
    echo "usage: wine_session.sh start|stop BUILD_DIR" >&2
    exit 64
    ;;
esac
