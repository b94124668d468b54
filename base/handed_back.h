#pragma once

// A call that answers success but hands back no object has failed: drivers (and the platform's own
// objects, now and then) do it, and the caller would go on with a null pointer. One code for it
// everywhere, so that a report or a test names it one way.
#include <windows.h>

template <typename Pointer>
[[nodiscard]] HRESULT HandedBack(HRESULT result, const Pointer& object) {
  return SUCCEEDED(result) && object == nullptr ? E_POINTER : result;
}
