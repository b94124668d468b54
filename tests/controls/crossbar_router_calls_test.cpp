// Exact call sequences and reference counts of crossbar routing, with in-process crossbars.
#include <gtest/gtest.h>

#include <atomic>

#include "controls/crossbar_router.h"
#include "tests/support/doubles/test_crossbar.h"

using testsupport::Connector;
using testsupport::TestCrossbar;
using testsupport::TestPin;
using Calls = std::vector<std::pair<LONG, LONG>>;

namespace {

constexpr LONG kTuner = 1, kComposite = 2, kSVideo = 3, kDecoder = 12, kAudioTuner = 0x1000, kAudioLine = 0x1001,
               kAudioDecoder = 0x1009;

// The capture filter a test's analog input counts its references with; the test owns both.
struct FilterCount : IUnknown {
  STDMETHODIMP QueryInterface(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  std::atomic<ULONG> references{1};
};

// An analog video input pin of the capture filter `filter`.
struct AnalogPin : TestPin {
  explicit AnalogPin(FilterCount* filter) : TestPin(PINDIR_INPUT, L"Analog Video In", PIN_CATEGORY_ANALOGVIDEOIN) {
    countedBy = filter;
  }
};

// The capture filter's analog video input, fed by output 0 of `crossbar`.
struct AnalogInput {
  FilterCount filter;
  AnalogPin pin{&filter};
  explicit AnalogInput(TestCrossbar* crossbar) {
    pin.peer = crossbar->output(0);
    crossbar->output(0)->peer = &pin;
  }
};

std::vector<LONG> RouteTypes(const CrossbarRouter& router) {
  LONG count = 0;
  static_cast<void>(router.Count(&count));
  std::vector<LONG> types;
  for (LONG i = 0; i < count; ++i) {
    LONG type = -1;
    static_cast<void>(router.InputType(i, &type));
    types.push_back(type);
  }
  return types;
}

// How often a search asked the chain's crossbars for their pin counts: its work.
int PinCountQueries(const std::vector<TestCrossbar*>& chain) {
  int queries = 0;
  for (const auto* crossbar : chain) queries += crossbar->pinCountsCalls;
  return queries;
}

// Each crossbar of the chain is left with the test's own reference only, then deleted.
void ExpectReleasedAndDelete(const std::vector<TestCrossbar*>& chain) {
  for (auto* crossbar : chain) {
    EXPECT_EQ(crossbar->references(), 1u);
    delete crossbar;
  }
}

TestCrossbar* SingleCard() {
  return new TestCrossbar({{kTuner, 3}, {kComposite, 4}, {kSVideo, 4}, {kAudioTuner, 0}, {kAudioLine, 1}},
                          {{kDecoder, 1}, {kAudioDecoder, 0}});
}

TEST(CrossbarRouterCalls, OneCrossbarGivesItsVideoInputsAndRoutesTheFirstWithItsAudio) {
  TestCrossbar* card = SingleCard();
  AnalogInput analog(card);
  {
    CrossbarRouter router;
    ASSERT_EQ(router.Build(&analog.pin), S_OK);
    EXPECT_EQ(RouteTypes(router), (std::vector<LONG>{kTuner, kComposite, kSVideo}));
    EXPECT_EQ(card->references(), 1u + 3u) << "one reference per stored hop";
    EXPECT_EQ(card->routeCalls, (Calls{{0, 0}, {1, 3}})) << "route 0 and its audio companion";
    EXPECT_EQ(router.current, 0);

    card->routeCalls.clear();
    EXPECT_EQ(router.Select(2), S_OK);
    EXPECT_EQ(card->routeCalls, (Calls{{0, 2}, {1, 4}}));
    ASSERT_EQ(router.Build(&analog.pin), S_OK);
    EXPECT_EQ(card->references(), 1u + 3u) << "building again drops the old routes";
    EXPECT_EQ(router.current, 0);
  }
  EXPECT_EQ(card->references(), 1u);
  EXPECT_EQ(analog.filter.references, 1u);
  delete card;
}

TEST(CrossbarRouterCalls, ChainedCrossbarsGiveTwoElementRoutesInDepthFirstPlace) {
  TestCrossbar* main = SingleCard();
  TestCrossbar* extra = new TestCrossbar({{kSVideo, -1}, {kComposite, -1}}, {{kDecoder, -1}});
  main->FeedFrom(1, extra, 0);  // Main's Composite input is fed by Extra
  AnalogInput analog(main);
  {
    CrossbarRouter router;
    ASSERT_EQ(router.Build(&analog.pin), S_OK);
    EXPECT_EQ(RouteTypes(router), (std::vector<LONG>{kTuner, kSVideo, kComposite, kSVideo}));
    EXPECT_EQ(extra->references(), 1u + 2u);
    EXPECT_EQ(main->references(), 1u + 4u);
    main->routeCalls.clear();
    EXPECT_EQ(router.Select(2), S_OK);  // Extra's Composite: the outermost crossbar first
    EXPECT_EQ(extra->routeCalls, (Calls{{0, 1}})) << "related pins of -1 route the video path only";
    EXPECT_EQ(main->routeCalls, (Calls{{0, 1}, {1, 4}}));
    EXPECT_EQ(router.SelectByType(kSVideo), S_OK);
    EXPECT_EQ(router.current, 1) << "the lower of two S-Video routes";
  }
  EXPECT_EQ(main->references(), 1u);
  EXPECT_EQ(extra->references(), 1u);
  delete main;
  delete extra;
}

TEST(CrossbarRouterCalls, SelectReportsOnlyTheLastVideoRouteAndAlwaysMovesCurrent) {
  TestCrossbar* main = SingleCard();
  TestCrossbar* extra = new TestCrossbar({{kSVideo, -1}}, {{kDecoder, -1}});
  main->FeedFrom(2, extra, 0);
  AnalogInput analog(main);
  CrossbarRouter router;
  ASSERT_EQ(router.Build(&analog.pin), S_OK);
  extra->routeResult = E_ACCESSDENIED;
  EXPECT_EQ(router.Select(2), S_OK) << "the outer crossbar's failure is not the result";
  main->routeResult = VFW_E_NOT_CONNECTED;
  extra->routeResult = S_OK;
  EXPECT_EQ(router.Select(1), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(router.current, 1);
  static_cast<void>(router.Reset());
  delete main;
  delete extra;
}

TEST(CrossbarRouterCalls, RefusedAndUnreadableInputsAreSkipped) {
  TestCrossbar* card = SingleCard();
  card->refusedInputs = {1};
  card->failPinInfoInput = 2;
  AnalogInput analog(card);
  CrossbarRouter router;
  ASSERT_EQ(router.Build(&analog.pin), S_OK);
  EXPECT_EQ(RouteTypes(router), (std::vector<LONG>{kTuner}));
  static_cast<void>(router.Reset());
  delete card;
}

TEST(CrossbarRouterCalls, FailingCountsOrOutputInfoGiveNoRoutes) {
  for (int failing = 0; failing < 2; ++failing) {
    TestCrossbar* card = SingleCard();
    (failing == 0 ? card->pinCountsResult : card->pinInfoResult) = E_UNEXPECTED;
    AnalogInput analog(card);
    CrossbarRouter router;
    EXPECT_EQ(router.Build(&analog.pin), E_UNEXPECTED);
    EXPECT_TRUE(RouteTypes(router).empty());
    EXPECT_EQ(card->references(), 1u);
    delete card;
  }
}

TEST(CrossbarRouterCalls, UnconnectedOrNonCrossbarInputIsAFailureWithNoRoutes) {
  FilterCount filter;
  AnalogPin unconnected(&filter);
  CrossbarRouter router;
  EXPECT_EQ(router.Build(&unconnected), E_FAIL);
  EXPECT_TRUE(RouteTypes(router).empty());
  EXPECT_EQ(router.Select(0), E_FAIL);
  EXPECT_EQ(router.current, 0);
}

TEST(CrossbarRouterCalls, LoopsAreNotFollowed) {
  // Self-loop: Main's Composite input is fed by Main's own output 1.
  TestCrossbar* main = SingleCard();
  main->input(1)->peer = main->output(1);
  AnalogInput analog(main);
  {
    CrossbarRouter router;
    ASSERT_EQ(router.Build(&analog.pin), S_OK);
    EXPECT_EQ(RouteTypes(router), (std::vector<LONG>{kTuner, kSVideo}));
  }
  // Two crossbars feeding each other.
  TestCrossbar* a = new TestCrossbar({{kComposite, -1}, {kSVideo, -1}}, {{kDecoder, -1}, {kDecoder, -1}});
  TestCrossbar* b = new TestCrossbar({{kComposite, -1}, {kTuner, -1}}, {{kDecoder, -1}});
  a->FeedFrom(0, b, 0);
  b->input(0)->peer = a->output(1);
  AnalogInput loop(a);
  {
    CrossbarRouter router;
    ASSERT_EQ(router.Build(&loop.pin), S_OK);
    EXPECT_EQ(RouteTypes(router), (std::vector<LONG>{kTuner, kSVideo}));
  }
  EXPECT_EQ(a->references(), 1u);
  EXPECT_EQ(b->references(), 1u);
  delete main;
  delete a;
  delete b;
}

TEST(CrossbarRouterCalls, DeepChainsRouteEveryStageAndEndlessOnesAreBounded) {
  std::vector<TestCrossbar*> chain;
  for (int i = 0; i < 80; ++i) {
    chain.push_back(new TestCrossbar({{kComposite, -1}, {kTuner, -1}}, {{kDecoder, -1}}));
    if (i > 0) chain[static_cast<size_t>(i) - 1]->FeedFrom(0, chain.back(), 0);
  }
  AnalogInput analog(chain.front());
  CrossbarRouter router;
  ASSERT_EQ(router.Build(&analog.pin), S_OK);
  LONG count = 0;
  static_cast<void>(router.Count(&count));
  EXPECT_EQ(count, 64) << "each stage's Tuner input up to the depth bound";
  for (auto* crossbar : chain) crossbar->routeCalls.clear();
  EXPECT_EQ(router.Select(32), S_OK);  // routes come deepest first: this one is 32 crossbars long
  for (int i = 0; i < 32; ++i)
    EXPECT_EQ(chain[static_cast<size_t>(i)]->routeCalls, (Calls{{0, i == 31 ? 1 : 0}})) << "stage " << i;
  EXPECT_TRUE(chain[32]->routeCalls.empty());
  static_cast<void>(router.Reset());
  ExpectReleasedAndDelete(chain);
}

// 24 crossbars, each fed on both inputs by both outputs of the next: 2^24 routes to the last one's
// inputs, or, when those are audio only, 2^24 paths that end nowhere.
TEST(CrossbarRouterCalls, ExponentialChainsAreSearchedOnlySoFar) {
  for (LONG lastInput : {kComposite, kAudioLine}) {
    std::vector<TestCrossbar*> chain;
    for (int i = 0; i < 24; ++i) {
      const LONG type = i == 23 ? lastInput : kComposite;
      chain.push_back(new TestCrossbar({{type, -1}, {type, -1}}, {{kDecoder, -1}, {kDecoder, -1}}));
      if (i == 0) continue;
      for (size_t k = 0; k < 2; ++k) chain[static_cast<size_t>(i) - 1]->FeedFrom(k, chain.back(), k);
    }
    AnalogInput analog(chain.front());
    {
      CrossbarRouter router;
      ASSERT_EQ(router.Build(&analog.pin), S_OK);
      LONG count = 0;
      static_cast<void>(router.Count(&count));
      // The Inputs dialog offers the first 256 found; the window comes back at once.
      EXPECT_EQ(count, lastInput == kComposite ? 256 : 0);
    }
    EXPECT_LT(PinCountQueries(chain), 1 << 16) << "a few thousand steps, not millions";
    ExpectReleasedAndDelete(chain);
  }
}

// 66 crossbars of 1,000 inputs, each input fed by an output of the next (the first outputs are
// among the 1,024 pins a filter is walked for), longer than any card's chain: the search gives up
// deep in it, and every crossbar on the way stops looking at its other inputs too.
TEST(CrossbarRouterCalls, WideChainsAreSearchedOnlySoFar) {
  const std::vector<Connector> wide(1000, Connector{kComposite, -1});
  std::vector<TestCrossbar*> chain;
  for (size_t i = 0; i < 66; ++i) {
    chain.push_back(new TestCrossbar(wide, std::vector<Connector>(1000, Connector{kDecoder, -1})));
    if (i > 0)
      for (size_t k = 0; k < 1000; ++k) chain[i - 1]->FeedFrom(k, chain.back(), k);
  }
  AnalogInput analog(chain.front());
  static_cast<void>(CrossbarRouter().Build(&analog.pin));
  EXPECT_LT(PinCountQueries(chain), 1 << 15) << "some thousands of looks, not the 66,000 inputs of the chain";
  ExpectReleasedAndDelete(chain);
}

TEST(CrossbarRouterCalls, InputWhosePinCannotBeFoundEndsARouteAndUnknownOutputIsNotFollowed) {
  TestCrossbar* card = SingleCard();
  card->walk.limit = 1;  // the output feeding the capture filter is never enumerated
  AnalogInput analog(card);
  CrossbarRouter router;
  EXPECT_EQ(router.Build(&analog.pin), S_OK);
  EXPECT_TRUE(RouteTypes(router).empty());

  card->walk.limit = SIZE_MAX;
  TestCrossbar* extra = new TestCrossbar({{kSVideo, -1}}, {{kDecoder, -1}});
  card->FeedFrom(2, extra, 0);
  card->pinCountsFailFromCall = card->pinCountsCalls + 3;  // the input pin lookups fail
  ASSERT_EQ(router.Build(&analog.pin), S_OK);
  EXPECT_EQ(RouteTypes(router), (std::vector<LONG>{kTuner, kComposite, kSVideo}))
      << "inputs that cannot be followed are route ends of their own crossbar";
  EXPECT_EQ(extra->references(), 1u);
  static_cast<void>(router.Reset());
  delete card;
  delete extra;
}

}  // namespace
