// Windows' own rules: file names that are devices, pipes, locked files, long paths, and the
// command line that the program's arguments are read from.
#include <gtest/gtest.h>
#include <windows.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/filereader.h"
#include "platform/networkshare.h"
#include "platform/win/commandline.h"
#include "tests/fakes.h"

namespace {

TEST(ArgumentsAfterProgramName, WindowsCommandLine) {
    const struct {
        const wchar_t *line, *arguments;
    } cases[] = {
        {L"norvex.exe", L""},
        {L"norvex.exe list.nvx", L"list.nvx"},
        {L"norvex.exe   my list.nvx ", L"my list.nvx "},
        {L"\"C:\\Program Files\\norvex.exe\" \"a b.nvx\"", L"\"a b.nvx\""},
        {L"\"C:\\x y\\norvex.exe\"", L""},
        {L"norvex.exe\t\"", L"\""},
        {L"", L""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QString::fromWCharArray(c.line).toStdString());
        EXPECT_EQ(argumentsAfterProgramName(c.line), std::wstring(c.arguments));
    }
}

// Reserved names are devices in every folder, some with an extension too; \\.\ names are
// devices by definition. A live pipe would connect and then wait forever for its first byte.
TEST(RealFileReader, DeviceNamesPipesAndLockedFilesAreRefusedWithoutBlocking) {
    QTemporaryDir dir;
    const QString locked = writeFile(dir, "locked.nvx", "[LIST]\r\n");
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
        } catch (const LoadError &e) {
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
    EXPECT_EQ(reader.readAll(writeFile(dir, "H\xC3\xB6stlista \xC3\xBC.nvx", "x")),
              QByteArray("x"));
    const QString longName = QDir::toNativeSeparators(deep + QStringLiteral("/hosts.nvx"));
    {
        QFile file(longName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("long");
    }
    EXPECT_EQ(reader.readAll(longName), QByteArray("long"));
}

// A share is looked at every few seconds, a local drive never. Names only: nothing is reached.
TEST(NetworkShare, UncNamesAreSharesAndLocalDrivesAreNot) {
    for (const char *share : {"//127.0.0.1/lists/a.nvx", R"(\\?\UNC\127.0.0.1\lists\a.nvx)"})
        EXPECT_TRUE(isOnNetworkShare(QString::fromUtf8(share))) << share;
    for (const char *local : {"C:/windows", R"(\\?\C:\windows)"})
        EXPECT_FALSE(isOnNetworkShare(QString::fromUtf8(local))) << local;
}

}  // namespace
