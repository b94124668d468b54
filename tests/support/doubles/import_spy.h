#pragma once

// Puts a function of the test's own in place of one that this executable imports, for as long as
// the spy lives: the program's code linked into the test then calls the spy, which can record the
// call and pass it on to `original()`.
#include <windows.h>

namespace testsupport {

class ImportSpy {
 public:
  ImportSpy(const char* dll, const char* function, void* spy);
  ~ImportSpy();
  ImportSpy(const ImportSpy&) = delete;
  ImportSpy& operator=(const ImportSpy&) = delete;
  bool installed() const { return slot_ != nullptr; }
  void* original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace testsupport
