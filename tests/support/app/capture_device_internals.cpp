#include "tests/support/app/capture_device_internals.h"

#include <wrl/client.h>

#include <algorithm>

namespace testsupport {

std::vector<std::wstring> FilterNames(IFilterGraph* graph) {
  std::vector<std::wstring> names;
  Microsoft::WRL::ComPtr<IEnumFilters> filters;
  if (graph == nullptr || FAILED(graph->EnumFilters(&filters))) return names;
  Microsoft::WRL::ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    FILTER_INFO info{};
    if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
      names.push_back(info.achName);
      if (info.pGraph != nullptr) info.pGraph->Release();
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testsupport
