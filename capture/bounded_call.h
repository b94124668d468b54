#pragma once

#include <unknwn.h>
#include <windows.h>

#include <functional>

// How long a driver may take before it counts as stuck. Windows marks a window that takes no input
// for 5 s "Not Responding"; each bound ends the wait before that, with room for what the same
// action does around it (the graph's build before a start, the box after). A start (pause or run)
// may be legitimately slow (a tuner locking, a network bridge connecting) and gets the longer
// bound; a teardown only halts and dismantles what runs, and its bound also covers the state read
// before a rebuild.
constexpr DWORD kStartBound = 3000;
constexpr DWORD kTearDownBound = 2500;

// Runs `call` on a worker thread and waits at most `boundMs` for it, serving meanwhile only sent
// messages: those other threads send, and those this thread sends while handling them. The worker
// uses this thread's interface pointers as they are, unmarshalled: that rests on DirectShow's
// objects locking their own state (ThreadingModel "Both" only lets them live in this apartment
// without a proxy). A call that needs this thread (one marshalled into this apartment, or waiting
// for a posted message) waits for what the wait does not serve, and counts as stuck. False when the
// bound passed: the call is abandoned where it hangs and never waited for again; when it does
// return, `afterLateReturn` runs on its worker, which then ends. Exactly one of "true" and
// `afterLateReturn` happens.
[[nodiscard]] bool CallWithin(DWORD boundMs, std::function<HRESULT()> call, std::function<void()> afterLateReturn,
                              HRESULT* result);

// True while a CallWithin wait is under way (only the user-interface thread waits). Readable from
// any thread.
[[nodiscard]] bool WaitingForBoundedCall();

// Holds a message back until the outermost wait ends, then posts it in arrival order: what a
// handler would start must not re-enter a caller that waits. Its sender has had 0 for an answer. A
// resize, colour change or display change already held for the same window is held once.
void DeferUntilWaitEnds(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// True once any call outlived its bound in this process.
[[nodiscard]] bool AnyCallAbandoned();

// Releases `object` on a thread of its own: its last release may end in a stuck driver.
void ReleaseOffThisThread(IUnknown* object);

// Ends the idle workers and waits for them, so that none is cut off at process exit with the
// platform's per-thread state still live (its graphics state: cut off, the process can crash on
// its way out). Abandoned workers are left where they are.
void EndBoundedCallWorkers();
