// Runs the built program itself, headless.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

namespace {

// Qt options given to norvex are file names. Were Qt to read "-platform", the program would abort
// at once for want of that platform plugin; were it to read "-style x", it would say that it
// ignores a style it does not have.
TEST(Program, QtNeverSeesTheArguments) {
    const struct {
        QStringList arguments;
        const char *qtWouldSay;  // what Qt would print had it read them
    } cases[] = {
        {{"-platform", "no-such-platform"}, "no-such-platform"},
        {{"-style", "x"}, "style"},
        {{"\""}, "\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        QTemporaryDir dir;
        QProcess norvex;
        norvex.setWorkingDirectory(dir.path());
        norvex.start(QStringLiteral(NORVEX_BINARY), c.arguments);
        ASSERT_TRUE(norvex.waitForStarted(5000));
        EXPECT_FALSE(norvex.waitForFinished(1500)) << norvex.readAllStandardError().toStdString();
        norvex.kill();
        norvex.waitForFinished(5000);
        const QByteArray said = norvex.readAllStandardError();
        if (c.qtWouldSay) {
            EXPECT_FALSE(said.contains(c.qtWouldSay)) << said.toStdString();
        }
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
