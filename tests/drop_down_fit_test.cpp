// Fitting a drop-down list to its entries, on real combo boxes.
#include "devices/drop_down_fit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/preview_graph.h"

namespace {

struct Combo {
  simcamtest::TestWindow parent{300, 200};
  HWND combo = CreateWindowW(L"ComboBox", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL, 10, 10, 60, 30,
                             parent.handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  explicit Combo(const std::vector<std::wstring>& entries) {
    for (const auto& entry : entries) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  RECT Dropped() const {
    RECT rect{};
    SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rect));
    return rect;
  }
  LONG DroppedWidth() const { return static_cast<LONG>(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0)); }
  // What the widest entry measures in the combo box's context.
  void Measure(const std::vector<std::wstring>& entries, LONG* widest) const {
    HDC context = GetDC(combo);
    *widest = 0;
    for (const auto& entry : entries) {
      SIZE extent{};
      GetTextExtentPoint32W(context, entry.c_str(), static_cast<int>(entry.size()), &extent);
      if (extent.cx > *widest) *widest = extent.cx;
    }
    ReleaseDC(combo, context);
  }
};

TEST(DropDownFit, ListBecomesAsWideAsItsWidestEntryPlusAScrollBar) {
  const std::vector<std::wstring> entries = {L"Video Composite", L"Video SVideo with a much longer name", L"Tuner"};
  Combo box(entries);
  LONG widest = 0;
  box.Measure(entries, &widest);
  RECT before{};
  GetWindowRect(box.combo, &before);
  FitDropDownWidth(box.parent.handle(), box.combo);
  EXPECT_EQ(box.DroppedWidth(), widest + GetSystemMetrics(SM_CXVSCROLL));
  RECT after{};
  GetWindowRect(box.combo, &after);
  // Wine's combo box decides its dropped height from its items itself; only the top is checked.
  EXPECT_EQ(box.Dropped().top, after.top);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.right - after.left, before.right - before.left) << "the closed width stays";
}

TEST(DropDownFit, EmptyOrBlankListsAreLeftUntouched) {
  for (const auto& entries : {std::vector<std::wstring>{}, std::vector<std::wstring>{L"", L""}}) {
    Combo box(entries);
    const RECT dropped = box.Dropped();
    const LONG width = box.DroppedWidth();
    FitDropDownWidth(box.parent.handle(), box.combo);
    EXPECT_EQ(box.DroppedWidth(), width);
    EXPECT_EQ(box.Dropped().bottom, dropped.bottom);
  }
}

}  // namespace
