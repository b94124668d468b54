# The demo's tour on an Xvfb display: choose the webcam, resize, choose the capture card, switch
# its input, close. Argument: the folder for the screenshots.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
SHOTS=$1
shot() { sleep 1.5; import -window root "$SHOTS/$1.png"; echo "  $SHOTS/$1.png"; }

register_devices
wine "$BUILD/bin/mirasee.exe" &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
main=
for _ in $(seq 1 50); do
  main=$(xdotool search --onlyvisible --name '^VANTORQ-MIRAsee$' 2>/dev/null | head -1) && [ -n "$main" ] && break
  sleep 0.2
done
[ -n "$main" ] || { echo "the program's window did not show" >&2; exit 1; }
keys() { xdotool windowfocus --sync "$main" 2>/dev/null || true; xdotool key --delay 200 "$@"; }
shot 1-start
keys alt+f Return
sleep 1.5
xdotool key End Return  # "SimCam Webcam", the last in the sorted list
shot 2-webcam
xdotool windowsize "$main" 900 420
shot 3-resized
keys alt+f Return
sleep 1.5
xdotool key Home Return  # "SimCam Capture Card"
shot 4-capture-card
keys alt+f Right Down Down Return  # Controls > Inputs...
sleep 1.5
xdotool key Tab Down
shot 5-input-dialog
xdotool key Escape
shot 6-new-input
keys alt+F4
wait $app || true
