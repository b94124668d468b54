#pragma once

// A test that stops making progress ends the process within about a minute and says where it
// stood: the last step it reported, the windows of its thread, and a screenshot of the display.
#include <windows.h>

#include <string>

namespace testsupport {

// Watches the calling thread for the rest of the process; every test start counts as progress.
// Silence longer than `quietLimitMs` ends the process with exit code 3.
void StartWatchdog(DWORD quietLimitMs);

// Reports progress and names the step now under way, for the report if it never ends.
void WatchdogStep(const std::string& where);

}  // namespace testsupport
