#pragma once

// Drives a modal window (property frame, dialog, message box) that a call on this thread opens:
// a thread timer runs inside the modal loop, finds the window and acts on it.
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// `act` receives each visible dialog of this thread until it returns true for it (it has dealt
// with that dialog); later dialogs get their own calls. A dialog still open after `patienceMs`
// is cancelled so that no test hangs.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<bool(HWND)> act, DWORD patienceMs = 5000);
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;
  ~ModalDriver();
  bool acted() const { return !handled_.empty(); }
  size_t handledCount() const { return handled_.size(); }
  bool seen() const { return seen_; }
  const std::wstring& caption() const { return caption_; }
  // The static texts of every dialog dealt with, in order.
  const std::vector<std::wstring>& texts() const { return texts_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void OnTick();

  std::function<bool(HWND)> act_;
  DWORD deadline_;
  UINT_PTR timer_ = 0;
  ModalDriver* previous_;  // a driver further out, active again when this one ends
  std::set<HWND> handled_;
  bool seen_ = false;
  std::wstring caption_;
  std::vector<std::wstring> texts_;
};

// The texts of a dialog's static controls, joined by "|" (a message box's text is one of them).
std::wstring DialogText(HWND dialog);
// The entries of a combo box in its order, and the selected one (empty when none).
std::vector<std::wstring> ComboItems(HWND combo);
std::wstring ComboSelection(HWND combo);
// Presses a dialog's button (IDOK, IDCANCEL, ...) as a click would.
void PressButton(HWND dialog, int id);
// The first descendant window of `parent` with this control id and class, or null.
HWND FindControl(HWND parent, int id, const wchar_t* className);

}  // namespace testsupport
