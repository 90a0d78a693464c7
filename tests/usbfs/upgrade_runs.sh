#!/usr/bin/env bash
# Whole upgrades by the shipped flashwell-cli, unchanged, through the system's libusb and the
# kernel's usbdevfs interface, with the virtual key behind flashwell-usbfs-key. The runs go at
# real pace (about 35 s each), so the scenarios named on the command line run side by side.
# Each checks the exit code, the final text and the key's final image, which must be the one
# the in-process emulated run (simulated clock) leaves.
#
#   upgrade_runs.sh USBFS_KEY CLI SCENARIO...
#   scenarios: fresh booter small-packet never pull-then-recover foreign-and-stall
set -uo pipefail
usbfs_key=$1 cli=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME EXPECTED_EXIT EXPECTED_TEXT KEY_OPTIONS -- CLI_OPTIONS: one usbfs run, checked.
run() {
  local name=$1 want=$2 text=$3
  shift 3
  local key_opts=()
  while [ "$1" != -- ]; do key_opts+=("$1"); shift; done
  shift
  local started=$SECONDS
  "$usbfs_key" --trace "$work/$name.trace" "${key_opts[@]}" -- "$cli" "$@" --timeout 150 \
    >"$work/$name.out" 2>"$work/$name.err"
  local got=$?
  echo "$name: exit $got after $((SECONDS - started)) s; $(grep 'ioctls:' "$work/$name.err" | sed 's/^.*ioctls://')"
  local bad=0
  [ "$got" = "$want" ] || { echo "$name: FAILED: exit $got, expected $want"; bad=1; }
  grep -qF "$text" "$work/$name.out" || { echo "$name: FAILED: no \"$text\""; bad=1; }
  if [ "$bad" = 1 ]; then tail -n 25 "$work/$name.out" "$work/$name.err"; return 1; fi
}

# emulated NAME STATE CLI_OPTIONS...: the same upgrade in process, for the key image. STATE
# starts the key; once its file has been written, the key goes on from there.
emulated() {
  local name=$1 start=(--emulated="$2")
  shift 2
  [ -f "$work/$name.want" ] && start=(--emulated)
  "$cli" "${start[@]}" --clock simulated --key-state "$work/$name.want" "$@" >/dev/null
}

same_image() {
  if cmp -s "$work/$1.key" "$work/$1.want"; then return 0; fi
  echo "$1: FAILED: the key's final image differs from the emulated run's"
  return 1
}

# A trace of the whole upgrade, taken at the key: JSON Lines in the emulated driver's format,
# the restarts as unplug and plug.
whole_trace() {
  python3 - "$work/$1.trace" <<'PY' || { echo "$1: FAILED: trace"; return 1; }
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
kinds = [e["ev"] for e in events]
assert all(isinstance(e["t"], int) for e in events)
assert kinds[0] == "plug" and kinds.count("plug") >= 2 and kinds.count("unplug") >= 1, kinds[:5]
for e in events:
    if e["ev"] == "control":
        assert len(e["setup"]) == 16 and "ok" in e
    if e["ev"] in ("in", "out"):
        assert e["ep"] in (2, 129, 130) and "len" in e and "data" in e
assert kinds.count("out") > 100 and kinds.count("in") > 10 and kinds.count("control") > 100
# Each arrival is under a new device number.
nodes = [e["path"] for e in events if e["ev"] == "open" and e["ok"]]
assert len(set(nodes)) == kinds.count("plug"), (set(nodes), kinds.count("plug"))
PY
}

scenario() {
  case $1 in
    fresh | booter | small-packet)
      run "$1" 0 "Congratulations!" --state "$1" --key-state "$work/$1.key" -- --mode only --yes &&
        emulated "$1" "$1" --mode only --yes && same_image "$1" && whole_trace "$1" ;;
    never)
      run never 0 "The MEMPOD now doesn't upgrade" --key-state "$work/never.key" -- --mode never --yes &&
        emulated never fresh --mode never --yes && same_image never ;;
    pull-then-recover)
      # Pulled at the second block of the third component and back 5 s later; the run fails and
      # the next one, on the key as it was left, finishes the upgrade.
      run pulled 1 "ERROR on Copying Firmware" --fault unplug-during-regions \
        --key-state "$work/recovered.key" -- --mode only --yes &&
        run recovered 0 "Congratulations!" --key-state "$work/recovered.key" -- --mode only --yes &&
        { emulated recovered fresh --mode only --yes --fault unplug-during-regions; [ $? = 1 ]; } &&
        emulated recovered fresh --mode only --yes && same_image recovered ;;
    foreign-and-stall)
      # A storage device of the key's vendor listed first, and the second read stalling its
      # endpoint until the halt is cleared.
      run foreign 0 "Congratulations!" --foreign-device --fault in:stall@2 \
        --key-state "$work/foreign.key" -- --mode only --yes &&
        emulated foreign fresh --mode only --yes --fault in:stall@2 && same_image foreign &&
        { grep -q "requests to the foreign device: 0" "$work/foreign.err" ||
          { echo "foreign: FAILED: requests reached the foreign device"; false; }; } &&
        { grep -q "CLEAR_HALT 1" "$work/foreign.err" ||
          { echo "foreign: FAILED: the halt was not cleared once"; false; }; } ;;
    *) echo "unknown scenario $1"; return 1 ;;
  esac
}

checked() {
  scenario "$1" && return 0
  echo "$1: FAILED"
  return 1
}

pids=()
for s in "$@"; do
  checked "$s" >"$work/$s.result" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || failed=1
  cat "$work/${*:i+1:1}.result"
done
exit "$failed"
