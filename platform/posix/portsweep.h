#pragma once

#include <vector>

#include "platform/hostcheck.h"

// 256, or fewer under a low limit of open files: three quarters of it stay for the rest of norvex.
int mostSocketsAtOnce();

// Checks each target's port with TCP connects norvex makes itself, sending nothing: every target
// at once, with at most mostOpen sockets open at a time (the others wait their turn), driven from
// the event loop. An address needs no lookup; a name is looked up on the C library's threads
// (given up after four seconds), and its addresses are tried in turn, within the reply timeout
// for them all. Connected is Answered with the time the connect took; refused, nothing in time,
// or no way there (no route, host or network unreachable or down) NoAnswer, the detail in the
// system's words; CouldNotCheck only what could not be tried: a name without an address, no
// socket. Results go to each(i, result) for targets[i] as HostChecker::sweep says.
std::unique_ptr<PendingCheck> sweepPorts(std::vector<CheckTarget> targets, HostChecker::Each each,
                                         int mostOpen = mostSocketsAtOnce());
