// The one way norvex starts a program on POSIX systems: what the child gets, and what is said when
// it cannot be set up.
#include "platform/posix/childprocess.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <QCryptographicHash>
#include <QDir>

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

// Every way of closing files leaves the child only 0, 1 and 2: with the soft limit at 1024, a
// file of ours at 40 and one at 1023, the last number the loop up to the limit must close.
TEST(ChildProcess, NoFileOfOursIsInheritedWhicheverWayFilesAreClosed) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int leaked[] = {fcntl(null, F_DUPFD, 40), fcntl(null, F_DUPFD, 1023)};
    EXPECT_EQ(leaked[1], 1023);
    using Closing = ChildProcess::FileClosing;
    for (const Closing closing : {Closing::Fastest, Closing::ProcFolder, Closing::EveryNumber}) {
        SCOPED_TRACE(static_cast<int>(closing));
        const QByteArray listed =
            runToEnd({"/bin/ls", {"/proc/self/fd"}, {}, "/", ChildProcess::Output::Pipe, closing});
        // 3 is ls's own listing of the folder.
        EXPECT_EQ(QString::fromLatin1(listed).split(u'\n', Qt::SkipEmptyParts),
                  QStringList({"0", "1", "2", "3"}));
    }
    for (const int fd : {null, leaked[0], leaked[1]}) ::close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
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
