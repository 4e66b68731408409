#pragma once

// One TCP connect to a port, for the probe program and for checks of port rows. No Qt: the probe
// program is a small console program of its own. Each system has its half in posix/ or win/.

#include <csignal>
#include <string>

// What one connect came to.
struct ConnectOutcome {
    enum class Kind {
        Connected,     // the port accepted; closed again at once, nothing sent
        Refused,       // the host answered that nothing listens there
        NoAnswer,      // nothing answered within the timeout
        NameNotFound,  // the name has no address
        Failed,        // anything else the system said (no route, ...), in detail
        Stopped,       // the user asked to stop while it waited
    };
    Kind kind = Kind::Failed;
    double ms = -1;       // how long the connect took, when it connected
    std::string address;  // the address tried last, as text
    std::string detail;   // the system's own words, where it has them
};

// Resolves host (a name or an address, UTF-8; a name for as long as the system's resolver takes)
// and connects to port on each of its addresses in turn until one accepts, within timeoutMs for
// them all. Returns early, Stopped, once *stop is set: it is looked at while waiting, for a name
// server as for a connect.
ConnectOutcome connectOnce(const std::string &host, int port, int timeoutMs,
                           const volatile std::sig_atomic_t *stop = nullptr);

// Makes Ctrl+C, the terminal's hang-up and, on Windows, the closing of the console window set
// *stop to 1 instead of ending the program.
void setStopOnInterrupt(volatile std::sig_atomic_t *stop);
