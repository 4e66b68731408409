// Checking which hosts answer: fping or the system ping for echo rows, norvex's own connects for
// port rows, and the window checking a list through stand-ins first on PATH. The real ping and
// fping reach loopback only, or addresses inside network namespaces of the test's own.
#include <fcntl.h>
#include <sched.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include "panel/mainwindow.h"
#include "platform/posix/pingchecker.h"
#include "platform/posix/portsweep.h"
#include "platform/posix/searchpath.h"
#include "tests/fakes.h"
#include "tests/posix/fakedesktop.h"
#include "tests/posix/loopback.h"

namespace {

using State = CheckResult::State;
using Look = CheckMark::Look;

TEST(ReadPingRun, EveryWayARunCanEnd) {
    const struct {
        const char *name;
        bool normal;
        int code;
        const char *output;
        State state;
        double ms;
        const char *detail;
    } cases[] = {
        {"reply", true, 0,
         "PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
         "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms\n\n"
         "--- 127.0.0.1 ping statistics ---\n"
         "1 packets transmitted, 1 received, 0% packet loss, time 0ms\n",
         State::Answered, 0.045, ""},
        {"reply from another ping", true, 0, "64 bytes from ::1: seq=0 ttl=64 time=12.5 ms\n",
         State::Answered, 12.5, ""},
        {"no reply in time", true, 1,
         "PING 127.0.0.9 (127.0.0.9) 56(84) bytes of data.\n\n"
         "1 packets transmitted, 0 received, 100% packet loss, time 0ms\n",
         State::NoAnswer, -1, "no reply within a second"},
        {"router says unreachable", true, 1,
         "From 127.0.0.254 icmp_seq=1 Destination Host Unreachable\n"
         "1 packets transmitted, 0 received, +1 errors, 100% packet loss\n",
         State::NoAnswer, -1, "From 127.0.0.254 icmp_seq=1 Destination Host Unreachable"},
        // Some pings end well on an unreachable reply; it is still no answer from the host.
        {"unreachable with status 0", true, 0, "From 127.0.0.254: Destination Host Unreachable\n",
         State::NoAnswer, -1, "From 127.0.0.254: Destination Host Unreachable"},
        {"no network", true, 2, "ping: connect: Network is unreachable\n", State::NoAnswer, -1,
         "ping: connect: Network is unreachable"},
        {"unknown host", true, 2, "ping: nowhere.invalid: Name or service not known\n",
         State::CouldNotCheck, -1, "nowhere.invalid: Name or service not known"},
        {"bad option", true, 2, "ping: invalid argument: '-x'\n", State::CouldNotCheck, -1,
         "invalid argument: '-x'"},
        {"killed", false, 9, "", State::CouldNotCheck, -1, "ping ended abnormally"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const CheckResult r = readPingRun(c.normal, c.code, QString::fromUtf8(c.output));
        EXPECT_EQ(r.state, c.state);
        EXPECT_DOUBLE_EQ(r.roundTripMs, c.ms);
        EXPECT_EQ(r.detail.toStdString(), c.detail);
    }
}

// One check through the checker, waited for.
// A port is given: a port row's check.
CheckResult checkOnce(HostChecker &checker, const QString &host, int timeoutMs = 10000,
                      int port = 0) {
    std::optional<CheckResult> result;
    const auto done = [&](const CheckResult &r) { result = r; };
    const auto pending = port ? checker.checkPort(host, port, done) : checker.check(host, done);
    EXPECT_FALSE(result) << "the result came before check() returned";
    runUntil([&] { return result.has_value(); }, timeoutMs);
    EXPECT_TRUE(result) << "no result for " << host.toStdString();
    return result.value_or(CheckResult{});
}

// One sweep, waited for: every target's result, each told once and none before sweep() returned.
std::vector<CheckResult> sweepOnce(
    const std::vector<CheckTarget> &targets,
    const std::function<std::unique_ptr<PendingCheck>(HostChecker::Each)> &sweep) {
    std::vector<CheckResult> results(targets.size());
    std::vector<int> told(targets.size());
    std::size_t left = targets.size();
    const auto pending = sweep([&](std::size_t i, const CheckResult &r) {
        if (told.at(i)++ == 0) --left;
        results[i] = r;
    });
    EXPECT_EQ(left, targets.size()) << "a result came before sweep() returned";
    runUntil([&] { return left == 0; }, 15000);
    for (std::size_t i = 0; i < targets.size(); ++i)
        EXPECT_EQ(told[i], 1) << "told " << told[i] << " times: " << targets[i].host.toStdString();
    return results;
}
std::vector<CheckResult> sweepOnce(HostChecker &checker, const std::vector<CheckTarget> &targets) {
    return sweepOnce(targets, [&](HostChecker::Each each) { return checker.sweep(targets, each); });
}

TEST(PingChecker, RunsPingOnceWithItsOwnOptionsAndNoShell) {
    FakeDesktop desktop;
    desktop.add("ping", fake::answeringPing());
    desktop.answer("127.0.0.3", "0 silent");
    PingChecker checker(desktop.pathOnly());
    EXPECT_EQ(checkOnce(checker, "127.0.0.1").state, State::Answered);
    EXPECT_EQ(checkOnce(checker, "127.0.0.3").state, State::NoAnswer);
    EXPECT_EQ(checkOnce(checker, "$(/usr/bin/touch x);y").state, State::Answered);
    settle();
    std::vector<std::string> runs;
    for (const QStringList &words : desktop.records("ping", 3)) runs.push_back(show(words));
    std::sort(runs.begin(), runs.end());
    EXPECT_EQ(runs,
              (std::vector<std::string>{"-n|-c|1|-W|1|--|$(/usr/bin/touch x);y",
                                        "-n|-c|1|-W|1|--|127.0.0.1", "-n|-c|1|-W|1|--|127.0.0.3"}));
    EXPECT_FALSE(QFile::exists(QDir::current().filePath("x")));
}

TEST(PingChecker, APingThatCannotRunIsSaidSo) {
    FakeDesktop missing;
    QFile::remove(missing.path("ping"));
    PingChecker none(missing.pathOnly());
    CheckResult r = checkOnce(none, "127.0.0.1");
    EXPECT_EQ(r.state, State::CouldNotCheck);
    EXPECT_EQ(r.detail.toStdString(), "no ping program was found on PATH");

    FakeDesktop broken;
    broken.add("ping", "#!/nonexistent/interpreter\n");
    PingChecker cannotStart(broken.pathOnly());
    r = checkOnce(cannotStart, "127.0.0.1");
    EXPECT_EQ(r.state, State::CouldNotCheck);
    EXPECT_TRUE(r.detail.startsWith("ping could not be started")) << r.detail.toStdString();

    FakeDesktop slow;
    slow.add("ping", fake::answeringPing());
    slow.answer("127.0.0.1", "30 answer");
    PingChecker stopped(slow.pathOnly(), 300);
    r = checkOnce(stopped, "127.0.0.1");
    EXPECT_EQ(r.state, State::CouldNotCheck);
    EXPECT_TRUE(r.detail.contains("no result within")) << r.detail.toStdString();
    // A slow name lookup holds a check for four seconds at most, not for as long as it lasts.
    QElapsedTimer clock;
    clock.start();
    PingChecker patient(slow.pathOnly());
    r = checkOnce(patient, "127.0.0.1");
    EXPECT_TRUE(r.detail.contains("no result within 4 seconds")) << r.detail.toStdString();
    EXPECT_LT(clock.elapsed(), 5000);
    settle();
}

// Every way fping speaks of a host, in one sweep with one fping: each word's result reaches its
// target whatever the order of fping's lines, a word given twice goes once, a word that looks like
// an option is a line of its input and no argument, and a word fping would misread on a line
// never reaches it.
TEST(FpingChecks, OneFpingPerSweepEachHostReadByItsOwnWord) {
    FakeDesktop desktop;
    desktop.add("fping", fake::answeringFping());
    desktop.add("ping", fake::answeringPing());
    const QString noSpaces = "a host name holds no spaces or control characters";
    const struct {
        QString host;
        const char *how;  // how the stand-in answers; nullptr: it must never be asked
        State state;
        double ms;
        QString detail;
    } cases[] = {
        {"127.0.0.1", "0 answer", State::Answered, 0.042, ""},
        {"127.0.0.3", "0 silent", State::NoAnswer, -1, "no reply within a second"},
        {"127.0.0.4", "0 unreachable", State::NoAnswer, -1,
         "ICMP Host Unreachable from 127.0.0.254"},
        {"::1", "0 noroute", State::NoAnswer, -1, "No route to host"},
        {"nowhere.invalid", "0 unknown", State::CouldNotCheck, -1, "Name or service not known"},
        {"-x", "0 unknown", State::CouldNotCheck, -1, "Name or service not known"},
        {"127.0.0.1", "0 answer", State::Answered, 0.042, ""},
        {"#127.0.0.5", nullptr, State::CouldNotCheck, -1, "a host name does not start with #"},
        {"127.0.0.6 127.0.0.7", nullptr, State::CouldNotCheck, -1, noSpaces},
        {"127.0.0.8\n127.0.0.9", nullptr, State::CouldNotCheck, -1, noSpaces},
        {QString(132, u'a'), nullptr, State::CouldNotCheck, -1,
         "too long for fping to read (131 bytes at most)"},
    };
    std::vector<CheckTarget> targets;
    for (const auto &c : cases) {
        if (c.how) desktop.answer(c.host, c.how);
        targets.push_back({c.host, 0});
    }
    PingChecker checker(desktop.pathOnly());
    const std::vector<CheckResult> results = sweepOnce(checker, targets);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        SCOPED_TRACE(cases[i].host.toStdString());
        EXPECT_EQ(results[i].state, cases[i].state);
        EXPECT_DOUBLE_EQ(results[i].roundTripMs, cases[i].ms);
        EXPECT_EQ(results[i].detail.toStdString(), cases[i].detail.toStdString());
    }
    settle();
    const std::vector<QStringList> runs = desktop.records("fping", 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(show(runs[0]), "-e|-r|0|-t|1000|-i|1");
    const QByteArray sent = "127.0.0.1\n127.0.0.3\n127.0.0.4\n::1\nnowhere.invalid\n-x\n";
    EXPECT_EQ(desktop.inputs("fping"), std::vector<QByteArray>{sent});
    EXPECT_TRUE(desktop.records("ping", 0).empty()) << "ping ran beside fping";
}

// What fping said stands when it ends early; every host it said nothing of could not be checked,
// and says why.
TEST(FpingChecks, AHostFpingSaidNothingOfCouldNotBeChecked) {
    const struct {
        const char *name;
        QByteArray fping;
        const char *hows[3];  // for 127.0.0.1 .. 127.0.0.3
        int hardLimitMs;
        State states[3];
        std::string unheard;
    } cases[] = {
        // Its lines come last host first: the third is told before it is killed at the second.
        {"killed mid-run", fake::answeringFping(), {"0 answer", "0 killed", "0 answer"},
         PingChecker::kHardLimitMs, {State::CouldNotCheck, State::CouldNotCheck, State::Answered},
         "fping ended before it answered for this host (signal 9)"},
        {"a slow name lookup", fake::answeringFping(), {"30 answer", "0 answer", "0 answer"},
         300, {State::CouldNotCheck, State::CouldNotCheck, State::CouldNotCheck},
         "fping gave no result within 0.3 seconds (a slow name lookup?)"},
        {"cannot start", "#!/nonexistent/interpreter\n", {"0 answer", "0 answer", "0 answer"},
         PingChecker::kHardLimitMs,
         {State::CouldNotCheck, State::CouldNotCheck, State::CouldNotCheck},
         "fping could not be started: No such file or directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.add("fping", c.fping);
        std::vector<CheckTarget> targets;
        for (int i = 0; i < 3; ++i) {
            targets.push_back({QStringLiteral("127.0.0.%1").arg(i + 1), 0});
            desktop.answer(targets.back().host, c.hows[i]);
        }
        PingChecker checker(desktop.pathOnly(), c.hardLimitMs);
        const std::vector<CheckResult> results = sweepOnce(checker, targets);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(results[i].state, c.states[i]) << i;
            if (c.states[i] == State::CouldNotCheck) {
                EXPECT_EQ(results[i].detail.toStdString(), c.unheard);
            }
        }
        settle();
    }
}

// A ping or an fping planted in the current folder never runs for a check, whatever PATH says:
// only its absolute folders are searched, for fping first, then for ping.
TEST(PingChecker, NeverRunsAProgramOfTheCurrentFolder) {
    FakeDesktop planted;  // records "ping" runs
    planted.add("fping", FakeDesktop::recorder());
    QDir(planted.path("")).mkpath("bin");
    QFile::copy(planted.path("fping"), planted.path("bin/fping"));
    const CurrentFolder here(planted.path(""));
    FakeDesktop pingOnly, withFping;
    pingOnly.add("ping", fake::answeringPing());
    withFping.add("fping", fake::answeringFping());
    const QString pingDir = pingOnly.pathOnly().value("PATH");
    const QString fpingDir = withFping.pathOnly().value("PATH");
    const struct {
        QString path;
        State state;
        double ms;
    } cases[] = {
        {".:", State::CouldNotCheck, -1},  // no absolute folder: no ping at all
        {"::" + pingDir, State::Answered, 0.042},
        {".:" + fpingDir, State::Answered, 0.042},
        {"bin:" + pingDir, State::Answered, 0.042},
        {"bin::" + fpingDir + ":.", State::Answered, 0.042},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QProcessEnvironment environment;
        environment.insert("PATH", c.path);
        PingChecker checker(environment);
        const CheckResult r = checkOnce(checker, "127.0.0.1");
        EXPECT_EQ(r.state, c.state);
        EXPECT_DOUBLE_EQ(r.roundTripMs, c.ms);
        settle();
    }
    EXPECT_TRUE(QDir(planted.path("")).entryList({"*.args"}, QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(planted.path("bin")).entryList({"*.args"}, QDir::Files).isEmpty());
}

// Port rows are norvex's own connects, all in one sweep beside the echo rows: connected,
// refused, nothing in time, a name looked up without blocking; no program runs for them.
TEST(PortChecks, OneConnectEachAllInOneSweep) {
    Loopback open(16), closed(-1), full(0);
    full.fillQueue();
    FakeDesktop desktop;  // a ping that records its runs
    PingChecker checker(desktop.pathOnly());
    const struct {
        QString host;
        QString port;
        State state;
        const char *detail;
    } cases[] = {
        {"127.0.0.1", open.port, State::Answered, ""},
        {"127.0.0.1", closed.port, State::NoAnswer, "refused: nothing listens on that port"},
        {"127.0.0.1", full.port, State::NoAnswer, "no answer within a second"},
        {"localhost", open.port, State::Answered, ""},  // /etc/hosts, on a C library thread
        {QStringLiteral("127.0.0.1\0.2"), open.port, State::CouldNotCheck, "not a host name"},
    };
    std::vector<CheckTarget> targets;
    for (const auto &c : cases) targets.push_back({c.host, c.port.toInt()});
    const std::vector<CheckResult> results = sweepOnce(checker, targets);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        SCOPED_TRACE((cases[i].host + ':' + cases[i].port).toStdString());
        EXPECT_EQ(results[i].state, cases[i].state);
        EXPECT_EQ(results[i].detail.toStdString(), cases[i].detail);
        if (cases[i].state == State::Answered) {
            EXPECT_GE(results[i].roundTripMs, 0);
        }
    }
    EXPECT_TRUE(desktop.records("ping", 0).empty());
    EXPECT_TRUE(desktop.records("norvex-probe", 0).empty());
}

// Sockets open in this process, as /proc lists them.
int openSockets() {
    int sockets = 0;
    for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System))
        sockets += fd.symLinkTarget().contains("socket:");
    return sockets;
}

// Past the most sockets a sweep opens at once, the other targets wait their turn, and all are
// checked.
TEST(PortChecks, TargetsPastTheMostSocketsWaitTheirTurn) {
    Loopback open(16), full(0);
    full.fillQueue();
    const CheckTarget noAnswer{"127.0.0.1", full.port.toInt()};
    const CheckTarget answers{"127.0.0.1", open.port.toInt()};
    const std::vector<CheckTarget> targets{noAnswer, noAnswer, answers, noAnswer, answers};
    const int before = openSockets();
    int most = 0;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout,
                     [&] { most = std::max(most, openSockets() - before); });
    sample.start(10);
    const std::vector<CheckResult> results = sweepOnce(targets, [&](HostChecker::Each each) {
        return sweepPorts(targets, std::move(each), 2);
    });
    EXPECT_LE(most, 2);
    EXPECT_GE(most, 1);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i].state, targets[i] == answers ? State::Answered : State::NoAnswer);
    }
}

// "Check all hosts" on a list that mixes echo rows with port rows: each port row is one real
// connect to a loopback listener, counted in the same run.
TEST(WindowCheck, PortRowsAreMarkedByWhetherTheirPortConnects) {
    Loopback open(16), closed(-1);
    FakeDesktop desktop;
    desktop.add("ping", fake::answeringPing());
    desktop.answer("127.0.0.3", "0 silent");
    PingChecker checker(desktop.pathOnly());
    FakeFileReader files;
    files.files[QStringLiteral("norvex.nvx")] = crlfLines(
        {"[LIST]", "Web=127.0.0.1:" + open.port, "Ping=127.0.0.2", "Shut=127.0.0.1:" + closed.port,
         "Silent=127.0.0.3"});
    RecordingLauncher launcher;
    MainWindow window(files, launcher, QString(), &checker);
    window.checkAllAction()->trigger();
    const auto look = [&](int row) {
        return window.markOf(row) ? window.markOf(row)->look() : Look::Checking;
    };
    runUntil([&] { return look(1) != Look::Checking && look(2) != Look::Checking &&
                          look(3) != Look::Checking && look(4) != Look::Checking; }, 10000);
    EXPECT_EQ(look(1), Look::Answered);
    EXPECT_EQ(look(2), Look::Answered);
    EXPECT_EQ(look(3), Look::NoAnswer);
    EXPECT_EQ(look(4), Look::NoAnswer);
    EXPECT_TRUE(window.markOf(3)->toolTip().contains("refused"))
        << window.markOf(3)->toolTip().toStdString();
    EXPECT_EQ(desktop.records("ping", 0).size(), 2u) << "a port row went to ping";
    settle();
}

// A list of 86 loopback hosts, every other one silent for a second, checked through a stand-in
// ping, and a stand-in fping where withFping.
struct CheckedWindow {
    explicit CheckedWindow(bool withFping) : checker(desktop.pathOnly()) {
        desktop.add("ping", fake::answeringPing());
        if (withFping) desktop.add("fping", fake::answeringFping());
        for (int i = 1; i <= 86; i += 2)
            desktop.answer(QStringLiteral("127.0.0.%1").arg(i), "1 silent");
        files.files[QStringLiteral("norvex.nvx")] = crlfLines(entryLines(86));
        window = std::make_unique<MainWindow>(files, launcher, QString(), &checker);
        window->show();
    }
    FakeDesktop desktop;
    PingChecker checker;
    FakeFileReader files;
    RecordingLauncher launcher;
    std::unique_ptr<MainWindow> window;

    bool allChecked() const {
        for (int n = 1; n <= 86; ++n) {
            if (!window->markOf(n) || window->markOf(n)->look() == CheckMark::Look::Checking)
                return false;
        }
        return true;
    }
    // The hosts each fping run was given, by run.
    std::vector<qsizetype> fpingHosts() const {
        std::vector<qsizetype> counts;
        for (const QByteArray &input : desktop.inputs("fping")) counts.push_back(input.count('\n'));
        return counts;
    }
};

// A full list's run marks every row while the window keeps being served: with fping one fping
// given every host, without it pings side by side, sixteen at most. How long a run takes is a
// figure of bench/, not a test: the bounds here hold on the busiest machine.
TEST(WindowCheck, EveryRowIsMarkedWithTheWindowServedByFpingOrSixteenPings) {
    for (const bool withFping : {true, false}) {
        SCOPED_TRACE(withFping ? "fping" : "ping");
        CheckedWindow w(withFping);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window.get()));
        const QString caption = w.window->caption();
        const QSize size = w.window->size();
        // The event loop's longest pause, seen by a timer that wants to run every 5 ms.
        QElapsedTimer sinceTick;
        qint64 longestPause = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { longestPause = std::max(longestPause, sinceTick.restart()); });
        int mostAtOnce = 0;
        QElapsedTimer clock;
        clock.start();
        w.window->checkAllAction()->trigger();
        sinceTick.start();
        tick.start(5);
        bool clicked = false;
        runUntil(
            [&] {
                mostAtOnce = std::max(mostAtOnce, children().running);
                if (!clicked && clock.elapsed() > 300) {  // a click while the check runs
                    QTest::mouseClick(w.window->pingButton(3), Qt::LeftButton);
                    clicked = true;
                }
                return w.allChecked();
            },
            60000);
        tick.stop();
        EXPECT_TRUE(w.allChecked());
        EXPECT_LT(longestPause, 1000) << "the window was not served for " << longestPause << " ms";
        EXPECT_EQ(w.launcher.starts.size(), 1u);  // the click was taken, during the check
        if (withFping) {
            EXPECT_EQ(mostAtOnce, 1);
            EXPECT_EQ(w.fpingHosts(), std::vector<qsizetype>{86});
            EXPECT_TRUE(w.desktop.records("ping", 0).empty());
        } else {
            EXPECT_LE(mostAtOnce, 16);
            EXPECT_GE(mostAtOnce, 8) << "the checks did not run side by side";
            EXPECT_EQ(w.desktop.records("ping", 86).size(), 86u);
        }
        EXPECT_EQ(w.window->markOf(1)->look(), CheckMark::Look::NoAnswer);
        EXPECT_EQ(w.window->markOf(2)->look(), CheckMark::Look::Answered);
        EXPECT_EQ(withoutTime(w.window->markOf(2)->toolTip()),
                  QStringLiteral("127.0.0.2 answered in 0.042 ms"));
        EXPECT_EQ(w.window->caption(), caption);
        EXPECT_EQ(w.window->size(), size);
        settle();
    }
}

TEST(WindowCheck, ANewCheckRestartsAndClosingStopsEverything) {
    for (const bool withFping : {true, false}) {
        SCOPED_TRACE(withFping ? "fping" : "ping");
        const int programs = withFping ? 1 : PingChecker::kMostAtOnce;
        auto w = std::make_unique<CheckedWindow>(withFping);
        for (int i = 2; i <= 86; i += 2)
            w->desktop.answer(QStringLiteral("127.0.0.%1").arg(i), "5 answer");
        w->window->checkAll();
        runUntil([&] { return children().running >= programs; }, 5000);
        w->window->checkAll();  // again, while the first run is under way
        runUntil([] { return false; }, 300);
        EXPECT_LE(children().all(), programs) << "the first run's programs were not stopped";
        w.reset();  // the window closes mid-check
        EXPECT_EQ(children().all(), 0) << "a check's program was left behind";
    }
}

TEST(WindowCheck, KeepCheckingRepeatsAndStops) {
    for (const bool withFping : {true, false}) {
        SCOPED_TRACE(withFping ? "fping" : "ping");
        const QString program = withFping ? "fping" : "ping";
        const size_t perRun = withFping ? 1 : 86;
        CheckedWindow w(withFping);
        for (int i = 1; i <= 86; i += 2)
            w.desktop.answer(QStringLiteral("127.0.0.%1").arg(i), "0 silent");
        w.window->setKeepCheckingPause(100);
        w.window->keepCheckingAction()->setChecked(true);
        runUntil([&] { return w.desktop.records(program, 0).size() >= 3 * perRun; }, 20000);
        EXPECT_GE(w.desktop.records(program, 0).size(), 3 * perRun) << "it did not repeat";
        w.window->keepCheckingAction()->setChecked(false);
        settle();
        runUntil([] { return false; }, 500);
        const size_t runs = w.desktop.records(program, 0).size();
        runUntil([] { return false; }, 500);
        EXPECT_EQ(w.desktop.records(program, 0).size(), runs) << "it went on after being off";
        EXPECT_EQ(runs % perRun, 0u);
        if (withFping) {
            EXPECT_EQ(w.fpingHosts(), std::vector<qsizetype>(runs, 86));
        }
    }
}

// The real ping, to loopback only: here it answers; in a network namespace of its own, whose
// loopback is down, nothing does, and nothing leaves the machine.
TEST(RealPing, LoopbackAnswersAndADownedLoopbackDoesNot) {
    PingChecker real;
    const CheckResult up = checkOnce(real, "127.0.0.1");
    EXPECT_EQ(up.state, State::Answered) << up.detail.toStdString();
    EXPECT_GE(up.roundTripMs, 0);

    FakeDesktop isolated;
    isolated.add("ping", "#!/bin/sh\nexec /usr/bin/unshare --net /usr/bin/ping \"$@\"\n");
    QProcess probe;
    probe.start("/usr/bin/unshare", {"--net", "/bin/true"});
    ASSERT_TRUE(probe.waitForFinished(5000) && probe.exitCode() == 0)
        << "no network namespace can be made here: " << probe.readAllStandardError().toStdString();
    PingChecker inNamespace(isolated.pathOnly());
    const CheckResult down = checkOnce(inNamespace, "127.0.0.1");
    EXPECT_EQ(down.state, State::NoAnswer) << down.detail.toStdString();
}

// A network namespace of the test's own for as long as it lives, in which 10.66.0.0/24 has a
// route that says unreachable and loopback is up: nothing sent in it leaves the machine.
class UnreachableNetwork {
public:
    UnreachableNetwork() : m_home(::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC)) {
        if (m_home < 0 || ::unshare(CLONE_NEWNET) != 0) {
            m_error = std::strerror(errno);
            return;
        }
        m_inside = true;
        const QString ip = findExecutable("ip", {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
        for (const QStringList &arguments : {QStringList{"link", "set", "lo", "up"},
                                             {"route", "add", "unreachable", "10.66.0.0/24"}}) {
            QProcess run;
            run.start(ip, arguments);
            if (!run.waitForFinished(10000) || run.exitCode() != 0) {
                m_error = "ip " + arguments.join(' ').toStdString() + ": " +
                          run.readAllStandardError().toStdString();
                return;
            }
        }
    }
    ~UnreachableNetwork() {
        if (m_inside) ::setns(m_home, CLONE_NEWNET);
        if (m_home >= 0) ::close(m_home);
    }
    UnreachableNetwork(const UnreachableNetwork &) = delete;
    UnreachableNetwork &operator=(const UnreachableNetwork &) = delete;
    const std::string &error() const { return m_error; }

private:
    int m_home;
    bool m_inside = false;
    std::string m_error;
};

// No route to the host is no answer, not "could not check", for an echo row (fping, or the ping
// it falls back to) and for a port row alike, in the system's own words.
TEST(RealNamespace, NoRouteToHostIsNoAnswerForEchoAndPortRows) {
    const UnreachableNetwork network;
    ASSERT_EQ(network.error(), "")
        << "needs a network namespace: run as root on a machine or VM";
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    ASSERT_FALSE(findExecutable("fping", searchPath(system)).isEmpty())
        << "needs fping on PATH (apt install fping)";
    FakeDesktop pingOnly;
    QFile::remove(pingOnly.path("ping"));
    ASSERT_TRUE(QFile::link(findExecutable("ping", searchPath(system)), pingOnly.path("ping")));
    const struct {
        const char *name;
        QProcessEnvironment environment;
    } cases[] = {{"fping", system}, {"ping", pingOnly.pathOnly()}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        PingChecker checker(c.environment);
        const std::vector<CheckTarget> targets{{"10.66.0.1", 80}, {"10.66.0.1", 0}};
        const std::vector<CheckResult> results = sweepOnce(checker, targets);
        EXPECT_EQ(results[0].state, State::NoAnswer);
        EXPECT_EQ(results[0].detail.toStdString(), "No route to host");
        EXPECT_EQ(results[1].state, State::NoAnswer);
        EXPECT_TRUE(results[1].detail.endsWith("No route to host"))
            << results[1].detail.toStdString();
    }
}

}  // namespace
