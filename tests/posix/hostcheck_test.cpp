// Checking which hosts answer with the system ping: what its runs mean, and the window checking
// a list through a stand-in ping first on PATH. Only two checks reach a real ping, both to
// loopback: one on this machine's loopback, one inside a network namespace of its own.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include "panel/mainwindow.h"
#include "platform/posix/pingchecker.h"
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

// A port row's check is one try of norvex-probe: connected, refused, or nothing in time.
TEST(PingChecker, PortRowsAreOneConnectEach) {
    Loopback open(16), closed(-1), full(0);
    full.fillQueue();
    FakeDesktop desktop;
    PingChecker checker(desktop.pathOnly(), PingChecker::kHardLimitMs, NORVEX_PROBE);
    const struct {
        const char *host;
        QString port;
        State state;
        const char *detail;
    } cases[] = {
        {"127.0.0.1", open.port, State::Answered, ""},
        {"127.0.0.1", closed.port, State::NoAnswer, "refused: nothing listens on that port"},
        {"127.0.0.1", full.port, State::NoAnswer, "no answer within a second"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.port.toStdString());
        const CheckResult r = checkOnce(checker, c.host, 10000, c.port.toInt());
        EXPECT_EQ(r.state, c.state);
        EXPECT_EQ(r.detail.toStdString(), c.detail);
        if (c.state == State::Answered) {
            EXPECT_GE(r.roundTripMs, 0);
        }
    }
    const CheckResult unknown = readProbeRun(
        true, 1,
        "Probing x port 1\nname not found: x (Name or service not known)\n"
        "--- x port 1 ---\n1 tries, 0 connected, 1 failed\n");
    EXPECT_EQ(unknown.state, State::CouldNotCheck);
    EXPECT_EQ(unknown.detail.toStdString(), "name not found: x (Name or service not known)");
    settle();
}

// "Check all hosts" on a list that mixes echo rows with port rows: each port row is one real
// connect to a loopback listener, counted in the same run.
TEST(WindowCheck, PortRowsAreMarkedByWhetherTheirPortConnects) {
    Loopback open(16), closed(-1);
    FakeDesktop desktop;
    desktop.add("ping", fake::answeringPing());
    desktop.answer("127.0.0.3", "0 silent");
    PingChecker checker(desktop.pathOnly(), PingChecker::kHardLimitMs, NORVEX_PROBE);
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

// A list of 86 loopback hosts, every other one silent for a second.
struct CheckedWindow {
    CheckedWindow() : checker(desktop.pathOnly()) {
        desktop.add("ping", fake::answeringPing());
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
};

TEST(WindowCheck, EightySixHostsInAFewSecondsSixteenAtOnceWithTheWindowServed) {
    CheckedWindow w;
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
            if (!clicked && clock.elapsed() > 500) {  // a click while the check runs
                QTest::mouseClick(w.window->pingButton(3), Qt::LeftButton);
                clicked = true;
            }
            return w.allChecked();
        },
        20000);
    const qint64 took = clock.elapsed();
    tick.stop();
    EXPECT_TRUE(w.allChecked());
    EXPECT_LT(took, 8000) << "86 hosts took " << took << " ms";
    EXPECT_LE(mostAtOnce, 16);
    EXPECT_GE(mostAtOnce, 8) << "the checks did not run side by side";
    EXPECT_LT(longestPause, 250) << "the window was not served for " << longestPause << " ms";
    EXPECT_EQ(w.launcher.starts.size(), 1u);  // the click was taken, during the check
    EXPECT_EQ(w.window->markOf(1)->look(), CheckMark::Look::NoAnswer);
    EXPECT_EQ(w.window->markOf(2)->look(), CheckMark::Look::Answered);
    EXPECT_EQ(withoutTime(w.window->markOf(2)->toolTip()),
              QStringLiteral("127.0.0.2 answered in 0.042 ms"));
    EXPECT_EQ(w.window->caption(), caption);
    EXPECT_EQ(w.window->size(), size);
    settle();
}

TEST(WindowCheck, ANewCheckRestartsAndClosingStopsEverything) {
    auto w = std::make_unique<CheckedWindow>();
    for (int i = 2; i <= 86; i += 2)
        w->desktop.answer(QStringLiteral("127.0.0.%1").arg(i), "5 answer");
    w->window->checkAll();
    runUntil([] { return children().running >= 16; }, 5000);
    w->window->checkAll();  // again, while the first run is under way
    runUntil([] { return false; }, 300);
    EXPECT_LE(children().all(), 16) << "the first run's pings were not stopped";
    w.reset();  // the window closes mid-check
    EXPECT_EQ(children().all(), 0) << "a ping was left behind";
}

TEST(WindowCheck, KeepCheckingRepeatsAndStops) {
    CheckedWindow w;
    for (int i = 1; i <= 86; i += 2)
        w.desktop.answer(QStringLiteral("127.0.0.%1").arg(i), "0 silent");
    w.window->setKeepCheckingPause(100);
    w.window->keepCheckingAction()->setChecked(true);
    runUntil([&] { return w.desktop.records("ping", 0).size() >= 3 * 86; }, 20000);
    EXPECT_GE(w.desktop.records("ping", 0).size(), 3u * 86) << "it did not repeat";
    w.window->keepCheckingAction()->setChecked(false);
    settle();
    runUntil([] { return false; }, 500);
    const size_t runs = w.desktop.records("ping", 0).size();
    runUntil([] { return false; }, 500);
    EXPECT_EQ(w.desktop.records("ping", 0).size(), runs) << "it went on after being switched off";
    EXPECT_EQ(runs % 86, 0u);
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

}  // namespace
