#!/usr/bin/env bash
# End-to-end tests of the real program: started as its own process under Wine on the current
# (Xvfb) display, driven with real keys (xdotool) and our window driver, checked on the screen.
# Usage: program_test.sh BIN-FOLDER [SCENARIO...]. Needs DISPLAY and WINEPREFIX set, as
# scripts/lib/on-display.sh sets them.
set -u
BIN=$1
HERE=$(cd "$(dirname "$0")" && pwd)
SHOTS=$(mktemp -d)
FAILURES=${E2E_FAILURES:-$BIN/../e2e-failures}
failure_shots=0
passed=0
failed=0
app_pid=

driver() { wine "$BIN/e2e_driver.exe" "$@" 2>/dev/null | tr -d '\r'; }
# Keeps what the screen showed at the failure, for the reader of a CI log.
fail() {
  echo "  FAILED: $*"
  [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null && echo "  (the program had ended; its log:)" &&
    grep -v -e wine32 -e multiarch -e 'dpkg --add' -e 'apt-get install' "$SHOTS/program.log" | tail -15 | sed 's/^/    /'
  scenario_ok=0
  mkdir -p "$FAILURES"
  import -window root "$FAILURES/$current-$((++failure_shots)).png" 2>/dev/null
}
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }

register() {
  wine "$BIN/simcam.exe" remove --all >/dev/null 2>&1
  local profile
  for profile in "$@"; do wine "$BIN/simcam.exe" add "$(winepath -w "$HERE/profiles/$profile")" >/dev/null 2>&1; done
}

start_app() {
  WINEDEBUG=err+all,warn+seh wine "$BIN/mirasee.exe" >/dev/null 2>"$SHOTS/program.log" &
  app_pid=$!
  read -r cx cy cw ch < <(driver client 20000) || true
  main=
  local i
  for i in $(seq 1 50); do
    main=$(xdotool search --onlyvisible --name '^VANTORQ-MIRAsee$' 2>/dev/null | head -1)
    [ -n "$main" ] && return 0
    sleep 0.2
  done
  fail "the main window did not show"
}

stop_app() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    driver close-main >/dev/null
    driver gone-main 5000 >/dev/null || kill "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
  fi
  app_pid=
  pgrep -f 'mirasee\.exe' >/dev/null && { fail "a program process was left behind"; pkill -f 'mirasee\.exe'; }
  return 0
}

keys() {
  xdotool windowfocus --sync "$main" 2>/dev/null
  xdotool key --delay 150 "$@"
}

# The colour at a client point of the main window, as RRGGBB, from a fresh screenshot.
pixel() {
  import -window root "$SHOTS/screen.png" 2>/dev/null
  convert "$SHOTS/screen.png" -crop "1x1+$((cx + $1))+$((cy + $2))" -depth 8 txt:- 2>/dev/null |
    tail -1 | grep -o '#[0-9A-F]\{6\}' | tr -d '#'
}

# True when two RRGGBB colours differ by at most 24 in each channel.
near() {
  local a=$1 b=$2 i
  for i in 0 2 4; do
    local d=$((16#${a:$i:2} - 16#${b:$i:2}))
    [ ${d#-} -le 24 ] || return 1
  done
}

wait_pixel() {  # x y colour: waits up to 5 s for the colour to show
  local i
  for i in $(seq 1 25); do near "$(pixel "$1" "$2")" "$3" && return 0; sleep 0.2; done
  return 1
}

select_first_source() {
  keys alt+f Return
  driver dialog 'Select video capture source' 10000 >/dev/null || fail "the source dialog did not open"
  xdotool key Return
}

scenario() {
  scenario_ok=1
  echo "scenario: $1"
  current=$1
  "$1"
  stop_app
  if [ "$scenario_ok" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

startup() {
  register webcam.txt
  start_app
  expect_eq "$cw $ch" "640 480" "client area at start"
  expect_eq "$(pixel 320 240)" "000000" "empty client area"
}

choose_device() {
  register webcam.txt
  start_app
  select_first_source
  wait_pixel 40 150 FFFFFF || fail "the test pattern's white bar is not drawn"
  import -window root "$SHOTS/webcam.png"
}

letterbox_and_resize() {
  register pal.txt
  start_app
  select_first_source
  wait_pixel 30 150 FFFFFF || fail "the picture is not drawn inside the letterbox"
  read -r cx cy cw ch < <(driver client)
  expect_eq "$cw $ch" "640 480" "client area of a 720x576 source"
  expect_eq "$(pixel 10 240)" "000000" "left bar"
  expect_eq "$(pixel 630 240)" "000000" "right bar"
  xdotool windowsize "$main" 1000 440
  sleep 1
  read -r cx cy cw ch < <(driver client)
  # Border pixels are stale under Wine right after a resize; the picture's new place is not.
  local width=$((ch * 720 / 576))
  wait_pixel $(((cw - width) / 2 + width / 16)) $((ch / 3)) FFFFFF || fail "the picture did not move into the new letterbox"
}

# Controls is the menu bar's second menu: it is reached from File, as a keyboard user would.
controls_command() {  # position of the command in the Controls menu, from 0
  local steps=(alt+f Right) i
  for ((i = 0; i < $1; i++)); do steps+=(Down); done
  keys "${steps[@]}" Return
}

switch_input() {
  register pal.txt
  start_app
  select_first_source
  wait_pixel 600 470 FF8000 || fail "the first input (Tuner) is not routed at start"
  controls_command 2
  local chosen
  chosen=$(driver choose Properties 1001 0)  # the list is sorted: Composite comes first
  expect_eq "$chosen" "Video Composite" "first entry of the input list"
  wait_pixel 600 470 00C080 || fail "the picture does not show the Composite input"
  driver press Properties 1000 >/dev/null
  driver gone Properties 5000 >/dev/null || fail "Done did not close the input dialog"
}

change_format() {
  register formats.txt
  start_app
  select_first_source
  wait_pixel 40 150 FFFFFF || fail "the picture is not drawn"
  controls_command 0
  driver choose '*' 100 1 >/dev/null || fail "the format page did not open"
  driver press '*' 1 >/dev/null
  local i
  for i in $(seq 1 50); do
    read -r cx cy cw ch < <(driver client)
    [ "$cw $ch" = "320 240" ] && break
    sleep 0.2
  done
  expect_eq "$cw $ch" "320 240" "client area after choosing 320x240"
  wait_pixel 20 80 FFFFFF || fail "the picture is not drawn at the new size"
}

device_loss() {
  register fragile.txt
  start_app
  select_first_source
  local text
  text=$(driver dialog Error 15000)
  expect_eq "$text" 'The device "E2E Fragile" has been lost. ' "box 106"
  driver press Error 1 >/dev/null
  driver gone Error 5000 >/dev/null || fail "box 106 did not close"
  wait_pixel 40 150 000000 || fail "the window is not black after the loss"
}

about_box() {
  register webcam.txt
  start_app
  keys alt+question
  driver dialog 'About VANTORQ-MIRAsee' 10000 | grep -q 'VANTORQ 1.2 MIRAsee' || fail "the About box did not open"
  driver press 'About VANTORQ-MIRAsee' 1004 >/dev/null
  sleep 1
  driver dialog 'About VANTORQ-MIRAsee' 2000 >/dev/null || fail "the web button closed the box or hung"
  driver press 'About VANTORQ-MIRAsee' 1 >/dev/null
  driver gone 'About VANTORQ-MIRAsee' 5000 >/dev/null || fail "OK did not close the About box"
}

exit_command() {
  register webcam.txt
  start_app
  select_first_source
  keys alt+f x
  driver gone-main 10000 >/dev/null || fail "Exit did not end the program"
  expect_exit_code_0
}

close_box() {  # with a device open: it is closed on the way out, and the process ends cleanly
  register webcam.txt
  start_app
  select_first_source
  keys alt+F4
  driver gone-main 10000 >/dev/null || fail "the close box did not end the program"
  expect_exit_code_0
}

# A device whose driver hangs in its stop, and whose DLL's detach waits for it: the program still
# ends within 5 s of the request.
stalled_then() {
  register stalling.txt
  start_app
  select_first_source
  wait_pixel 40 150 FFFFFF || fail "the test pattern's white bar is not drawn"
  sleep 1
  keys "$@"
  local i
  for i in $(seq 1 50); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$app_pid" 2>/dev/null; then
    fail "the program still ran 5 s after $*"
    kill -9 "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
    app_pid=
    return
  fi
  expect_exit_code_0
}
stalled_exit() { stalled_then alt+f x; }
stalled_close_box() { stalled_then alt+F4; }

expect_exit_code_0() {
  local status=0
  wait "$app_pid" 2>/dev/null || status=$?
  app_pid=
  [ "$status" -eq 0 ] || fail "the program ended with exit code $status"
}

scenarios=("${@:2}")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(startup choose_device letterbox_and_resize switch_input change_format device_loss about_box exit_command close_box
  stalled_exit stalled_close_box)
for name in "${scenarios[@]}"; do
  scenario "$name"
done
wine "$BIN/simcam.exe" remove --all >/dev/null 2>&1
rm -rf "$SHOTS"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
