#!/usr/bin/env bash
# A write past the file-size limit (ulimit -f) must fail with "File too large" and leave the
# program running, not end it by SIGXFSZ: each program ignores the signal from its start. Each
# one is started with its output going to a file already past the limit, on a display platform
# that does not exist (the toolkit says so and aborts): a program that did not ignore the signal
# would be ended by SIGXFSZ at the first word it writes.
# Usage: check-file-size-limit.sh <program>...
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"
head -c 8192 /dev/zero >"$work/full"
status=0
for program in "$@"; do
  (
    ulimit -c 0
    ulimit -f 4
    XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
      QT_QPA_PLATFORM=no-such-platform exec "$program" --version >>"$work/full" 2>&1
  )
  rc=$?
  if [ "$rc" -eq $((128 + $(kill -l XFSZ))) ]; then
    echo "$(basename "$program"): ended by SIGXFSZ at its first write past the file-size limit"
    status=1
  else
    echo "$(basename "$program"): not ended by SIGXFSZ (exit status $rc)"
  fi
done
exit $status
