// The stop request of a console process that runs until it is told to end (Ctrl+C, kill): the
// signals are taken synchronously by one waiting thread instead of an asynchronous handler.
#pragma once

namespace sim {

// Holds back the stop signals (interrupt, terminate, hang-up) from the calling thread and from
// every thread it starts afterwards, so that only waitForStopSignal receives them. Call it first.
bool blockStopSignals();

// Blocks until a stop signal arrives; returns its number (0 on failure).
int waitForStopSignal();

// Sends the process its own terminate signal, so that a waitForStopSignal returns.
bool sendStopSignal();

}  // namespace sim
