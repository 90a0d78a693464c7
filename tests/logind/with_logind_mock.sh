#!/usr/bin/env bash
# with_logind_mock.sh PROGRAM...: runs PROGRAM with the system bus pointed at a private bus on
# which python3-dbusmock's logind template answers. Exit 77 (skipped) without dbus-daemon or
# dbusmock.
set -u
python=/usr/bin/python3
command -v dbus-daemon >/dev/null && "$python" -c 'import dbusmock' 2>/dev/null ||
  { echo "skipped: dbus-daemon or python3-dbusmock is not installed"; exit 77; }
work=$(mktemp -d)
dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 \
  3>"$work/address" 4>"$work/pid" || { rm -rf "$work"; exit 1; }
export DBUS_SYSTEM_BUS_ADDRESS
DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$work/address")
"$python" -m dbusmock --system --template logind >"$work/mock.log" 2>&1 &
mock=$!
trap 'kill "$mock" "$(cat "$work/pid")" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 200); do
  dbus-send --system --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.login1 2>/dev/null |
    grep -q "boolean true" && break
  sleep 0.05
done
"$@"
