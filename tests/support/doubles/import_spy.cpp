#include "tests/support/doubles/import_spy.h"

#include <cstring>

namespace testsupport {
namespace {

template <typename T>
T* At(BYTE* base, DWORD offset) {
  return reinterpret_cast<T*>(base + offset);
}

// The import address table entry of `function` from `dll` in this executable, or null.
void** FindSlot(const char* dll, const char* function) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  const auto* nt = At<IMAGE_NT_HEADERS>(base, static_cast<DWORD>(dos->e_lfanew));
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (auto* module = At<IMAGE_IMPORT_DESCRIPTOR>(base, imports.VirtualAddress); module->Name != 0; ++module) {
    if (lstrcmpiA(At<char>(base, module->Name), dll) != 0) continue;
    auto* names = At<IMAGE_THUNK_DATA>(base, module->OriginalFirstThunk);
    auto* slots = At<IMAGE_THUNK_DATA>(base, module->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = At<IMAGE_IMPORT_BY_NAME>(base, static_cast<DWORD>(names->u1.AddressOfData));
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
        return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

void Store(void** slot, void* value) {
  DWORD protection = 0;
  VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
  *slot = value;
  VirtualProtect(slot, sizeof(void*), protection, &protection);
}

}  // namespace

ImportSpy::ImportSpy(const char* dll, const char* function, void* spy) : slot_(FindSlot(dll, function)) {
  if (slot_ == nullptr) return;
  original_ = *slot_;
  Store(slot_, spy);
}

ImportSpy::~ImportSpy() {
  if (slot_ != nullptr) Store(slot_, original_);
}

}  // namespace testsupport
