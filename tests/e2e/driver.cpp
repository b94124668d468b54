// Drives the running program from outside, as a user's automation tool would: finds its windows,
// reports what they show and presses their buttons. One command a run; prints its findings.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const wchar_t kMainClass[] = L"VANTORQMIRASEE";

HWND WaitWindow(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) {
  const DWORD end = GetTickCount() + timeoutMs;
  for (;;) {
    HWND window = FindWindowW(className, caption);
    if (window != nullptr && IsWindowVisible(window)) return window;
    if (static_cast<LONG>(GetTickCount() - end) > 0) return nullptr;
    Sleep(50);
  }
}

BOOL CALLBACK PrintStatic(HWND window, LPARAM) {
  wchar_t name[16], text[2100];
  GetClassNameW(window, name, 16);
  if (lstrcmpiW(name, L"Static") != 0) return TRUE;
  GetWindowTextW(window, text, 2100);
  if (text[0] != L'\0') std::wprintf(L"%ls\n", text);
  return TRUE;
}

int Client(DWORD timeoutMs) {
  HWND main = WaitWindow(kMainClass, nullptr, timeoutMs);
  if (main == nullptr) return 1;
  RECT client{};
  GetClientRect(main, &client);
  POINT origin = {0, 0};
  ClientToScreen(main, &origin);
  std::wprintf(L"%ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
  return 0;
}

// "enabled" or "greyed" for each Controls command, in menu order.
int MenuState() {
  HWND main = FindWindowW(kMainClass, nullptr);
  if (main == nullptr) return 1;
  HMENU controls = GetSubMenu(GetMenu(main), 1);
  for (UINT command : {32781u, 32780u, 32779u, 32782u})
    std::wprintf(L"%ls\n", (GetMenuState(controls, command, MF_BYCOMMAND) & MF_GRAYED) ? L"greyed" : L"enabled");
  return 0;
}

// Prints the texts of the dialog with this caption once it shows.
int Dialog(const wchar_t* caption, DWORD timeoutMs) {
  HWND dialog = WaitWindow(L"#32770", caption, timeoutMs);
  if (dialog == nullptr) return 1;
  EnumChildWindows(dialog, PrintStatic, 0);
  return 0;
}

int Press(const wchar_t* caption, int id, DWORD timeoutMs) {
  HWND dialog = WaitWindow(L"#32770", caption, timeoutMs);
  if (dialog == nullptr) return 1;
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  return 0;
}

int Gone(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) {
  const DWORD end = GetTickCount() + timeoutMs;
  while (FindWindowW(className, caption) != nullptr) {
    if (static_cast<LONG>(GetTickCount() - end) > 0) return 1;
    Sleep(50);
  }
  return 0;
}

int Usage() {
  std::fputws(
      L"usage: e2e_driver client [ms] | menu | dialog CAPTION [ms] | press CAPTION ID [ms] |\n"
      L"       gone-main [ms] | gone CAPTION [ms]\n",
      stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring command = argv[1];
  const auto timeout = [&](int index) {
    return argc > index ? static_cast<DWORD>(std::wcstoul(argv[index], nullptr, 10)) : 10000u;
  };
  if (command == L"client") return Client(timeout(2));
  if (command == L"menu") return MenuState();
  if (command == L"dialog" && argc >= 3) return Dialog(argv[2], timeout(3));
  if (command == L"press" && argc >= 4)
    return Press(argv[2], static_cast<int>(std::wcstol(argv[3], nullptr, 10)), timeout(4));
  if (command == L"gone-main") return Gone(kMainClass, nullptr, timeout(2));
  if (command == L"gone" && argc >= 3) return Gone(L"#32770", argv[2], timeout(3));
  return Usage();
}
