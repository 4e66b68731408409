// Runs the built program itself, headless.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "platform/commandline.h"

namespace {

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

}  // namespace
