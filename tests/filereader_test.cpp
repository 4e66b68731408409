#include "platform/filereader.h"

#include <gtest/gtest.h>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

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

#ifndef Q_OS_WIN
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

#else
// Reserved names are devices in every folder, some with an extension too; \\.\ names are
// devices by definition. A live pipe would connect and then wait forever for its first byte.
TEST(RealFileReader, DeviceNamesPipesAndLockedFilesAreRefusedWithoutBlocking) {
    QTemporaryDir dir;
    const QString locked = write(dir, "locked.nvx", "[LIST]\r\n");
    HANDLE holder = CreateFileW(reinterpret_cast<const wchar_t *>(locked.utf16()), GENERIC_READ, 0,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\norvex-filereader-test", PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_BYTE, 4, 0, 0, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);

    const struct {
        QString name;
        const char *reason;
    } cases[] = {
        {QStringLiteral("CON"), "device"},
        {QStringLiteral("nul"), "device"},
        {QStringLiteral("AUX"), "device"},
        {QStringLiteral("PRN"), "device"},
        {QStringLiteral("COM1"), "device"},
        {QStringLiteral("LPT1"), "device"},
        {QStringLiteral("nul.nvx"), "device"},
        {dir.filePath(QStringLiteral("CON")), "device"},
        {QStringLiteral("\\\\.\\NUL"), "device"},
        {QStringLiteral("\\\\.\\pipe\\norvex-filereader-test"), "device"},
        {QStringLiteral("\\\\.\\pipe\\nothing"), "device"},
        {dir.path(), "folder"},
        {locked, "shares it with no one"},
        {dir.filePath(QStringLiteral("missing.nvx")), "No such file"},
        {QString::fromUtf8("bad\0name", 8), "NUL"},
    };
    RealFileReader reader;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        try {
            reader.readAll(c.name);
            ADD_FAILURE() << "read succeeded";
        } catch (const FileError &e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    CloseHandle(pipe);
    CloseHandle(holder);
}

TEST(RealFileReader, LongAndNonAsciiPathsAreRead) {
    QTemporaryDir dir;
    QString deep = dir.path();
    while (deep.size() < 300)
        deep += QStringLiteral("/a-folder-name-long-enough-to-pass-the-limit");
    ASSERT_TRUE(QDir().mkpath(deep));
    RealFileReader reader;
    EXPECT_EQ(reader.readAll(write(dir, "H\xC3\xB6stlista \xC3\xBC.nvx", "x")), QByteArray("x"));
    const QString longName = QDir::toNativeSeparators(deep + QStringLiteral("/hosts.nvx"));
    {
        QFile file(longName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("long");
    }
    EXPECT_EQ(reader.readAll(longName), QByteArray("long"));
}
#endif

}  // namespace
