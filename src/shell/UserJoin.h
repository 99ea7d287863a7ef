// The connection attempt the user started on the interface thread: one at a time (a newer one
// takes its place), advanced by the main tick, shown by the window while it runs. The polling
// thread sees that one runs through theApp.m_bJoining and starts no attempt of its own meanwhile.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "survey/ConnectAttempt.h"

namespace wavory {

using JoinEndedFn = std::function<void(CConnectAttempt& attempt)>;

// Runs an attempt the user started. When it has ended (at once, or on a later look), `ended` is
// called on the interface thread; without one, a failure is shown as a message.
void RunUserAttempt(std::unique_ptr<CConnectAttempt> attempt, JoinEndedFn ended = {});
// One look at the running attempt (the main tick's, under CS_MAIN).
void AdvanceUserAttempt();
// The SSID of the running attempt; empty when none runs.
std::string UserAttemptNetwork();
// Forgets the running attempt without reporting it (shutdown).
void DropUserAttempt();
// The user's Cancel of the running attempt: it ends unreported, and the adapter goes back to the
// connection this program had when the attempt started (a new attempt, shown while it runs), or
// leaves the network when there was none (and the automatic selection waits, as after
// Disconnect). False, with the reason, when the adapter refused.
bool CancelUserAttempt(std::string* failure);

}  // namespace wavory
