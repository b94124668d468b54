#pragma once

// Makes every key of a device list unique by numbering equal names " #01", " #02", ... in the
// order the devices were added, pass after pass until no name repeats (a number can meet a name
// a device already has). A template so that the rule can be checked apart from monikers.
#include <algorithm>
#include <map>
#include <new>
#include <string>

#include "devices/device_list.h"

inline std::wstring NumberSuffix(unsigned counter) {
  std::wstring digits = std::to_wstring(counter);
  if (digits.size() < 2) digits.insert(0, 2 - digits.size(), L'0');
  return L" #" + digits;
}

template <typename Value>
[[nodiscard]] HRESULT RelabelEqualNames(std::multimap<std::wstring, Value, CodeUnitLess>* entries) {
  // Every generated name sorts after its base name, so keys before the last base stay unique
  // and each pass may resume there instead of at the start.
  auto scanFrom = entries->begin();
  try {
    for (;;) {
      const auto duplicate =
          std::adjacent_find(scanFrom, entries->end(), [](const auto& a, const auto& b) { return a.first == b.first; });
      if (duplicate == entries->end()) return S_OK;
      const std::wstring base = duplicate->first;
      unsigned counter = 1;
      for (auto first = entries->lower_bound(base); first != entries->end() && first->first == base;
           first = entries->lower_bound(base)) {
        entries->emplace(base + NumberSuffix(counter), first->second);
        entries->erase(first);
        ++counter;
      }
      scanFrom = entries->lower_bound(base);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
