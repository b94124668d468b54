#include "capture/bounded_call.h"

#include <objbase.h>

#include <vector>

#include "capture/scoped.h"

namespace {

// A thread that runs one call at a time. A worker whose call outlives its bound is abandoned: its
// block is never freed, as the call may still be using it.
struct Worker {
  scoped::Handle thread;
  scoped::Handle wake;
  scoped::Handle done;
  std::function<HRESULT()> call;  // none: the worker ends
  HRESULT result = E_FAIL;
};

// Workers ready for a call; a nested wait (a sent message handled during one) takes another.
// Touched by the waiting thread only.
std::vector<Worker*> idleWorkers;
int waitDepth = 0;

DWORD WINAPI WorkerLoop(void* parameter) {
  auto* worker = static_cast<Worker*>(parameter);
  // Drivers may create COM objects in their state changes.
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  while (WaitForSingleObject(worker->wake.get(), INFINITE) == WAIT_OBJECT_0 && worker->call) {
    worker->result = worker->call();
    SetEvent(worker->done.get());
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

// Sent messages are dispatched so that a driver or renderer thread that sends to a window of this
// thread is not blocked by the wait; posted messages stay queued. This is the platform's own rule
// for a thread that owns windows and waits (MsgWaitForMultipleObjectsEx with QS_SENDMESSAGE), on
// Windows as under any other host.
bool WaitDispatchingSentMessages(HANDLE done, DWORD boundMs) {
  const ULONGLONG deadline = GetTickCount64() + boundMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    const DWORD woke = MsgWaitForMultipleObjectsEx(1, &done, left, QS_SENDMESSAGE, 0);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return WaitForSingleObject(done, 0) == WAIT_OBJECT_0;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

bool CallWithin(DWORD boundMs, const std::function<HRESULT()>& call, HRESULT* result) {
  Worker* worker = TakeWorker();
  if (worker == nullptr) {
    // Without a thread to spare the call is still made, unbounded, rather than skipped.
    *result = call();
    return true;
  }
  worker->call = call;
  SetEvent(worker->wake.get());
  ++waitDepth;
  const bool returned = WaitDispatchingSentMessages(worker->done.get(), boundMs);
  --waitDepth;
  if (!returned) return false;
  *result = worker->result;
  worker->call = nullptr;
  idleWorkers.push_back(worker);
  return true;
}

bool WaitingForBoundedCall() { return waitDepth > 0; }

void EndBoundedCallWorkers() {
  for (Worker* worker : idleWorkers) {
    SetEvent(worker->wake.get());
    // A worker that does not end in time keeps its block: it may still read it.
    if (WaitForSingleObject(worker->thread.get(), 1000) != WAIT_OBJECT_0) continue;
    delete worker;
  }
  idleWorkers.clear();
}
