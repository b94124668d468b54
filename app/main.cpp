// VANTORQ-MIRAsee: the live picture of a video capture device in a window.
#include <windows.h>

#include "app/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  return RunApplication(instance, showCommand);
}
