#pragma once

#include <functional>

namespace vividra::platform {

// The global background queue: picture work runs here, never on the main thread.
void runInBackground(std::function<void()> work);

// The main queue: runs `task` on the main thread at its next turn. Callable from
// any thread; a background job hands its results back this way.
void runOnMain(std::function<void()> task);

// Background items queued or running (tests and shutdown wait for zero).
int backgroundJobsInFlight();

// Blocks until no background item is queued or running.
void waitForBackgroundWork();

} // namespace vividra::platform
