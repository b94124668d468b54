# The demo's tour on an Xvfb display: choose the webcam, resize, choose the capture card, switch
# its input, close. Argument: the folder for the screenshots.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
SHOTS=$1
SOURCE_DIALOG='Select video capture source'
shot() { sleep 1.5; import -window root -crop 1000x700+0+0 +repage "$SHOTS/$1.png"; echo "  $SHOTS/$1.png"; }
driver() { wine "$BUILD/bin/e2e_driver.exe" "$@" >/dev/null 2>&1; }

choose_source() {  # index in the sorted list
  keys alt+f Return
  driver choose "$SOURCE_DIALOG" 1002 "$1"
  driver press "$SOURCE_DIALOG" 1
}

register_devices
wine "$BUILD/bin/mirasee.exe" &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
driver client 20000 || { echo "the program's window did not show" >&2; exit 1; }
main=$(xdotool search --onlyvisible --name '^VANTORQ-MIRAsee$' | head -1)
keys() { xdotool windowfocus --sync "$main" 2>/dev/null || true; xdotool key --delay 200 "$@"; }
shot 1-start
choose_source 1  # "SimCam Webcam"
shot 2-webcam
driver resize-main 900 420
shot 3-resized
choose_source 0  # "SimCam Capture Card"
shot 4-capture-card
keys alt+f Right Down Down Return  # Controls > Inputs...
shot 5-input-dialog
driver choose Properties 1001 0
shot 6-new-input
driver press Properties 1000
driver close-main
wait $app || true
