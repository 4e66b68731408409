// The one way norvex starts a program on POSIX systems: what the child gets, and what is said when
// it cannot be set up.
#include "platform/posix/childprocess.h"

#include <fcntl.h>
#include <signal.h>

#include <QCryptographicHash>
#include <QDir>
#include <memory>

#include "tests/posix/fakedesktop.h"

namespace {

int openFiles() { return QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size(); }

// What the program wrote to its pipe, once it has ended.
QByteArray runToEnd(const ChildProcess::Setup &setup) {
    ChildProcess child(ChildProcess::OnDestroy::Kill);
    QString error;
    EXPECT_TRUE(child.start(setup, &error)) << error.toStdString();
    bool ended = false;
    child.onFinished([&](int) { ended = true; });
    runUntil([&] { return ended; }, 10000);
    EXPECT_TRUE(ended);
    return child.output();
}

// Ctrl+C where norvex was started, or its session ending, never reaches a child.
TEST(ChildProcess, LeadsASessionOfItsOwn) {
    const QByteArray stat = runToEnd({"/bin/cat", {"/proc/self/stat"}, {}, "/"});
    const QByteArray pid = stat.left(stat.indexOf(' '));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    ASSERT_GE(fields.size(), 4) << stat.toStdString();
    EXPECT_EQ(fields[2], pid);  // its process group
    EXPECT_EQ(fields[3], pid);  // its session
}

// The child has only 0, 1 and 2: not a file of ours opened without close-on-exec, as a library
// might, whether at 40 or at 1023, the last number below the usual soft limit.
TEST(ChildProcess, NoFileOfOursIsInherited) {
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int leaked[] = {fcntl(null, F_DUPFD, 40), fcntl(null, F_DUPFD, 1023)};
    EXPECT_GE(leaked[0], 40);
    EXPECT_EQ(leaked[1], 1023);
    const QByteArray listed = runToEnd({"/bin/ls", {"/proc/self/fd"}, {}, "/"});
    // 3 is ls's own listing of the folder.
    EXPECT_EQ(QString::fromLatin1(listed).split(u'\n', Qt::SkipEmptyParts),
              QStringList({"0", "1", "2", "3"}));
    for (const int fd : {null, leaked[0], leaked[1]}) ::close(fd);
}

// Running, as opposed to gone or a zombie nobody has reaped yet.
bool isRunning(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = stat.readAll();
    const QByteArray state = text.mid(text.lastIndexOf(')') + 2, 1);
    return state != "Z" && state != "X";
}

// Killing the child alone would leave what it started running (a shell's sleep here): its whole
// process group goes, whether it is killed or its object destroyed, its end seen through a pidfd
// or through SIGCHLD, and the child is reaped.
TEST(ChildProcess, KillingEndsWhatTheChildStartedToo) {
    const struct {
        const char *name;
        bool destroy, pidfd;
    } cases[] = {
        {"destroyed, pidfd", true, true},
        {"destroyed, SIGCHLD", true, false},
        {"kill(), pidfd", false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ChildProcess::setPidfdAllowed(c.pidfd);
        auto child = std::make_unique<ChildProcess>(ChildProcess::OnDestroy::Kill);
        bool ended = false;
        child->onFinished([&](int) { ended = true; });
        QString error;
        EXPECT_TRUE(
            child->start({"/bin/sh", {"-c", "/bin/sleep 300 & echo $!; wait"}, {}, "/"}, &error))
            << error.toStdString();
        ChildProcess::setPidfdAllowed(true);
        runUntil([&] { return child->output().endsWith('\n'); }, 10000);
        const pid_t sleeper = child->output().trimmed().toInt();
        ASSERT_GT(sleeper, 0) << child->output().toStdString();
        if (c.destroy) {
            child.reset();
            if (c.pidfd) {
                EXPECT_EQ(children().all(), 0) << "not reaped by the destructor";
            }
        } else {
            child->kill();
            runUntil([&] { return ended; }, 10000);
            EXPECT_TRUE(ended);
        }
        runUntil([&] { return !isRunning(sleeper) && children().all() == 0; }, 10000);
        EXPECT_FALSE(isRunning(sleeper));
        EXPECT_EQ(children().all(), 0);
        if (isRunning(sleeper)) ::kill(sleeper, SIGKILL);
    }
}

// Its stdin reads exactly the input given, however long, and cannot change it; without input it
// reads /dev/null.
TEST(ChildProcess, StdinReadsTheInputGivenAndNothingElse) {
    const QByteArray script =
        "/usr/bin/md5sum | /usr/bin/cut -c1-32; /bin/readlink /proc/self/fd/0; "
        "{ echo more >&0; } 2>/dev/null && echo changed";
    const QByteArray inputs[] = {"", QByteArray("a\0b\nc", 5), QByteArray(300000, 'x')};
    for (const QByteArray &input : inputs) {
        SCOPED_TRACE(input.size());
        ChildProcess::Setup setup{"/bin/sh", {"-c", script}, {}, "/"};
        setup.input = input;
        const QList<QByteArray> lines = runToEnd(setup).split('\n');
        ASSERT_GE(lines.size(), 2);
        EXPECT_EQ(lines[0], QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex());
        EXPECT_EQ(lines[1] == "/dev/null", input.isEmpty()) << lines[1].toStdString();
        EXPECT_FALSE(lines.contains("changed"));
    }
}

// A child that cannot be set up is said to have failed, reaped at once, and leaves no file open.
TEST(ChildProcess, WhatFailsBeforeTheProgramRunsIsSaid) {
    FakeDesktop desktop;
    desktop.add("broken", "#!/nonexistent/interpreter\n");
    QFile(desktop.path("broken")).copy(desktop.path("plain"));
    QFile(desktop.path("plain")).setPermissions(QFile::ReadOwner);
    const QString gone = desktop.path("gone");
    const struct {
        QString program, folder;
        std::string error;
    } cases[] = {
        {"/bin/true", gone,
         "cannot start in " + gone.toStdString() + ": No such file or directory"},
        {desktop.path("broken"), "/", "No such file or directory"},
        {desktop.path("plain"), "/", "Permission denied"},
        {desktop.path("missing"), "/", "No such file or directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program.toStdString());
        const int before = openFiles();
        for (const auto output : {ChildProcess::Output::Pipe, ChildProcess::Output::MemoryFile}) {
            ChildProcess child(ChildProcess::OnDestroy::Kill);
            QString error;
            EXPECT_FALSE(child.start({c.program, {}, {}, c.folder, output}, &error));
            EXPECT_EQ(error.toStdString(), c.error);
        }
        EXPECT_EQ(children().all(), 0);
        EXPECT_EQ(openFiles(), before);
    }
}

}  // namespace
