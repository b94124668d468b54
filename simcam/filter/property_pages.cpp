#include "simcam/filter/property_pages.h"

#include <dshow.h>

#include <cmath>
#include <cstring>
#include <new>

#include "simcam/common/control.h"
#include "simcam/common/video_format.h"

extern HMODULE g_simcamModule;

namespace simcam {
namespace {

constexpr WORD kChoiceId = 100;
// The page in dialog units: its font decides its size in pixels at each scale.
constexpr short kPageWidth = 160, kPageHeight = 60;
// A dialog template names a control's class by a predefined atom, after this ordinal marker.
constexpr WORD kOrdinalMarker = 0xffff;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboBoxAtom = 0x0085;
constexpr WORD kStaticId = 0xffff;  // a label's id, IDC_STATIC

// An in-memory dialog template: a static label above a drop-down list.
class PageTemplate {
 public:
  explicit PageTemplate(const std::wstring& label) {
    Header(WS_CHILD | DS_CONTROL | DS_SETFONT, 2, kPageWidth, kPageHeight);
    Item(SS_LEFT | WS_CHILD | WS_VISIBLE, 8, 8, 140, 10, kStaticId, kStaticAtom, label);
    Item(CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_CHILD | WS_VISIBLE, 8, 22, 140, 120, kChoiceId, kComboBoxAtom,
         L"");
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) { Word(LOWORD(value)), Word(HIWORD(value)); }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<WORD>(c));
    Word(0);
  }
  void Align() {
    if (words_.size() % 2 != 0) Word(0);
  }
  void Header(DWORD style, WORD items, short cx, short cy) {
    Dword(style), Dword(0), Word(items), Word(0), Word(0), Word(static_cast<WORD>(cx)), Word(static_cast<WORD>(cy));
    Word(0), Word(0), Word(0);  // no menu, default class, no title
    Word(8), Text(L"MS Shell Dlg");
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom, const std::wstring& text) {
    Align();
    Dword(style), Dword(0), Word(static_cast<WORD>(x)), Word(static_cast<WORD>(y)), Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy)), Word(id), Word(kOrdinalMarker), Word(atom), Text(text), Word(0);
  }
  std::vector<WORD> words_;
};

INT_PTR CALLBACK Measuring(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The page's size in pixels, as its dialog units come out in its font at the screen's scale.
SIZE PageSizeInPixels() {
  const PageTemplate page(L"");
  HWND dialog = CreateDialogIndirectParamW(g_simcamModule, page.get(), GetDesktopWindow(), Measuring, 0);
  RECT rect = {0, 0, kPageWidth, kPageHeight};
  const bool mapped = dialog != nullptr && MapDialogRect(dialog, &rect);
  if (dialog != nullptr) DestroyWindow(dialog);
  if (mapped) return {rect.right, rect.bottom};
  const LONG units = GetDialogBaseUnits();  // the system font's, near enough
  return {MulDiv(kPageWidth, LOWORD(units), 4), MulDiv(kPageHeight, HIWORD(units), 8)};
}

std::wstring FormatLabel(const VideoFormat& format) {
  static const wchar_t* names[] = {L"RGB24", L"RGB32", L"YUY2", L"MJPG"};
  return std::wstring(names[static_cast<int>(format.pixels)]) + L" " + std::to_wstring(format.width) + L"x" +
         std::to_wstring(format.height) + L" " + std::to_wstring(std::lround(format.fps)) + L" fps" +
         (format.videoInfo2 ? L" (VIH2)" : L"");
}

class VideoPage : public ChoicePage {
 public:
  VideoPage() : ChoicePage(L"Video") {}

 protected:
  HRESULT Attach(IUnknown* object) override {
    return object->QueryInterface(IID_ISimCamDevice, reinterpret_cast<void**>(device_.ReleaseAndGetAddressOf()));
  }
  void Detach() override { device_.Reset(); }
  std::wstring Label() override { return L"Brightness"; }
  std::vector<std::wstring> Choices() override { return {L"100 %", L"75 %", L"50 %", L"25 %"}; }
  int CurrentChoice() override { return chosen_; }
  void Choose(int index) override {
    chosen_ = index;
    if (device_ != nullptr) device_->SetBrightness(100 - 25 * index);
  }

 private:
  Microsoft::WRL::ComPtr<ISimCamDevice> device_;
  int chosen_ = 0;
};

class FormatPage : public ChoicePage {
 public:
  FormatPage() : ChoicePage(L"Capture Format") {}

 protected:
  HRESULT Attach(IUnknown* object) override { return object->QueryInterface(IID_PPV_ARGS(&config_)); }
  void Detach() override { config_.Reset(); }
  std::wstring Label() override { return L"Output format"; }
  std::vector<std::wstring> Choices() override {
    std::vector<std::wstring> labels;
    int count = 0, size = 0;
    if (config_ == nullptr || FAILED(config_->GetNumberOfCapabilities(&count, &size))) return labels;
    for (int i = 0; i < count; ++i) labels.push_back(FormatLabel(Capability(i)));
    return labels;
  }
  int CurrentChoice() override {
    AM_MEDIA_TYPE* type = nullptr;
    VideoFormat current;
    if (config_ == nullptr || FAILED(config_->GetFormat(&type)) || type == nullptr) return -1;
    const bool known = FormatOfMediaType(*type, &current);
    FreeTaskMediaType(type);
    const std::vector<std::wstring> labels = Choices();
    for (size_t i = 0; known && i < labels.size(); ++i) {
      VideoFormat offered = Capability(static_cast<int>(i));
      offered.fps = current.fps;
      if (FormatLabel(offered) == FormatLabel(current)) return static_cast<int>(i);
    }
    return -1;
  }
  void Choose(int index) override {
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    if (config_ == nullptr || config_->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(&caps)) != S_OK) return;
    config_->SetFormat(type);
    FreeTaskMediaType(type);
  }

 private:
  VideoFormat Capability(int index) {
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    VideoFormat format;
    if (config_->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(&caps)) == S_OK && type != nullptr)
      FormatOfMediaType(*type, &format);
    FreeTaskMediaType(type);
    return format;
  }
  Microsoft::WRL::ComPtr<IAMStreamConfig> config_;
};

class TunerPage : public ChoicePage {
 public:
  TunerPage() : ChoicePage(L"TV Tuner") {}

 protected:
  HRESULT Attach(IUnknown* object) override { return object->QueryInterface(IID_PPV_ARGS(&tuner_)); }
  void Detach() override { tuner_.Reset(); }
  std::wstring Label() override { return L"Channel"; }
  std::vector<std::wstring> Choices() override {
    std::vector<std::wstring> labels;
    for (int channel = 1; channel <= 12; ++channel) labels.push_back(L"Channel " + std::to_wstring(channel));
    return labels;
  }
  int CurrentChoice() override {
    LONG channel = 0, video = 0, audio = 0;
    if (tuner_ == nullptr || FAILED(tuner_->get_Channel(&channel, &video, &audio))) return -1;
    return static_cast<int>(channel) - 1;
  }
  void Choose(int index) override {
    if (tuner_ != nullptr) tuner_->put_Channel(index + 1, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT);
  }

 private:
  Microsoft::WRL::ComPtr<IAMTVTuner> tuner_;
};

}  // namespace

ChoicePage::ChoicePage(std::wstring title) : title_(std::move(title)) {}

ChoicePage::~ChoicePage() {
  if (dialog_ != nullptr) DestroyWindow(dialog_);
}

STDMETHODIMP ChoicePage::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid != IID_IUnknown && iid != IID_IPropertyPage) return *object = nullptr, E_NOINTERFACE;
  *object = static_cast<IPropertyPage*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP ChoicePage::SetPageSite(IPropertyPageSite* site) {
  site_ = site;
  return S_OK;
}

STDMETHODIMP ChoicePage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (dialog_ != nullptr) return E_UNEXPECTED;
  const PageTemplate page(Label());
  dialog_ = CreateDialogIndirectParamW(g_simcamModule, page.get(), parent, DialogProc, reinterpret_cast<LPARAM>(this));
  if (dialog_ == nullptr) return E_FAIL;
  if (rect != nullptr) Move(rect);
  Fill();
  return S_OK;
}

STDMETHODIMP ChoicePage::Deactivate() {
  if (dialog_ == nullptr) return E_UNEXPECTED;
  DestroyWindow(dialog_);
  dialog_ = nullptr;
  return S_OK;
}

STDMETHODIMP ChoicePage::GetPageInfo(PROPPAGEINFO* info) {
  if (info == nullptr) return E_POINTER;
  const size_t bytes = (title_.size() + 1) * sizeof(wchar_t);
  info->cb = sizeof(*info);
  info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (info->pszTitle == nullptr) return E_OUTOFMEMORY;
  std::memcpy(info->pszTitle, title_.c_str(), bytes);
  info->size = PageSizeInPixels();
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

STDMETHODIMP ChoicePage::SetObjects(ULONG count, IUnknown** objects) {
  Detach();
  if (count == 0) return S_OK;
  if (objects == nullptr || objects[0] == nullptr) return E_POINTER;
  return Attach(objects[0]);
}

STDMETHODIMP ChoicePage::Show(UINT command) {
  if (dialog_ == nullptr) return E_UNEXPECTED;
  ShowWindow(dialog_, static_cast<int>(command));
  return S_OK;
}

STDMETHODIMP ChoicePage::Move(LPCRECT rect) {
  if (dialog_ == nullptr || rect == nullptr) return E_UNEXPECTED;
  MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

void ChoicePage::Fill() {
  const HWND list = GetDlgItem(dialog_, kChoiceId);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::wstring& choice : Choices())
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(CurrentChoice()), 0);
}

INT_PTR CALLBACK ChoicePage::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return TRUE;
  }
  auto* page = reinterpret_cast<ChoicePage*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (page != nullptr && message == WM_COMMAND && LOWORD(wParam) == kChoiceId && HIWORD(wParam) == CBN_SELCHANGE) {
    const LRESULT index = SendMessageW(reinterpret_cast<HWND>(lParam), CB_GETCURSEL, 0, 0);
    if (index >= 0) page->Choose(static_cast<int>(index));
    if (page->site_ != nullptr) page->site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
    return TRUE;
  }
  return FALSE;
}

IPropertyPage* CreatePropertyPage(REFCLSID clsid) {
  ChoicePage* page = nullptr;
  if (clsid == CLSID_SimCamVideoPage)
    page = new (std::nothrow) VideoPage;
  else if (clsid == CLSID_SimCamFormatPage)
    page = new (std::nothrow) FormatPage;
  else if (clsid == CLSID_SimCamTunerPage)
    page = new (std::nothrow) TunerPage;
  if (page != nullptr) page->AddRef();
  return page;
}

}  // namespace simcam
