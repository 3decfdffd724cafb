#!/usr/bin/env bash
# The platform layer's objects must exist once in a process: neither shared framework may carry
# its own copy of them (two copies mean two main queues, two clocks, and an ODR violation).
# Usage: check-platform-once.sh <platform library> <framework>...
set -euo pipefail
platform=$1
shift
exported=$(nm -DC --defined-only "$platform")
if ! grep -q 'platform::MainQueue::shared()' <<<"$exported"; then
  echo "the platform library does not export platform::MainQueue::shared()"
  exit 1
fi
status=0
for library in "$@"; do
  symbols=$(nm -C --defined-only "$library")
  copies=$(grep -E ' [TtDdBb] platform::' <<<"$symbols" || true)
  if [ -n "$copies" ]; then
    echo "$library carries its own copy of the platform layer:"
    echo "$copies" | head -5
    status=1
  fi
done
exit $status
