// The POSIX halves of the command line and of file reading.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/commandline.h"
#include "platform/filereader.h"
#include "tests/fakes.h"

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

// None of these may block: a FIFO without a writer, a device that never ends.
TEST(RealFileReader, RefusesWhatIsNotARegularFileWithoutBlocking) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    const QString socketPath = dir.filePath(QStringLiteral("sock"));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(),
                 sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

    const struct {
        QString name;
        const char *reason;
    } cases[] = {
        {QStringLiteral("/dev/null"), "it is not a regular file"},  // reads as empty
        {QStringLiteral("/dev/zero"), "it is not a regular file"},  // never ends
        {fifo, "it is not a regular file"},
        {socketPath, "No such device or address"},  // a socket cannot be opened at all
    };
    RealFileReader reader;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(refusal(reader, c.name), c.reason);
    }
    ::close(sock);
}

}  // namespace
