#pragma once

// Drives a modal window (property frame, dialog, message box) that a call on this thread opens:
// a thread timer runs inside the modal loop, finds the window and acts on it.
#include <windows.h>

#include <functional>
#include <string>

namespace modaltest {

// `act` receives each visible dialog of this thread until it returns true; a dialog still open
// after `patienceMs` is cancelled so that no test hangs.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<bool(HWND)> act, DWORD patienceMs = 5000);
  ~ModalDriver();
  bool acted() const { return acted_; }
  bool seen() const { return seen_; }
  const std::wstring& caption() const { return caption_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void OnTick();

  std::function<bool(HWND)> act_;
  DWORD deadline_;
  UINT_PTR timer_ = 0;
  bool acted_ = false;
  bool seen_ = false;
  std::wstring caption_;
};

// Presses a dialog's button (IDOK, IDCANCEL, ...) as a click would.
void PressButton(HWND dialog, int id);
// The first descendant window of `parent` with this control id and class, or null.
HWND FindControl(HWND parent, int id, const wchar_t* className);

}  // namespace modaltest
