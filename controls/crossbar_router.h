#pragma once

#include <dshow.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// One crossbar stage of a route. In a stored route `crossbar` is a counted reference and the links
// point into the same route.
struct CrossbarHop {
  CrossbarHop* upstream;
  CrossbarHop* downstream;
  LONG inputIndex;
  LONG outputIndex;
  LONG inputRelated;
  LONG outputRelated;
  IAMCrossbar* crossbar;
  LONG inputType;
  LONG outputType;
  LONG depth;
};

// The routes from a capture filter's physical video inputs through its chained crossbars.
class CrossbarRouter {
 public:
  CrossbarRouter() = default;
  CrossbarRouter(const CrossbarRouter&) = delete;
  CrossbarRouter& operator=(const CrossbarRouter&) = delete;
  // Takes `other`'s routes (a graph lent to a worker takes its crossbars along); this one's go first.
  CrossbarRouter& operator=(CrossbarRouter&& other) noexcept;
  ~CrossbarRouter();

  [[nodiscard]] HRESULT Build(IPin* analogVideoIn);
  [[nodiscard]] HRESULT Reset();
  [[nodiscard]] HRESULT Count(LONG* count) const;
  [[nodiscard]] HRESULT InputType(LONG index, LONG* type) const;
  [[nodiscard]] HRESULT Select(LONG index);
  [[nodiscard]] HRESULT SelectByType(LONG type);
  static void TypeName(LONG type, std::wstring& name);

  LONG current = 0;

 private:
  // A route: element 0 is the outermost crossbar.
  using Route = std::unique_ptr<CrossbarHop[]>;

  [[nodiscard]] HRESULT Search(IPin* input, CrossbarHop* hop, LONG depth);
  [[nodiscard]] HRESULT SaveRoute(const CrossbarHop* outermost);
  [[nodiscard]] static HRESULT PinAtIndex(IAMCrossbar* crossbar, LONG index, bool input, IPin** pin);
  [[nodiscard]] static HRESULT IndexOfPin(IAMCrossbar* crossbar, LONG* index, bool input, IPin* pin);
  [[nodiscard]] bool OnSearchPath(IAMCrossbar* crossbar, const CrossbarHop* hop) const;

  CrossbarHop searchRoot{};
  std::vector<Route> routes;
  LONG searchSteps = 0;
};
