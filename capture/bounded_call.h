#pragma once

#include <windows.h>

#include <functional>

// How long a graph's state change may take before its driver counts as stalled.
constexpr DWORD kStateChangeBound = 3000;

// Runs `call` on a worker thread and waits at most `boundMs` for it, dispatching meanwhile only the
// messages other threads send to this one: no command, paint or posted event re-enters the caller.
// False when the bound passed; the call is then abandoned where it hangs and never waited for again.
bool CallWithin(DWORD boundMs, const std::function<HRESULT()>& call, HRESULT* result);

// True while this thread waits in CallWithin.
bool WaitingForBoundedCall();

// Ends the idle workers and waits for them, so that none is cut off at process exit with the
// platform's per-thread state still live (its graphics state: cut off, the process can crash on
// its way out). Workers still in a call are left where they are.
void EndBoundedCallWorkers();
