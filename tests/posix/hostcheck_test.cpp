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

// One sweep, waited for: each target's result, told once and not before sweep() returned.
using Sweep = std::function<std::unique_ptr<PendingCheck>(HostChecker::Each)>;
std::vector<CheckResult> sweepOnce(std::size_t count, const Sweep &sweep) {
    std::vector<CheckResult> results(count);
    std::vector<std::size_t> told(count);
    const auto pending = sweep([&](std::size_t i, const CheckResult &r) {
        ++told.at(i);
        results[i] = r;
    });
    EXPECT_EQ(told, std::vector<std::size_t>(count, 0)) << "told before sweep() returned";
    runUntil([&] { return std::count(told.begin(), told.end(), 0) == 0; }, 15000);
    EXPECT_EQ(told, std::vector<std::size_t>(count, 1));
    return results;
}
std::vector<CheckResult> sweepOnce(HostChecker &checker, const std::vector<CheckTarget> &targets) {
    return sweepOnce(targets.size(),
                     [&](HostChecker::Each e) { return checker.sweep(targets, e); });
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
    // Addresses in one run, names (which fping looks up one by one first) in another.
    const std::vector<QStringList> runs = desktop.records("fping", 2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(show(runs[0]), "-e|-r|0|-t|1000|-i|1");
    std::vector<QByteArray> sent = desktop.inputs("fping");
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent, (std::vector<QByteArray>{"127.0.0.1\n127.0.0.3\n127.0.0.4\n::1\n",
                                             "nowhere.invalid\n-x\n"}));
    EXPECT_TRUE(desktop.records("ping", 0).empty()) << "ping ran beside fping";
}

// What fping said stands when it ends early; every host it said nothing of could not be checked,
// and says why.
TEST(FpingChecks, AHostFpingSaidNothingOfCouldNotBeChecked) {
    const struct {
        const char *name, *script, *how[3];  // how the stand-in answers 127.0.0.1 .. 127.0.0.3
        int hardLimitMs;
        std::string unheard;
    } cases[] = {
        // Its lines come last host first: 127.0.0.3 is told before it is killed at 127.0.0.2.
        {"killed mid-run",
         nullptr,
         {"0 answer", "0 killed", "0 answer"},
         4000,
         "fping ended before it answered for this host (signal 9)"},
        {"exits mid-run",
         nullptr,
         {"0 answer", "0 quits", "0 answer"},
         4000,
         "fping ended before it answered for this host"},
        {"a slow name lookup",
         nullptr,
         {"30 answer", "0 answer", "0 answer"},
         300,
         "fping gave no result within 0.3 seconds (a slow name lookup?)"},
        {"cannot start",
         "#!/nonexistent/interpreter\n",
         {"0 answer", "0 answer", "0 answer"},
         4000,
         "fping could not be started: No such file or directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.add("fping", c.script ? QByteArray(c.script) : fake::answeringFping());
        std::vector<CheckTarget> targets;
        for (const char *how : c.how) {
            targets.push_back({QStringLiteral("127.0.0.%1").arg(targets.size() + 1), 0});
            desktop.answer(targets.back().host, how);
        }
        PingChecker checker(desktop.pathOnly(), c.hardLimitMs);
        const std::vector<CheckResult> results = sweepOnce(checker, targets);
        for (std::size_t i = 0; i < 3; ++i) {
            const bool told = std::string(c.how[1]) != "0 answer" && i == 2;
            EXPECT_EQ(results[i].state, told ? State::Answered : State::CouldNotCheck) << i;
            EXPECT_EQ(results[i].detail.toStdString(), told ? "" : c.unheard) << i;
        }
        settle();
    }
}

// A name whose lookup never ends holds up no address: names go to an fping of their own.
TEST(FpingChecks, ASlowNameHoldsUpNoAddress) {
    FakeDesktop desktop;
    desktop.add("fping", fake::answeringFping());
    desktop.answer("127.0.0.1", "0 answer");
    desktop.answer("stuck.norvex.test", "30 answer");
    PingChecker checker(desktop.pathOnly(), 300);
    const std::vector<CheckResult> results =
        sweepOnce(checker, {{"stuck.norvex.test", 0}, {"127.0.0.1", 0}});
    EXPECT_EQ(results[0].state, State::CouldNotCheck);
    EXPECT_TRUE(results[0].detail.contains("a slow name lookup"))
        << results[0].detail.toStdString();
    EXPECT_EQ(results[1].state, State::Answered);
    settle();
}

// A list longer than one fping's output can be kept for is split between a few fpings, each
// host sent to exactly one, and every host is told.
TEST(FpingChecks, AListPastOneFpingsOutputGoesToAFewAndEveryHostIsTold) {
    FakeDesktop desktop;
    desktop.add("fping", fake::answeringFping());
    std::vector<CheckTarget> targets;
    for (int i = 0; i < 1000; ++i)
        targets.push_back({QStringLiteral("127.0.%1.%2").arg(i / 250).arg(i % 250 + 1), 0});
    PingChecker checker(desktop.pathOnly());
    const std::vector<CheckResult> results = sweepOnce(checker, targets);
    EXPECT_EQ(std::count_if(results.begin(), results.end(),
                            [](const CheckResult &r) { return r.state == State::Answered; }),
              1000);
    settle();
    QByteArrayList sent;
    for (const QByteArray &input : desktop.inputs("fping")) sent += input.trimmed().split('\n');
    EXPECT_GE(desktop.inputs("fping").size(), 2u);
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent.size(), 1000);
    EXPECT_EQ(std::unique(sent.begin(), sent.end()), sent.end()) << "a host went to two fpings";
}

// A ping or an fping planted in the current folder never runs for a check, whatever PATH says:
// only its absolute folders are searched, for fping first, then for ping.
TEST(PingChecker, NeverRunsAProgramOfTheCurrentFolder) {
    FakeDesktop planted, pingOnly, withFping;  // planted records its ping and fping runs
    planted.add("fping", FakeDesktop::recorder());
    QDir(planted.path("")).mkpath("bin");
    QFile::copy(planted.path("fping"), planted.path("bin/fping"));
    const CurrentFolder here(planted.path(""));
    pingOnly.add("ping", fake::answeringPing());
    withFping.add("fping", fake::answeringFping());
    const QString pingDir = pingOnly.pathOnly().value("PATH");
    const QString fpingDir = withFping.pathOnly().value("PATH");
    for (const QString &path : {QString(".:"), "::" + pingDir, ".:" + fpingDir, "bin:" + pingDir,
                                "bin::" + fpingDir + ":."}) {
        SCOPED_TRACE(path.toStdString());
        QProcessEnvironment environment;
        environment.insert("PATH", path);
        PingChecker checker(environment);
        const CheckResult r = checkOnce(checker, "127.0.0.1");
        // The stand-ins answer in 0.042 ms; with no absolute folder there is no ping at all.
        EXPECT_EQ(r.state, path == ".:" ? State::CouldNotCheck : State::Answered);
        EXPECT_DOUBLE_EQ(r.roundTripMs, path == ".:" ? -1 : 0.042);
        settle();
    }
    EXPECT_EQ(QDir(planted.path("")).entryList({"*.args"}, QDir::Files), QStringList());
    EXPECT_EQ(QDir(planted.path("bin")).entryList({"*.args"}, QDir::Files), QStringList());
}

// Port rows are norvex's own connects, every one of a sweep at once but for the most sockets it
// may open (here 2), the others waiting their turn: connected, refused, nothing in time, a name
// looked up without blocking.
TEST(PortChecks, OneConnectEachAllInOneSweepWithinTheMostSocketsAtOnce) {
    Loopback open(16), closed(-1), full(0);
    full.fillQueue();
    const struct {
        QString host, port;
        State state;
        const char *detail;
    } cases[] = {
        {"127.0.0.1", full.port, State::NoAnswer, "no answer within a second"},
        {"127.0.0.1", open.port, State::Answered, ""},
        {"127.0.0.1", closed.port, State::NoAnswer, "refused: nothing listens on that port"},
        {"127.0.0.1", full.port, State::NoAnswer, "no answer within a second"},
        {"localhost", open.port, State::Answered, ""},  // /etc/hosts, on a C library thread
        {QStringLiteral("127.0.0.1\0.2"), open.port, State::CouldNotCheck, "not a host name"},
        {"127.0.0.1", full.port, State::NoAnswer, "no answer within a second"},
    };
    std::vector<CheckTarget> targets;
    for (const auto &c : cases) targets.push_back({c.host, c.port.toInt()});
    QElapsedTimer clock;
    clock.start();
    const std::vector<CheckResult> results = sweepOnce(
        targets.size(), [&](HostChecker::Each each) { return sweepPorts(targets, each, 2); });
    // Two sockets at once: the third silent port waits a second for one of the first two.
    EXPECT_GE(clock.elapsed(), 1900) << "more than two sockets were open at once";
    EXPECT_LT(clock.elapsed(), 2700) << "one socket at a time: the three silent ports took 3 s";
    for (std::size_t i = 0; i < targets.size(); ++i) {
        SCOPED_TRACE((cases[i].host + ':' + cases[i].port).toStdString());
        EXPECT_EQ(results[i].state, cases[i].state);
        EXPECT_EQ(results[i].detail.toStdString(), cases[i].detail);
        EXPECT_EQ(results[i].roundTripMs >= 0, cases[i].state == State::Answered);
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
    files.files[QStringLiteral("norvex.nvx")] =
        crlfLines({"[LIST]", "Web=127.0.0.1:" + open.port, "Ping=127.0.0.2",
                   "Shut=127.0.0.1:" + closed.port, "Silent=127.0.0.3"});
    RecordingLauncher launcher;
    MainWindow window(files, launcher, QString(), &checker);
    window.checkAllAction()->trigger();
    const auto look = [&](int row) {
        return window.markOf(row) ? window.markOf(row)->look() : Look::Checking;
    };
    runUntil(
        [&] {
            return look(1) != Look::Checking && look(2) != Look::Checking &&
                   look(3) != Look::Checking && look(4) != Look::Checking;
        },
        10000);
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

// The window checking a full list through a stand-in fping, or without one through stand-in pings.
class FullListCheck : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(FpingOrPing, FullListCheck, testing::Bool(),
                         [](const auto &info) { return info.param ? "fping" : "ping"; });

// Every row is marked while the window keeps being served: with fping one fping given every
// host, without it pings side by side, sixteen at most. How long a run takes is a figure of
// bench/, not a test: the bounds here hold on the busiest machine.
TEST_P(FullListCheck, EveryRowIsMarkedWithTheWindowServedByOneFpingOrSixteenPings) {
    CheckedWindow w(GetParam());
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
    if (GetParam()) {
        EXPECT_EQ(mostAtOnce, 1);
        EXPECT_EQ(w.fpingHosts(), std::vector<qsizetype>{86});
        EXPECT_TRUE(w.desktop.records("ping", 0).empty());
    } else {
        EXPECT_LE(mostAtOnce, 16);
        EXPECT_GE(mostAtOnce, 8) << "the checks did not run side by side";
    }
    EXPECT_LT(longestPause, 1000) << "the window was not served for " << longestPause << " ms";
    EXPECT_EQ(w.launcher.starts.size(), 1u);  // the click was taken, during the check
    EXPECT_EQ(w.window->markOf(1)->look(), CheckMark::Look::NoAnswer);
    EXPECT_EQ(w.window->markOf(2)->look(), CheckMark::Look::Answered);
    EXPECT_EQ(withoutTime(w.window->markOf(2)->toolTip()),
              QStringLiteral("127.0.0.2 answered in 0.042 ms"));
    EXPECT_EQ(w.window->caption(), caption);
    EXPECT_EQ(w.window->size(), size);
    settle();
}

TEST_P(FullListCheck, ANewCheckRestartsAndClosingStopsEverything) {
    const int programs = GetParam() ? 1 : PingChecker::kMostAtOnce;
    auto w = std::make_unique<CheckedWindow>(GetParam());
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

TEST_P(FullListCheck, KeepCheckingRepeatsAndStops) {
    const QString program = GetParam() ? "fping" : "ping";
    const size_t perRun = GetParam() ? 1 : 86;  // programs started by a run
    CheckedWindow w(GetParam());
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
    EXPECT_EQ(w.desktop.records(program, 0).size(), runs) << "it went on after being switched off";
    EXPECT_EQ(runs % perRun, 0u);
    if (GetParam()) {
        EXPECT_EQ(w.fpingHosts(), std::vector<qsizetype>(runs, 86));
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
        << "needs a network namespace: run as root on a machine or VM, not in a chroot or an "
           "unprivileged container (unshare: "
        << probe.readAllStandardError().trimmed().toStdString() << ")";
    PingChecker inNamespace(isolated.pathOnly());
    const CheckResult down = checkOnce(inNamespace, "127.0.0.1");
    EXPECT_EQ(down.state, State::NoAnswer) << down.detail.toStdString();
}

// No route to the host is no answer, not "could not check", for an echo row (fping, or the ping
// it falls back to) and a port row alike, in the system's words: in a network namespace of the
// test's own, where 10.66.0.0/24 is routed "unreachable" and nothing leaves the machine.
TEST(RealNamespace, NoRouteToHostIsNoAnswerForEchoAndPortRows) {
    const int home = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::unshare(CLONE_NEWNET), 0)
        << "needs a network namespace: run as root on a machine or VM (" << std::strerror(errno)
        << ")";
    const std::shared_ptr<void> back(nullptr, [home](void *) {
        ::setns(home, CLONE_NEWNET);
        ::close(home);
    });
    QProcess ip;
    ip.start("/bin/sh", {"-c",
                         "PATH=/usr/sbin:/sbin:/usr/bin:/bin; ip link set lo up && "
                         "ip route add unreachable 10.66.0.0/24"});
    ASSERT_TRUE(ip.waitForFinished(10000) && ip.exitCode() == 0) << ip.readAll().toStdString();
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    ASSERT_NE(findExecutable("fping", searchPath(system)), "") << "needs fping (apt install fping)";
    FakeDesktop pingOnly;
    QFile::remove(pingOnly.path("ping"));
    QFile::link(findExecutable("ping", searchPath(system)), pingOnly.path("ping"));
    for (const QProcessEnvironment &environment : {system, pingOnly.pathOnly()}) {
        SCOPED_TRACE(environment.value("PATH").toStdString());
        PingChecker checker(environment);
        for (const CheckResult &r : sweepOnce(checker, {{"10.66.0.1", 80}, {"10.66.0.1", 0}})) {
            EXPECT_EQ(r.state, State::NoAnswer);
            EXPECT_TRUE(r.detail.endsWith("No route to host")) << r.detail.toStdString();
        }
    }
}

}  // namespace
