// norvex-probe against loopback listeners: what each try says, the summary on Ctrl+C, the exit
// statuses. Nothing leaves the machine: every port is on 127.0.0.1, and the unknown name is
// looked up in a private namespace whose resolver reads /etc/hosts alone.
#include <signal.h>

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "tests/fakes.h"
#include "tests/posix/loopback.h"

namespace {

struct ProbeRun {
    int status;
    QString output;
};

ProbeRun probe(const QStringList &arguments, const QString &program = QStringLiteral(NORVEX_PROBE)) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    p.waitForFinished(15000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAll())};
}

TEST(Probe, EachTrySaysWhatCameOfIt) {
    Loopback open(16), closed(-1), full(0);
    full.fillQueue();
    QTemporaryDir dir;
    // The unknown name: a resolver of files only, in a mount and network namespace of its own.
    writeFile(dir, "nsswitch.conf", "hosts: files\n");
    const QString isolated = QStringLiteral(
        "mount --bind \"$1/nsswitch.conf\" /etc/nsswitch.conf && shift && exec \"$@\"");
    const struct {
        QStringList arguments;
        bool isolate;
        int status;
        QString says;
    } cases[] = {
        {{"-c", "2", "127.0.0.1", open.port}, false, 0,
         "connected to 127.0.0.1 port " + open.port + ": time="},
        {{"-c", "1", "--", "127.0.0.1", closed.port}, false, 1,
         "refused by 127.0.0.1 port " + closed.port},
        {{"-c", "1", "-W", "300", "127.0.0.1", full.port}, false, 1,
         "no answer from 127.0.0.1 port " + full.port + " within 300 ms"},
        {{"-c", "1", "nosuch.invalid", "80"}, true, 1, "name not found: nosuch.invalid"},
        {{"--help"}, false, 0, "Usage: norvex-probe"},
        {{}, false, 2, "give a HOST and a PORT"},
        {{"127.0.0.1", "0"}, false, 2, "not a port from 1 to 65535: 0"},
        {{"127.0.0.1", "65536"}, false, 2, "not a port from 1 to 65535: 65536"},
        {{"-x", "127.0.0.1", "80"}, false, 2, "unknown option -x"},
        {{"-c", "0", "127.0.0.1", "80"}, false, 2, "bad value for -c"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const QStringList inside{"-m", "-n", "sh", "-c", isolated, "sh", dir.path(),
                                 QStringLiteral(NORVEX_PROBE)};
        const ProbeRun run = c.isolate ? probe(inside + c.arguments, "/usr/bin/unshare")
                                       : probe(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(c.says)) << run.output.toStdString();
    }
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
    EXPECT_TRUE(output.contains(QStringLiteral("--- 127.0.0.1 port %1 ---\n%2 tries, %2 connected, 0 failed; time min/avg/max = ")
                                    .arg(open.port)
                                    .arg(tries)))
        << output.toStdString();
}

}  // namespace
