#include "tests/support/modal_driver.h"

namespace testsupport {
namespace {

ModalDriver* g_active = nullptr;  // the innermost driver acts; outer ones wait

struct Search {
  int id;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK MatchControl(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  wchar_t name[64];
  GetClassNameW(window, name, 64);
  if (GetDlgCtrlID(window) == search->id && lstrcmpiW(name, search->className) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FirstDialog(HWND window, LPARAM parameter) {
  wchar_t name[16];
  GetClassNameW(window, name, 16);
  if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0) {
    *reinterpret_cast<HWND*>(parameter) = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

ModalDriver::ModalDriver(std::function<bool(HWND)> act, DWORD patienceMs)
    : act_(std::move(act)), deadline_(GetTickCount() + patienceMs), previous_(g_active) {
  g_active = this;
  timer_ = SetTimer(nullptr, 0, 20, Tick);
}

ModalDriver::~ModalDriver() {
  KillTimer(nullptr, timer_);
  g_active = previous_;
}

void CALLBACK ModalDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_active != nullptr) g_active->OnTick();
}

void ModalDriver::OnTick() {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FirstDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;
  if (!seen_) {
    seen_ = true;
    wchar_t text[256] = L"";
    GetWindowTextW(dialog, text, 256);
    caption_ = text;
  }
  if (handled_.count(dialog) == 0) {
    const std::wstring text = DialogText(dialog);
    if (act_(dialog)) {
      handled_.insert(dialog);
      texts_.push_back(text);
    }
  }
  if (static_cast<LONG>(GetTickCount() - deadline_) > 0) PressButton(dialog, IDCANCEL);
}

static BOOL CALLBACK AppendStaticText(HWND window, LPARAM parameter) {
  wchar_t name[16];
  GetClassNameW(window, name, 16);
  if (lstrcmpiW(name, L"Static") != 0) return TRUE;
  wchar_t text[4096] = L"";
  GetWindowTextW(window, text, 4096);
  auto* joined = reinterpret_cast<std::wstring*>(parameter);
  if (!joined->empty()) *joined += L"|";
  *joined += text;
  return TRUE;
}

std::wstring DialogText(HWND dialog) {
  std::wstring joined;
  EnumChildWindows(dialog, AppendStaticText, reinterpret_cast<LPARAM>(&joined));
  return joined;
}

std::vector<std::wstring> ComboItems(HWND combo) {
  std::vector<std::wstring> items;
  for (LRESULT i = 0; i < SendMessageW(combo, CB_GETCOUNT, 0, 0); ++i) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) continue;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    items.push_back(text);
  }
  return items;
}

std::wstring ComboSelection(HWND combo) {
  const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (index < 0) return L"";
  const std::vector<std::wstring> items = ComboItems(combo);
  return static_cast<size_t>(index) < items.size() ? items[static_cast<size_t>(index)] : L"";
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

HWND FindControl(HWND parent, int id, const wchar_t* className) {
  Search search{id, className, nullptr};
  EnumChildWindows(parent, MatchControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace testsupport
