#include "platform/filereader.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

namespace {

QString write(const QTemporaryDir &dir, const char *name, const QByteArray &bytes) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

TEST(RealFileReader, ReadsRegularFilesWhole) {
    QTemporaryDir dir;
    const QByteArray bytes("a\0b\r\n\x1A\xFF tail", 11);
    RealFileReader reader;
    EXPECT_EQ(reader.readAll(write(dir, "list.nvx", bytes)), bytes);
    EXPECT_EQ(reader.readAll(write(dir, "empty.nvx", {})), QByteArray());
    EXPECT_EQ(reader.readAll(write(dir, "name with spaces.nvx", "x")), QByteArray("x"));
}

TEST(RealFileReader, SizeLimit) {
    QTemporaryDir dir;
    RealFileReader reader(100);
    EXPECT_EQ(reader.readAll(write(dir, "at.nvx", QByteArray(100, 'x'))).size(), 100);
    EXPECT_THROW(reader.readAll(write(dir, "over.nvx", QByteArray(101, 'x'))), FileError);
    EXPECT_GE(kMaxListFileBytes, qint64{16} * 1024 * 1024);
}

TEST(RealFileReader, RefusesWhatIsNotARegularFile) {
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

    const QString names[] = {
        QString(),                                    // empty name
        dir.filePath(QStringLiteral("missing.nvx")),  // no such file
        dir.path(),                                   // a folder
        QStringLiteral("/dev/null"),                  // a device that reads as empty
        QStringLiteral("/dev/zero"),                  // a device that never ends
        fifo,                                         // would block waiting for a writer
        socketPath,
        QString::fromUtf8("bad\0name", 8),
    };
    RealFileReader reader;
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        try {
            reader.readAll(name);
            ADD_FAILURE() << "read succeeded";
        } catch (const FileError &e) {
            EXPECT_NE(std::string(e.what()), "");
        }
    }
    ::close(sock);
}

}  // namespace
