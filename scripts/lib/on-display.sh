# Runs its arguments on the display that xvfb-run gave it, with the project's Wine prefix booted
# and the simulated device kit registered; stops the wineserver afterwards whatever happened.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

wineserver -k 2>/dev/null || true  # a server started without this display cannot open windows
trap 'wineserver -k 2>/dev/null || true' EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Booting the Wine prefix in $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # Without a window manager, Wine's managed windows stall each hide or destroy for seconds.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # A crashing test prints its backtrace and ends instead of waiting on a crash dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
fi
# Wine's Direct3D gives each device a command-stream thread of its own, and its video renderer
# leaves its device behind: after many graphs, hundreds of such threads, each holding OpenGL state,
# race the process's exit (glibc's "double free", libglvnd's DispatchCurrentUnref assertion).
# Without that thread the renderer draws on the threads that call it; nothing is left behind.
if ! grep -q '"csmt"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >/dev/null 2>&1
fi
# Every run starts at 96 DPI, whatever a run cut short at another scale left behind.
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
wine "$BUILD/bin/simcam.exe" install

"$@"
