#!/bin/bash
# Starts Xvfb on a free display with openbox, which frames windows as a
# desktop does, and runs the main window through three start/exit cycles
# (wm_cycle.cpp). The first start must open 7000 x 5000 twips outer, every
# start must open at the size the previous exit stored, the stored size must
# not change, the controls must be laid out for the framed size, and the
# splash must have been painted while on the screen.
# Exit 77 (skipped) only when no X server can be started here.
set -u
cycle=$1
bound=15   # seconds for each thing to come up

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed (make test installs it)"; exit 77; }
command -v openbox >/dev/null || fail "openbox is not installed (make test installs it)"
command -v xprop >/dev/null || fail "xprop is not installed (make test installs x11-utils)"

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1600x1200x24 -dpi 96 -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
pids+=($!)
for ((i = 0; i < bound * 10; i++)); do
    [ -s "$work/display" ] && break
    kill -0 "${pids[0]}" 2>/dev/null || break
    sleep 0.1
done
display=$(tr -dc 0-9 <"$work/display" 2>/dev/null)
if [ -z "$display" ]; then
    cat "$work/xvfb.log"
    echo "SKIP: Xvfb could not be started"
    exit 77
fi
export DISPLAY=":$display"
echo "Xvfb on $DISPLAY"

# openbox with its packaged defaults, not the user's configuration.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
for ((i = 0; i < bound * 10; i++)); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
    { cat "$work/openbox.log"; fail "openbox did not come up on $DISPLAY"; }

export QT_QPA_PLATFORM=xcb
export PALU_FTP_HOME="$work/program"
mkdir -p "$PALU_FTP_HOME"
: >"$PALU_FTP_HOME/server.lst"   # not the first start: no welcome box

field() { sed -n "s/^$1 //p" "$2"; }
near() {   # near A B: within one pixel (15 twips at 96 DPI)
    awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= 15) }'
}

previous=""
for n in 1 2 3; do
    out="$work/cycle$n"
    timeout 60 "$cycle" >"$out" 2>"$out.err"
    rc=$?
    echo "--- cycle $n (exit $rc)"; cat "$out"
    [ $rc -eq 0 ] || { cat "$out.err"; fail "cycle $n did not end through the close request"; }
    read -r ow oh <<<"$(field outer "$out")"
    read -r sw sh <<<"$(field stored "$out")"
    [ -n "${ow:-}" ] || fail "cycle $n printed no outer size"
    if [ $n -eq 1 ]; then
        [ "$sw $sh" = "- -" ] || fail "cycle 1 found a stored size: $sw $sh"
        near "$ow" 7000 && near "$oh" 5000 || fail "first start opened ${ow}x${oh} twips, not 7000x5000"
    else
        [ "$sw $sh" = "$previous" ] || fail "cycle $n read $sw $sh, the exit before stored $previous"
        near "$ow" "$sw" && near "$oh" "$sh" || fail "cycle $n opened ${ow}x${oh} twips, not the stored ${sw}x${sh}"
    fi
    grep -q '^layout fresh$' "$out" || fail "cycle $n: the controls were not laid out for the framed window"
    [ "$(field 'splash painted' "$out")" -gt 0 ] 2>/dev/null || fail "cycle $n: the splash was never painted on the screen"
    read -r previous <<<"$(timeout 30 "$cycle" --stored-only | sed -n 's/^stored //p')"
    [ $n -eq 1 ] && first="$previous"
    [ "$previous" = "$first" ] || fail "the stored size changed from $first to $previous"
done
echo "stored size stable at $previous"
