#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "list/load.h"
#include "list/report.h"
#include "platform/filereader.h"
#include "tests/fakes.h"

namespace {

// What norvex-check says of the list that the argument text names.
ListReport check(FileReader &files, const QString &argument) {
    return reportList(loadList(files, argument));
}

TEST(ReportList, DescribesTheRowsAndHeight) {
    FakeFileReader files(
        QStringLiteral("hosts.nvx"),
        "notes\r\n[LIST]\r\nGateway = 127.0.0.1\r\n\r\nt\tab=\x01x\"\\\r\n%4%1=%2\r\n"
        "Web=[::1]:8080\r\n");
    const ListReport report = check(files, QStringLiteral("\"hosts.nvx\""));
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.text.toStdString(),
              "title: norvex by Brastel v1.1  [hosts.nvx]\n"
              "row 1: label \"Gateway\", address \" 127.0.0.1\", line 3\n"
              "row 2: label \"t ab\", address \"\\x01x\\\"\\\\\", line 5\n"
              "row 3: label \"%4%1\", address \"%2\", line 6\n"
              "row 4: label \"Web\", address \"[::1]:8080\", line 7, a port row: a click probes "
              "TCP port 8080 on \"::1\"\n"
              "rows: 4\n"
              "height: 1980 twips\n");
}

TEST(ReportList, EachFailureHasItsOwnReason) {
    QTemporaryDir dir;
    const struct {
        const char *name;
        QByteArray bytes;  // empty: no file at all
        const char *reason;
    } cases[] = {
        {"missing", {}, "No such file"},
        {"too many lines", QByteArray("\r\n").repeated(32767), "32768 lines"},
        {"marker too far", QByteArray(32767, 'x') + "[LIST]", "starts at character 32768"},
        {"87 rows", crlfLines(entryLines(87)), "the window for 87 rows would be taller"},
        {"88 rows", crlfLines(entryLines(100)), "row 88, from line 89"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileReader files;
        if (!c.bytes.isEmpty()) files.files[QStringLiteral("list")] = c.bytes;
        RealFileReader real;
        const ListReport report = c.bytes.isEmpty()
                                      ? check(real, dir.filePath(QStringLiteral("none")))
                                      : check(files, QStringLiteral("list"));
        EXPECT_EQ(report.status, 1);
        EXPECT_NE(report.text.indexOf(QStringLiteral("fails: ")), -1) << report.text.toStdString();
        EXPECT_NE(report.text.indexOf(QString::fromUtf8(c.reason)), -1)
            << report.text.toStdString();
        EXPECT_NE(report.text.indexOf(QStringLiteral("] not found")), -1);
    }
    // Rows built before the row limit are listed, with the height the window keeps.
    FakeFileReader files(QStringLiteral("list"), crlfLines(entryLines(90)));
    const QString text = check(files, QStringLiteral("list")).text;
    EXPECT_NE(text.indexOf(QStringLiteral("row 88: label \"host88\"")), -1);
    EXPECT_EQ(text.indexOf(QStringLiteral("row 89:")), -1);
    EXPECT_NE(text.indexOf(QStringLiteral("height: 1045 twips")), -1);
}

TEST(ReportList, HintsSayWhyThereAreFewerRowsThanItSeems) {
    const struct {
        const char *name;
        QByteArray bytes;
        std::vector<const char *> hints;  // each appears, in this order
        int count = -1;                   // how many hint lines; -1: as many as listed
    } cases[] = {
        {"rows built", "[LIST]\r\na=127.0.0.1\r\n", {}},
        {"LF line ends", "[LIST]\na=127.0.0.1\n", {}},
        {"no marker", "a=127.0.0.1\r\n", {"no line holds the marker [LIST]"}},
        {"nothing after the marker",
         "x\r\n[list]\r\nnote\r\n",
         {"no line after the marker (line 2) holds \"=\""}},
        {"lone LF in a CR LF file",
         "[LIST]\r\na=127.0.0.1\nb=127.0.0.2\r\n",
         {"line 2 holds a lone LF, which stays inside the line"}},
        {"lone CR in a CR LF file",
         "[LIST]\r\na=1\rb=2\r\nc=3\r\n",
         {"line 2 holds a lone CR, which stays"}},
        {"CR-only line ends",
         "[LIST]\ra=127.0.0.1\r",
         {"CR alone (old Mac line ends)", "no line after the marker (line 1)"}},
        {"CR-only, no marker", "a=1\rb=2\r", {"CR alone", "no line holds the marker"}},
        {"many lone LFs",
         QByteArray("[LIST]\r\n") + QByteArray("a\nb=1\r\n").repeated(12),
         {"line 2 holds", "line 11 holds", "2 more lines hold a lone CR or LF"},
         11},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileReader files(QStringLiteral("list"), c.bytes);
        const ListReport report = check(files, QStringLiteral("list"));
        EXPECT_EQ(report.status, 0) << report.text.toStdString();
        const QStringList hints = report.text.split(u'\n').filter(QStringLiteral("hint: "));
        EXPECT_EQ(hints.size(), c.count < 0 ? int(c.hints.size()) : c.count)
            << report.text.toStdString();
        qsizetype at = 0;
        for (const char *hint : c.hints) {
            const qsizetype found = report.text.indexOf(QString::fromUtf8(hint), at);
            EXPECT_GE(found, at) << hint << "\n" << report.text.toStdString();
            at = std::max(at, found);
        }
    }
}

TEST(ReportList, FolderAndTooLargeSayWhy) {
    QTemporaryDir dir;
    RealFileReader real(10);
    EXPECT_NE(check(real, dir.path()).text.indexOf(QStringLiteral("folder")), -1);
    QFile big(dir.filePath(QStringLiteral("big")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(11, 'x'));
    big.close();
    EXPECT_NE(check(real, big.fileName()).text.indexOf(QStringLiteral("larger than")), -1);
}

}  // namespace
