#include "capture/bounded_call.h"

#include <objbase.h>

#include <atomic>
#include <new>
#include <vector>

#include "base/scoped.h"

namespace {

enum WorkerState : LONG { kBusy, kDone, kAbandoned };

// A thread that runs one call at a time. Once a call outlives its bound the worker belongs to
// that call alone: it runs the call's late clean-up, frees its own block and ends.
struct Worker {
  scoped::Handle thread;
  scoped::Handle wake;
  scoped::Handle done;
  std::function<HRESULT()> call;  // none: the worker ends
  std::function<void()> afterLateReturn;
  HRESULT result = E_FAIL;
  LONG state = kBusy;
};

// The idle workers and the held messages: the user-interface thread's alone. The two atomics
// below may be read anywhere.
std::vector<Worker*> idleWorkers;
std::vector<MSG> deferred;
std::atomic<int> waitDepth{0};
std::atomic<bool> anyAbandoned{false};

DWORD WINAPI WorkerLoop(void* parameter) {
  auto* worker = static_cast<Worker*>(parameter);
  // Drivers may create COM objects in their state changes.
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  bool abandoned = false;
  while (!abandoned && WaitForSingleObject(worker->wake.get(), INFINITE) == WAIT_OBJECT_0 && worker->call) {
    worker->result = worker->call();
    abandoned = InterlockedCompareExchange(&worker->state, kDone, kBusy) == kAbandoned;
    if (!abandoned) SetEvent(worker->done.get());
  }
  if (abandoned) {
    worker->afterLateReturn();
    delete worker;
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  return 0;
}

Worker* TakeWorker() {
  if (!idleWorkers.empty()) {
    Worker* worker = idleWorkers.back();
    idleWorkers.pop_back();
    return worker;
  }
  auto* worker = new (std::nothrow) Worker;
  if (worker == nullptr) return nullptr;
  worker->wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  worker->done.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (worker->wake && worker->done) worker->thread.reset(CreateThread(nullptr, 0, WorkerLoop, worker, 0, nullptr));
  if (!worker->thread) {
    delete worker;
    return nullptr;
  }
  return worker;
}

// Sent messages are served so that a driver or renderer thread that sends to a window of this
// thread is not blocked by the wait; posted messages, input, timers and paints stay queued. This is the platform's own
// rule for a thread that owns windows and waits (MsgWaitForMultipleObjectsEx with QS_SENDMESSAGE). The deadline is
// checked between batches of sent messages; a sender waits for each reply, so a stream of them cannot keep a batch
// going for long. (A timer thread that decided the deadline would cost 0.1 ms per call under Wine, as much as the call
// itself.)
[[nodiscard]] bool WaitServingSentMessages(HANDLE done, DWORD boundMs) {
  const ULONGLONG deadline = GetTickCount64() + boundMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return WaitForSingleObject(done, 0) == WAIT_OBJECT_0;
    const DWORD woke = MsgWaitForMultipleObjectsEx(1, &done, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE, 0);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke == WAIT_OBJECT_0 + 1) {
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    } else if (woke != WAIT_TIMEOUT) {
      return WaitForSingleObject(done, 0) == WAIT_OBJECT_0;
    }
  }
}

// The call is the worker's from now on, unless it returned while the bound was being judged.
[[nodiscard]] bool Abandon(Worker* worker) {
  if (InterlockedCompareExchange(&worker->state, kAbandoned, kBusy) == kDone) {
    WaitForSingleObject(worker->done.get(), INFINITE);  // set right after its state: a moment
    return false;
  }
  anyAbandoned = true;
  return true;
}

DWORD WINAPI ReleaseObject(void* object) {
  // A graph's last release may create or call COM objects of its drivers.
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  static_cast<IUnknown*>(object)->Release();
  if (SUCCEEDED(initialised)) CoUninitialize();
  return 0;
}

void PostDeferred() {
  std::vector<MSG> messages;
  messages.swap(deferred);
  for (const MSG& message : messages) PostMessageW(message.hwnd, message.message, message.wParam, message.lParam);
}

}  // namespace

bool CallWithin(DWORD boundMs, std::function<HRESULT()> call, std::function<void()> afterLateReturn, HRESULT* result) {
  Worker* worker = TakeWorker();
  if (worker == nullptr) {
    // Without a thread to spare the call is still made, unbounded, rather than skipped.
    *result = call();
    return true;
  }
  worker->call = std::move(call);
  worker->afterLateReturn = std::move(afterLateReturn);
  worker->state = kBusy;
  SetEvent(worker->wake.get());
  ++waitDepth;
  const bool returned = WaitServingSentMessages(worker->done.get(), boundMs) || !Abandon(worker);
  if (--waitDepth == 0) PostDeferred();
  if (!returned) return false;
  *result = worker->result;
  worker->call = nullptr;
  worker->afterLateReturn = nullptr;
  idleWorkers.push_back(worker);
  return true;
}

bool WaitingForBoundedCall() { return waitDepth > 0; }

void DeferUntilWaitEnds(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A layout or colour change redone once is redone for all of its kind.
  const bool idempotent = message == WM_SIZE || message == WM_SYSCOLORCHANGE || message == WM_DISPLAYCHANGE;
  for (const MSG& queued : deferred)
    if (idempotent && queued.hwnd == window && queued.message == message) return;
  MSG held{};
  held.hwnd = window;
  held.message = message;
  held.wParam = wParam;
  held.lParam = lParam;
  deferred.push_back(held);
}

bool AnyCallAbandoned() { return anyAbandoned; }

void ReleaseOffThisThread(IUnknown* object) {
  if (object == nullptr) return;
  HANDLE thread = CreateThread(nullptr, 0, ReleaseObject, object, 0, nullptr);
  // Without a thread the reference is kept: a leak is better than a frozen window.
  if (thread != nullptr) CloseHandle(thread);
}

void EndBoundedCallWorkers() {
  for (Worker* worker : idleWorkers) {
    SetEvent(worker->wake.get());
    // A worker that does not end in time keeps its block: it may still read it.
    if (WaitForSingleObject(worker->thread.get(), 1000) != WAIT_OBJECT_0) continue;
    delete worker;
  }
  idleWorkers.clear();
}
