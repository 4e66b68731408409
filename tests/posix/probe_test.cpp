// norvex-probe against loopback listeners: what each try says, the summary on Ctrl+C, the exit
// statuses. Nothing leaves the machine: every port is on loopback, and names are looked up, and
// unreachable addresses tried, in a network namespace of their own.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/fakes.h"
#include "tests/posix/loopback.h"

namespace {

struct ProbeRun {
    int status;
    QString output;
};

ProbeRun probe(const QStringList &arguments,
               const QString &program = QStringLiteral(NORVEX_PROBE)) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    p.waitForFinished(15000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAll())};
}

// unshare's options for a network and mount namespace, in a user namespace where not root.
QStringList namespaceOptions() {
    return (geteuid() == 0 ? QStringList() : QStringList{"-r"}) + QStringList{"-n", "-m"};
}
bool canMakeNamespaces() {
    return probe(namespaceOptions() + QStringList{"true"}, "/usr/bin/unshare").status == 0;
}
constexpr char kNeedsNamespaces[] =
    "needs a network and mount namespace (unshare -n -m) for its names and addresses: run as root "
    "on a machine or VM, or where user namespaces are allowed";

// The probe's command line in a network and mount namespace of its own: loopback up, one more
// interface with only an IPv4 address (so AI_ADDRCONFIG drops IPv6), no route to 127.0.0.9,
// names looked up in `sources` ("files" or "dns") of this namespace's own, a name server on
// 127.0.0.1 that never answers and a listener on [::1]:8443. Both sockets are opened before the
// probe starts, which keeps them and never reads them.
QStringList inNamespace(const QTemporaryDir &dir, const char *sources) {
    writeFile(dir, "nsswitch.conf", QByteArray("hosts: ") + sources + "\n");
    writeFile(dir, "hosts", "::1 six.norvex.test\nfd00::1 far6.norvex.test\n");
    writeFile(dir, "resolv.conf", "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n");
    const QString setUp = QStringLiteral(
        "ip link set lo up && ip route add unreachable 127.0.0.9 table local &&"
        " sysctl -qw net.ipv6.conf.default.disable_ipv6=1 &&"
        " ip link add v4only type veth peer name v4peer &&"
        " ip addr add 10.200.0.1/24 dev v4only && ip link set v4only up &&"
        " for f in hosts nsswitch.conf resolv.conf; do mount --bind \"$0/$f\" /etc/$f || exit; done"
        " && code=$1 && shift && exec python3 -c \"$code\" \"$@\"");
    const QString sockets = QStringLiteral(
        "import os, socket as s, sys\n"
        "d = s.socket(s.AF_INET, s.SOCK_DGRAM); d.bind(('127.0.0.1', 53)); d.set_inheritable(1)\n"
        "w = s.socket(s.AF_INET6); w.bind(('::1', 8443)); w.listen(8); w.set_inheritable(1)\n"
        "os.execv(sys.argv[1], sys.argv[1:])\n");
    return namespaceOptions() +
           QStringList{"sh", "-c", setUp, dir.path(), sockets, QStringLiteral(NORVEX_PROBE)};
}

struct ProbeCase {
    QStringList arguments;
    bool isolate;
    int status;
    qsizetype tries;  // lines that tell of a try
    QString says, alsoSays = {};
};

TEST(Probe, EachTrySaysWhatCameOfIt) {
    Loopback open(16), closed(-1), full(0), once(0);  // once: its queue fills with one try
    full.fillQueue();
    const bool namespaces = canMakeNamespaces();
    if (!namespaces) ADD_FAILURE() << kNeedsNamespaces;
    QTemporaryDir dir;
    // clang-format off
    const ProbeCase cases[] = {
        {{"-c", "2", "127.0.0.1", open.port}, false, 0, 2,
         "connected to 127.0.0.1 port " + open.port + ": time=",
         "\n2 tries, 2 connected, 0 failed; time min/avg/max = "},
        {{"-c", "1", "--", "127.0.0.1", closed.port}, false, 1, 1,
         "refused by 127.0.0.1 port " + closed.port, "\n1 try, 0 connected, 1 failed\n"},
        {{"-c", "1", "-W", "300", "127.0.0.1", full.port}, false, 1, 1,
         "no answer from 127.0.0.1 port " + full.port + " within 300 ms"},
        {{"-c", "2", "-i", "10", "-W", "300", "127.0.0.1", once.port}, false, 1, 2,
         "connected to 127.0.0.1 port " + once.port, "\nno answer from 127.0.0.1 port " + once.port},
        {{"--help"}, false, 0, 0, "Usage: norvex-probe", "(1 to 86400000; default until Ctrl+C)"},
        {{}, false, 2, 0, "give a HOST and a PORT"},
        {{"127.0.0.1", "0"}, false, 2, 0, "not a port from 1 to 65535: 0"},
        {{"127.0.0.1", "65536"}, false, 2, 0, "not a port from 1 to 65535: 65536"},
        {{"-x", "127.0.0.1", "80"}, false, 2, 0, "unknown option -x"},
        {{"-c", "0", "127.0.0.1", "80"}, false, 2, 0, "bad value for -c: 0 (1 to 86400000)"},
        {{"-i", "9", "127.0.0.1", "80"}, false, 2, 0, "bad value for -i: 9 (10 to 86400000)"},
        {{"-c", "1", "nosuch.invalid", "80"}, true, 1, 1, "name not found: nosuch.invalid"},
        {{"-c", "1", "::1", "8443"}, true, 0, 1, "connected to ::1 port 8443"},
        {{"-c", "1", "six.norvex.test", "8443"}, true, 0, 1, "connected to ::1 port 8443"},
        // Nothing is sent to either: there is no route.
        {{"-c", "1", "far6.norvex.test", "8443"}, true, 1, 1,
         "could not connect to fd00::1 port 8443: Network is unreachable\n"},
        {{"-c", "1", "127.0.0.9", "8443"}, true, 1, 1,
         "could not connect to 127.0.0.9 port 8443: No route to host\n"},
    };
    // clang-format on
    static const QRegularExpression tryLine(
        QStringLiteral(
            "^(connected to|refused by|no answer from|name not found|could not connect)"),
        QRegularExpression::MultilineOption);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        if (c.isolate && !namespaces) continue;
        const ProbeRun run =
            c.isolate ? probe(inNamespace(dir, "files") + c.arguments, "/usr/bin/unshare")
                      : probe(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(c.says)) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(c.alsoSays)) << run.output.toStdString();
        EXPECT_EQ(run.output.count(tryLine), c.tries) << run.output.toStdString();
    }
}

TEST(Probe, IntervalsBelowTwentyMillisecondsAreKept) {
    Loopback closed(-1);
    QElapsedTimer clock;
    clock.start();
    const ProbeRun run = probe({"-c", "41", "-i", "10", "127.0.0.1", closed.port});
    // 40 waits of 10 ms; of 20 ms, they would take 800.
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_LT(clock.elapsed(), 650);
    EXPECT_TRUE(run.output.contains("\n41 tries, 0 connected, 41 failed\n"))
        << run.output.toStdString();
}

TEST(Probe, CtrlCEndsALookupThatNeverAnswersAtOnce) {
    if (!canMakeNamespaces()) FAIL() << kNeedsNamespaces;
    QTemporaryDir dir;
    QProcess p;
    p.start("/usr/bin/unshare", inNamespace(dir, "dns") + QStringList{"stuck.norvex.test", "80"});
    QString output;
    runUntil([&] { return p.waitForReadyRead(50) && (output += p.readAll()).contains("Probing"); },
             5000);
    ASSERT_FALSE(p.waitForFinished(500)) << "the lookup did not wait: " << output.toStdString();
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 1000);
    output += QString::fromUtf8(p.readAll());
    EXPECT_TRUE(
        output.endsWith("--- stuck.norvex.test port 80 ---\n0 tries, 0 connected, 0 failed\n"))
        << output.toStdString();
    EXPECT_EQ(p.exitCode(), 1);
}

TEST(Probe, CtrlCEndsWithASummary) {
    Loopback open(16);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(NORVEX_PROBE), {"-i", "200", "127.0.0.1", open.port});
    QString output;
    runUntil(
        [&] {
            p.waitForReadyRead(50);
            output += QString::fromUtf8(p.readAll());
            return output.count(QStringLiteral("connected to")) >= 3;
        },
        10000);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(5000));
    output += QString::fromUtf8(p.readAll());
    EXPECT_EQ(p.exitCode(), 0);
    const qsizetype tries = output.count(QStringLiteral("connected to"));
    EXPECT_TRUE(output.contains(
        QStringLiteral(
            "--- 127.0.0.1 port %1 ---\n%2 tries, %2 connected, 0 failed; time min/avg/max = ")
            .arg(open.port)
            .arg(tries)))
        << output.toStdString();
}

}  // namespace
