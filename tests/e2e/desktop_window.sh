#!/usr/bin/env bash
# Checks what the desktop reads from the program's window on the X display:
#   desktop_window.sh WINDOW PID ICON_FILES
# WM_CLASS names velmorant-demo (the desktop entry's StartupWMClass),
# _NET_WM_PID is PID on this host (WM_CLIENT_MACHINE), and _NET_WM_ICON holds the sizes 16, 32, 48 and 64 of
# the icon files ICON_FILES (a path with SIZE for the size, as in
# packaging/icons/velmorant-demo-SIZE.png): the same transparency everywhere
# and the same colour wherever a pixel is opaque (elsewhere the colour went
# through cairo's premultiplied form).
set -u
window=$1 pid=$2 icon_files=$3
status=0
fail() { echo "FAILED: $*" >&2; status=1; }

class=$(xprop -id "$window" WM_CLASS)
[ "$class" = 'WM_CLASS(STRING) = "velmorant-demo", "velmorant-demo"' ] || fail "the window's class: $class"
[ "$(xprop -id "$window" _NET_WM_PID)" = "_NET_WM_PID(CARDINAL) = $pid" ] || fail "the window's process: $(xprop -id "$window" _NET_WM_PID), not $pid"
machine=$(xprop -id "$window" WM_CLIENT_MACHINE)
[ "$machine" = "WM_CLIENT_MACHINE(STRING) = \"$(hostname)\"" ] || fail "the window's host: $machine"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
xprop -id "$window" -f _NET_WM_ICON 32c ' = $0+' _NET_WM_ICON | sed 's/.* = //' >"$work/icon"
for size in 16 32 48 64; do convert "${icon_files//SIZE/$size}" -depth 8 "rgba:$work/$size.rgba"; done
python3 - "$work" <<'PYTHON' || fail "the window's icon is not the program's"
import sys
work = sys.argv[1]
words = [int(w) for w in open(work + "/icon").read().split(",") if w.strip()]
sizes = {}
while words:
    width, height = words[0], words[1]
    sizes[width] = (height, words[2:2 + width * height])
    words = words[2 + width * height:]
if sorted(sizes) != [16, 32, 48, 64]:
    sys.exit(f"sizes {sorted(sizes)}")
for size, (height, pixels) in sizes.items():
    rgba = open(f"{work}/{size}.rgba", "rb").read()
    for i, argb in enumerate(pixels):
        r, g, b, a = rgba[4 * i:4 * i + 4]
        if argb >> 24 != a or (a == 255 and argb != (a << 24 | r << 16 | g << 8 | b)):
            sys.exit(f"{size}x{height}: pixel {i} is {argb:08x}, not {r:02x}{g:02x}{b:02x} at alpha {a:02x}")
PYTHON
exit $status
