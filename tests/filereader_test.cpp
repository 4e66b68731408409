#include "platform/filereader.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "tests/fakes.h"

namespace {

TEST(RealFileReader, ReadsRegularFilesWhole) {
    QTemporaryDir dir;
    const QByteArray bytes("a\0b\r\n\x1A\xFF tail", 11);
    RealFileReader reader;
    EXPECT_EQ(reader.readAll(writeFile(dir, "list.nvx", bytes)), bytes);
    EXPECT_EQ(reader.readAll(writeFile(dir, "empty.nvx", {})), QByteArray());
    EXPECT_EQ(reader.readAll(writeFile(dir, "name with spaces.nvx", "x")), QByteArray("x"));
}

TEST(RealFileReader, SizeLimit) {
    QTemporaryDir dir;
    RealFileReader reader(100);
    EXPECT_EQ(reader.readAll(writeFile(dir, "at.nvx", QByteArray(100, 'x'))).size(), 100);
    // Past the limit by its size, and a file larger than its size said: both refused.
    EXPECT_EQ(refusal(reader, writeFile(dir, "over.nvx", QByteArray(101, 'x'))),
              "the file is larger than 0 MiB");
    EXPECT_EQ(refusal(RealFileReader(), writeFile(dir, "x", "")), "");
    EXPECT_GE(kMaxListFileBytes, qint64{16} * 1024 * 1024);
}

TEST(RealFileReader, EveryRefusalSaysWhy) {
    QTemporaryDir dir;
    const struct {
        QString name;
        const char *reason;
    } cases[] = {
        {QString(), "no file name was given"},
        {QString::fromUtf8("bad\0name", 8), "the name contains a NUL character"},
        {dir.filePath(QStringLiteral("missing.nvx")), "No such file or directory"},
        {dir.path(), "it is a folder, not a file"},
    };
    RealFileReader reader;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(refusal(reader, c.name), c.reason);
    }
}

}  // namespace
