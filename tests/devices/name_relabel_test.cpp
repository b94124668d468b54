#include "devices/name_relabel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Result = std::vector<std::pair<std::wstring, int>>;

// The relabelling rules transcribed step by step, with no regard for cost: a plain list whose
// key order is code-unit order, then the order in which entries were added.
Result Transcription(const std::vector<std::wstring>& names) {
  struct Entry {
    std::wstring key;
    int device;
    long long added;
  };
  std::vector<Entry> list;
  long long clock = 0;
  for (size_t i = 0; i < names.size(); ++i) list.push_back({names[i], static_cast<int>(i), clock++});
  const auto inKeyOrder = [&list] {
    std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) {
      if (a.key != b.key) return CodeUnitLess()(a.key, b.key);
      return a.added < b.added;
    });
  };
  for (;;) {
    inKeyOrder();
    const Entry* duplicated = nullptr;
    for (size_t a = 0; a < list.size() && duplicated == nullptr; ++a)
      for (size_t b = 0; b < list.size(); ++b)
        if (a != b && list[a].key == list[b].key) {
          duplicated = &list[a];
          break;
        }
    if (duplicated == nullptr) break;
    const std::wstring base = duplicated->key;
    for (unsigned counter = 1;; ++counter) {
      Entry* earliest = nullptr;
      for (Entry& entry : list)
        if (entry.key == base && (earliest == nullptr || entry.added < earliest->added)) earliest = &entry;
      if (earliest == nullptr) break;
      const std::wstring number = std::to_wstring(counter);
      earliest->key = base + L" #" + (number.size() < 2 ? L"0" : L"") + number;
      earliest->added = clock++;  // the new entry stands after any that already bear its name
    }
  }
  inKeyOrder();
  Result result;
  for (const Entry& entry : list) result.emplace_back(entry.key, entry.device);
  return result;
}

Result Relabelled(const std::vector<std::wstring>& names) {
  std::multimap<std::wstring, int, CodeUnitLess> entries;
  for (size_t i = 0; i < names.size(); ++i) entries.emplace(names[i], static_cast<int>(i));
  EXPECT_EQ(RelabelEqualNames(&entries), S_OK);
  return Result(entries.begin(), entries.end());
}

TEST(NameRelabel, WorkedExampleWithACollision) {
  EXPECT_EQ(Relabelled({L"Cam #01", L"Cam", L"Cam"}),
            (Result{{L"Cam #01 #01", 0}, {L"Cam #01 #02", 1}, {L"Cam #02", 2}}));
}

TEST(NameRelabel, AgreesWithTheRulesAsWrittenOnRandomNameSets) {
  // Names built to collide: bases, generated-looking names, case and code-unit neighbours.
  const std::vector<std::wstring> pool = {L"Cam",     L"Cam #01", L"Cam #02", L"Cam #01 #01", L"Cam #1",
                                          L"Cam #10", L"cam",     L"Cam ",    L"TV #01",      L"TV",
                                          L"Unknown", L"\xD800",  L"\xFFFF",  L"Cam #100",    L"A"};
  std::mt19937 random(4242);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<std::wstring> names(1 + random() % 40);
    for (std::wstring& name : names) name = pool[random() % pool.size()];
    ASSERT_EQ(Relabelled(names), Transcription(names)) << "trial " << trial;
  }
}

}  // namespace
