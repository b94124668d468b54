#include "capture/bounded_call.h"

#include <objbase.h>

#include <vector>

namespace {

// A thread that runs one call at a time. A worker whose call outlives its bound is abandoned: its
// block is never freed, as the call may still be using it.
struct Worker {
  HANDLE thread = nullptr;
  HANDLE wake = nullptr;
  HANDLE done = nullptr;
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
  while (WaitForSingleObject(worker->wake, INFINITE) == WAIT_OBJECT_0 && worker->call) {
    worker->result = worker->call();
    SetEvent(worker->done);
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
  worker->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  worker->done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (worker->wake != nullptr && worker->done != nullptr)
    worker->thread = CreateThread(nullptr, 0, WorkerLoop, worker, 0, nullptr);
  if (worker->thread == nullptr) {
    if (worker->wake != nullptr) CloseHandle(worker->wake);
    if (worker->done != nullptr) CloseHandle(worker->done);
    delete worker;
    return nullptr;
  }
  return worker;
}

// Sent messages are dispatched so that a driver or renderer thread that sends to a window of this
// thread is not blocked by the wait; posted messages stay queued.
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
  SetEvent(worker->wake);
  ++waitDepth;
  const bool returned = WaitDispatchingSentMessages(worker->done, boundMs);
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
    SetEvent(worker->wake);
    // A worker that does not end in time keeps its block: it may still read it.
    if (WaitForSingleObject(worker->thread, 1000) != WAIT_OBJECT_0) continue;
    CloseHandle(worker->thread);
    CloseHandle(worker->wake);
    CloseHandle(worker->done);
    delete worker;
  }
  idleWorkers.clear();
}
