// Drives the running program from outside, as a user's automation tool would: finds its windows,
// reports what they show and presses their buttons. One command a run; prints its findings.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const wchar_t kMainClass[] = L"VANTORQMIRASEE";

// A control with this id anywhere below a window (property pages nest it in a child dialog).
HWND FindDescendant(HWND parent, int id) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) == id) return child;
    if (HWND found = FindDescendant(child, id)) return found;
  }
  return nullptr;
}

struct DialogQuery {
  int controlId;
  HWND found;
};

BOOL CALLBACK MatchDialogHolding(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<DialogQuery*>(param);
  wchar_t name[16];
  GetClassNameW(window, name, 16);
  if (lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(window) || FindDescendant(window, query->controlId) == nullptr)
    return TRUE;
  query->found = window;
  return FALSE;
}

// Caption "*" stands for any dialog holding the control; frames opened by the system have no
// caption of ours.
HWND FindDialog(const wchar_t* caption, int controlId) {
  if (lstrcmpW(caption, L"*") != 0) {
    HWND window = FindWindowW(L"#32770", caption);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
  }
  DialogQuery query = {controlId, nullptr};
  EnumWindows(MatchDialogHolding, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

HWND WaitWindow(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs, int controlId = 0) {
  const DWORD end = GetTickCount() + timeoutMs;
  for (;;) {
    HWND window =
        lstrcmpW(className, L"#32770") == 0 ? FindDialog(caption, controlId) : FindWindowW(className, caption);
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

// Prints the texts of the dialog with this caption once it shows.
int Dialog(const wchar_t* caption, DWORD timeoutMs) {
  HWND dialog = WaitWindow(L"#32770", caption, timeoutMs);
  if (dialog == nullptr) return 1;
  EnumChildWindows(dialog, PrintStatic, 0);
  return 0;
}

int Press(const wchar_t* caption, int id, DWORD timeoutMs) {
  HWND dialog = WaitWindow(L"#32770", caption, timeoutMs, id);
  if (dialog == nullptr) return 1;
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  return 0;
}

// Asks the main window to close, as its close box would.
int CloseMain() {
  HWND main = FindWindowW(kMainClass, nullptr);
  return main != nullptr && PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
}

// Gives the main window this outer size, as dragging its border would.
int ResizeMain(int width, int height) {
  HWND main = FindWindowW(kMainClass, nullptr);
  return main != nullptr && SetWindowPos(main, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER) ? 0 : 1;
}

// Selects a combo box entry as the user would, so the dialog hears CBN_SELCHANGE; prints the entry.
int Choose(const wchar_t* caption, int id, int index, DWORD timeoutMs) {
  HWND dialog = WaitWindow(L"#32770", caption, timeoutMs, id);
  HWND list = dialog != nullptr ? FindDescendant(dialog, id) : nullptr;
  if (list == nullptr || SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR) return 1;
  SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  wchar_t text[256] = L"";
  // GetWindowText would answer another process's window with its caption, not the selection.
  SendMessageW(list, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
  std::wprintf(L"%ls\n", text);
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
      L"usage: e2e_driver client [ms] | dialog CAPTION [ms] | press CAPTION ID [ms] |\n"
      L"       choose CAPTION ID INDEX [ms] | close-main |\n"
      L"       resize-main WIDTH HEIGHT | gone-main [ms] | gone CAPTION [ms]\n"
      L"CAPTION \"*\" in press and choose: any dialog holding control ID.\n",
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
  if (command == L"dialog" && argc >= 3) return Dialog(argv[2], timeout(3));
  if (command == L"press" && argc >= 4)
    return Press(argv[2], static_cast<int>(std::wcstol(argv[3], nullptr, 10)), timeout(4));
  if (command == L"choose" && argc >= 5)
    return Choose(argv[2], static_cast<int>(std::wcstol(argv[3], nullptr, 10)),
                  static_cast<int>(std::wcstol(argv[4], nullptr, 10)), timeout(5));
  if (command == L"close-main") return CloseMain();
  if (command == L"resize-main" && argc >= 4)
    return ResizeMain(static_cast<int>(std::wcstol(argv[2], nullptr, 10)),
                      static_cast<int>(std::wcstol(argv[3], nullptr, 10)));
  if (command == L"gone-main") return Gone(kMainClass, nullptr, timeout(2));
  if (command == L"gone" && argc >= 3) return Gone(L"#32770", argv[2], timeout(3));
  return Usage();
}
