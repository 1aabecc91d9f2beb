#pragma once
// How long a test waits for something that happens on its own, named by what it waits for.
// Each bound is far above the usual time, so a loaded build machine does not fail the suite;
// a test that waits the whole bound has found a fault.

// A queued event, a timer of the window (the preview's typing pause), a repaint.
constexpr int kUiTimeoutMs = 5000;
// A controller's 3 s watchdog running out, and the disconnect that follows.
constexpr int kWatchdogTimeoutMs = 10000;
// A simulated machine working off its buffered commands (moves, reference run).
constexpr int kMachineTimeoutMs = 3000;
// Another program starting up or shutting down.
constexpr int kProcessTimeoutMs = 120000;
