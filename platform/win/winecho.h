#pragma once

#include <string>

// Windows only, and no Qt, so it can be compiled on its own.

// What one echo request to a host came to.
struct EchoOutcome {
    enum Kind { Answered, NoAnswer, CouldNotCheck };
    Kind kind = CouldNotCheck;
    long roundTripMs = -1;  // when it answered
    std::wstring detail;    // why there was no answer, or why nothing was sent
};

// Sends host (a name or an address) one ICMP echo request with the IP Helper functions and waits
// at most timeoutMs for the reply. Blocks, name lookup included: run it on a thread of its own.
EchoOutcome echoOnce(const std::wstring &host, unsigned long timeoutMs);

// What a reply status of the ICMP functions (IP_SUCCESS, IP_REQ_TIMED_OUT, ...) means. A router's
// "destination host unreachable" is a reply, but not an answer from the host.
EchoOutcome outcomeOfStatus(unsigned long status, unsigned long roundTripMs);
