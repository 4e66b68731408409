// Runs the built program itself, headless.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "platform/commandline.h"

namespace {

#ifndef Q_OS_WIN  // Windows hands over the raw command line itself
TEST(RawArgumentText, ArgumentsJoinedWithSingleSpaces) {
    const struct {
        std::vector<const char *> argv;
        const char *text;
    } cases[] = {
        {{"norvex"}, ""},
        {{"norvex", "my hosts.nvx"}, "my hosts.nvx"},  // one argument is taken whole
        {{"norvex", "my", "hosts.nvx"}, "my hosts.nvx"},
        {{"norvex", "a  b", "", "c"}, "a  b  c"},
        {{"norvex", "\""}, "\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<char *> argv;
        for (const char *a : c.argv) argv.push_back(const_cast<char *>(a));
        EXPECT_EQ(rawArgumentText(static_cast<int>(argv.size()), argv.data()).toStdString(),
                  c.text);
    }
}

#endif

// Qt options given to norvex are file names: were Qt to read "-platform", the program would
// abort at once for want of that platform plugin.
TEST(Program, QtNeverSeesTheArguments) {
    for (const QStringList &arguments : {QStringList{"-platform", "no-such-platform"},
                                         QStringList{"-style", "x"}, QStringList{"\""}}) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        QTemporaryDir dir;
        QProcess norvex;
        norvex.setWorkingDirectory(dir.path());
        norvex.start(QStringLiteral(NORVEX_BINARY), arguments);
        ASSERT_TRUE(norvex.waitForStarted(5000));
        EXPECT_FALSE(norvex.waitForFinished(1500)) << norvex.readAllStandardError().toStdString();
        norvex.kill();
        norvex.waitForFinished(5000);
    }
}

TEST(Program, CheckerExitStatus) {
    QTemporaryDir dir;
    const struct {
        QStringList arguments;
        int status;
        const char *prints;
    } cases[] = {
        {{QStringLiteral(NORVEX_SOURCE_DIR "/examples/norvex.nvx")}, 0, "rows: 4"},
        {{dir.filePath(QStringLiteral("missing.nvx"))}, 1, "fails: Cannot read"},
        {{}, 2, ""},
        {{QStringLiteral("a"), QStringLiteral("b")}, 2, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        QProcess check;
        check.start(QStringLiteral(NORVEX_CHECK_BINARY), c.arguments);
        ASSERT_TRUE(check.waitForFinished(10000));
        EXPECT_EQ(check.exitCode(), c.status);
        const QByteArray out = check.readAllStandardOutput();
        EXPECT_TRUE(out.contains(c.prints)) << out.toStdString();
        if (c.status == 2) {
            EXPECT_TRUE(check.readAllStandardError().contains("usage"));
        }
    }
}

}  // namespace
