// Cancelling a run from outside: the signals that ask a console program to end (POSIX: SIGINT,
// SIGTERM, SIGHUP; Windows: the console's Ctrl-C, Ctrl-Break and close events). While they are
// caught, the first one only marks the run as cancelled, so that it can finish the exchange in
// flight and leave the programmer in a known state; a second one ends the process at once.
#pragma once

namespace zos {

// Starts catching the cancel signals and forgets one that came before.
void catchCancelSignals();

// Puts back what was in force before catchCancelSignals; cancelSignal keeps its answer.
void releaseCancelSignals();

// 0 while no cancel signal came, otherwise its number (SIGINT: 2, so that 128 + it is 130; on
// Windows every console event counts as 2). Safe to ask from any thread.
int cancelSignal();

// Sends the process its own Ctrl-C (POSIX: SIGINT; Windows: the console's Ctrl-C event, to every
// process on the console). For tests. Returns whether it went out.
bool sendCancelSignal();

}  // namespace zos
