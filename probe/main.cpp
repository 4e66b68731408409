// norvex-probe: tries to connect to a TCP port about once a second, one line per try, until
// stopped, then sums up; what a port row's window runs where ping is blocked. It connects and
// closes at once and sends no data.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcpconnect.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The options that take a number: the values they accept and take unless told, which the usage
// text states. A count of -1 is no limit.
struct NumberOption {
    const char *name, *value, *what;
    long low, high, initial;
};
constexpr long kDayMs = 86400000;
constexpr NumberOption kNumberOptions[] = {
    {"-c", "COUNT", "stop after COUNT tries", 1, kDayMs, -1},
    {"-i", "INTERVAL_MS", "from the start of one try to the next", 10, kDayMs, 1000},
    {"-W", "TIMEOUT_MS", "how long a try waits for an answer", 10, kDayMs, 1000},
};
enum { kCount, kInterval, kTimeout };

std::string usageText() {
    std::string text =
        "Usage: norvex-probe [-c COUNT] [-i INTERVAL_MS] [-W TIMEOUT_MS] [--] HOST PORT\n"
        "Tries to connect to TCP port PORT (1-65535) on HOST about once a second, one line per\n"
        "try, until stopped with Ctrl+C (or after COUNT tries), then prints a summary. It "
        "connects\n"
        "and closes at once, sending no data.\n";
    for (const NumberOption &o : kNumberOptions) {
        char line[200];
        std::snprintf(line, sizeof line, "  %s %-12s %s (%ld to %ld; default ", o.name, o.value,
                      o.what, o.low, o.high);
        text += line + (o.initial < 0 ? "until Ctrl+C" : std::to_string(o.initial)) + ")\n";
    }
    return text +
           "Exit status: 0 when the last try connected, 1 when it did not, 2 for bad usage.\n";
}

volatile std::sig_atomic_t stopRequested = 0;

int usage(const char *problem) {
    std::fprintf(stderr, "norvex-probe: %s\n%s", problem, usageText().c_str());
    return 2;
}

// A whole decimal number in [low, high], or -1.
long number(const char *text, long low, long high) {
    if (!*text || std::strlen(text) > 9) return -1;
    for (const char *c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return -1;
    }
    const long value = std::strtol(text, nullptr, 10);
    return value >= low && value <= high ? value : -1;
}

struct Tally {
    int tries = 0, connected = 0;
    double min = 0, max = 0, sum = 0;
    void add(const ConnectOutcome &outcome) {
        ++tries;
        if (outcome.kind != ConnectOutcome::Kind::Connected) return;
        min = connected ? std::min(min, outcome.ms) : outcome.ms;
        max = connected ? std::max(max, outcome.ms) : outcome.ms;
        sum += outcome.ms;
        ++connected;
    }
};

void say(const std::string &line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string describe(const ConnectOutcome &o, const std::string &host, const std::string &port,
                     long timeoutMs) {
    const std::string where = (o.address.empty() ? host : o.address) + " port " + port;
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.2f", o.ms);
    switch (o.kind) {
        case ConnectOutcome::Kind::Connected:
            return "connected to " + where + ": time=" + ms + " ms";
        case ConnectOutcome::Kind::Refused:
            return "refused by " + where + " (nothing listens there)";
        case ConnectOutcome::Kind::NoAnswer:
            return "no answer from " + where + " within " + std::to_string(timeoutMs) + " ms";
        case ConnectOutcome::Kind::NameNotFound:
            return "name not found: " + host + (o.detail.empty() ? "" : " (" + o.detail + ")");
        case ConnectOutcome::Kind::Failed:
        case ConnectOutcome::Kind::Stopped:
            break;
    }
    return "could not connect to " + where + ": " + o.detail;
}

int probe(const std::vector<std::string> &args) {
    long values[std::size(kNumberOptions)];
    for (size_t i = 0; i < std::size(kNumberOptions); ++i) values[i] = kNumberOptions[i].initial;
    std::vector<std::string> operands;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        }
        if (a == "--") {
            operands.insert(operands.end(), args.begin() + i + 1, args.end());
            break;
        }
        const auto option = std::find_if(std::begin(kNumberOptions), std::end(kNumberOptions),
                                         [&](const NumberOption &o) { return a == o.name; });
        if (option != std::end(kNumberOptions)) {
            if (i + 1 == args.size()) return usage(("option " + a + " needs a value").c_str());
            const long value = number(args[++i].c_str(), option->low, option->high);
            if (value < 0) {
                const std::string range =
                    std::to_string(option->low) + " to " + std::to_string(option->high);
                return usage(("bad value for " + a + ": " + args[i] + " (" + range + ")").c_str());
            }
            values[option - std::begin(kNumberOptions)] = value;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return usage(("unknown option " + a).c_str());
        operands.push_back(a);
    }
    if (operands.size() != 2) return usage("give a HOST and a PORT");
    const long count = values[kCount], intervalMs = values[kInterval], timeoutMs = values[kTimeout];
    const std::string &host = operands[0], &port = operands[1];
    const long portNumber = number(port.c_str(), 1, 65535);
    if (host.empty()) return usage("the host is empty");
    if (portNumber < 0) return usage(("not a port from 1 to 65535: " + port).c_str());

    setStopOnInterrupt(&stopRequested);
    say("Probing " + host + " port " + port +
        " with a TCP connect about once a second (nothing is sent); Ctrl+C stops.");
    Tally tally;
    bool lastConnected = false;
    using Clock = std::chrono::steady_clock;
    while (!stopRequested && (count < 0 || tally.tries < count)) {
        const Clock::time_point next = Clock::now() + std::chrono::milliseconds(intervalMs);
        const ConnectOutcome outcome = connectOnce(host, static_cast<int>(portNumber),
                                                   static_cast<int>(timeoutMs), &stopRequested);
        if (outcome.kind == ConnectOutcome::Kind::Stopped) break;  // not a try: it was cut short
        tally.add(outcome);
        lastConnected = outcome.kind == ConnectOutcome::Kind::Connected;
        say(describe(outcome, host, port, timeoutMs));
        if (count >= 0 && tally.tries >= count) break;
        // To the start of the next try, in slices short enough that Ctrl+C is seen at once.
        for (Clock::time_point now = Clock::now(); !stopRequested && now < next; now = Clock::now())
            std::this_thread::sleep_until(std::min(next, now + std::chrono::milliseconds(50)));
    }
    say("--- " + host + " port " + port + " ---");
    char line[200];
    std::snprintf(line, sizeof line, "%d %s, %d connected, %d failed", tally.tries,
                  tally.tries == 1 ? "try" : "tries", tally.connected,
                  tally.tries - tally.connected);
    std::string summary = line;
    if (tally.connected) {
        std::snprintf(line, sizeof line, "; time min/avg/max = %.2f/%.2f/%.2f ms", tally.min,
                      tally.sum / tally.connected, tally.max);
        summary += line;
    }
    say(summary);
    return lastConnected ? 0 : 1;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so a host name in any script arrives whole.
int wmain(int argc, wchar_t **argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string a(n > 0 ? n - 1 : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, a.data(), n, nullptr, nullptr);
        args.push_back(a);
    }
    return probe(args);
}
#else
int main(int argc, char **argv) { return probe(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
