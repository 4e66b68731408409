#include <gtest/gtest.h>

#include "list/load.h"
#include "tests/fakes.h"

namespace {

const QString kTitle = QStringLiteral("norvex by Brastel v1.1");

std::string show(const QString &s) { return s.toStdString(); }

// Runs start-up on a single file of the given bytes, named name, with argument text argument.
LoadedList load(const QByteArray &bytes, const QString &argument = {},
                const QString &name = QStringLiteral("norvex.nvx")) {
    FakeFileReader files(name, bytes);
    return loadList(files, argument);
}

// The outer height the window ends with: the rows' own, or the empty window's it keeps.
int height(const LoadedList &list) { return list.outerHeight.value_or(1045); }

std::vector<std::string> addresses(const LoadedList &list) {
    std::vector<std::string> out;
    for (const HostRow &row : list.rows) out.push_back(show(row.host.address));
    return out;
}

TEST(StartUp, CaptionNamesTheFileOrTheFailure) {
    const struct {
        const char *argument, *existing, *caption;
    } cases[] = {
        {"", "norvex.nvx", "norvex by Brastel v1.1  [norvex.nvx]"},
        {"", "other.nvx", " [norvex.nvx] not found"},
        {"my hosts.nvx", "my hosts.nvx", "norvex by Brastel v1.1  [my hosts.nvx]"},
        {"\"my hosts.nvx\"", "my hosts.nvx", "norvex by Brastel v1.1  [my hosts.nvx]"},
        {"\"\"", "norvex.nvx", " [] not found"},
        {"\"", "norvex.nvx", " [] not found"},
        {"-style x", "-style x", "norvex by Brastel v1.1  [-style x]"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.argument);
        const LoadedList loaded =
            load("notes only\r\n", QString::fromUtf8(c.argument), QString::fromUtf8(c.existing));
        EXPECT_EQ(show(loaded.caption), c.caption);
        EXPECT_EQ(loaded.error.isEmpty(), !QByteArray(c.caption).endsWith("not found"));
        EXPECT_TRUE(loaded.rows.empty());
    }
}

TEST(StartUp, TypicalListBuildsRowsFromTheLineAfterTheMarker) {
    const LoadedList loaded = load(
        crlfLines({"notes", "a=not a row, before the marker", "  [list]  ", "Gateway=127.0.0.1", "",
                   "a note", "Print\troom = 127.0.0.7", "[other]", "a=b=c"}));
    EXPECT_EQ(show(loaded.caption), "norvex by Brastel v1.1  [norvex.nvx]");
    ASSERT_EQ(loaded.rows.size(), 3u);
    const struct {
        const char *label, *address;
        int top;
        qint32 line;
    } rows[] = {
        {"Gateway", "127.0.0.1", 40, 3},
        {"Print room", " 127.0.0.7", 415, 6},
        {"a", "b=c", 790, 8},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(loaded.rows[i].number, i + 1);
        EXPECT_EQ(show(loaded.rows[i].host.label), rows[i].label);
        EXPECT_EQ(show(loaded.rows[i].host.address), rows[i].address);
        EXPECT_EQ(loaded.rows[i].top, rows[i].top);
        EXPECT_EQ(loaded.rows[i].line, rows[i].line);
    }
    EXPECT_EQ(height(loaded), 1605);
    EXPECT_EQ(loaded.lines.size(), 10u);  // the final CR LF leaves one more, empty line
    EXPECT_EQ(loaded.lines[2], u"[list]");
    EXPECT_EQ(loaded.markerLine, 2);
}

TEST(StartUp, MarkerEdgeCases) {
    const struct {
        const char *name;
        QByteArray bytes;
        std::vector<const char *> addresses;
        int height;
    } cases[] = {
        {"no marker", crlfLines({"a=1", "b=2"}), {}, 1045},
        {"marker is the last line", "a=1\r\n[LIST]", {}, 480},
        {"marker line with = gives no row", crlfLines({"[LIST]=x", "a=1"}), {"1"}, 855},
        {"second marker is an ordinary line",
         crlfLines({"[LIST]", "a=1", "[LIST]", "[LIST]=2"}),
         {"1", "2"},
         1230},
        {"LF-only file", "[LIST]\na=1\nb=2\n", {"1", "2"}, 1230},
        {"empty file", "", {}, 1045},
        {"only the first marker counts", crlfLines({"x=0", "[list]", "y=1"}), {"1"}, 855},
        {"empty label still a row", crlfLines({"[LIST]", "=127.0.0.9"}), {"127.0.0.9"}, 855},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const LoadedList loaded = load(c.bytes);
        EXPECT_TRUE(loaded.error.isEmpty()) << show(loaded.error);
        EXPECT_EQ(addresses(loaded),
                  std::vector<std::string>(c.addresses.begin(), c.addresses.end()));
        EXPECT_EQ(height(loaded), c.height);
    }
}

QByteArray utf16(const QString &text, bool bigEndian) {
    QByteArray bytes(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    for (const QChar c : text) {
        const char high = static_cast<char>(c.unicode() >> 8), low = static_cast<char>(c.unicode());
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

// Lists as editors save them: the rows must not depend on the editor's line ends.
TEST(StartUp, LineEndsOfEveryEditor) {
    const QString lf = QString::fromUtf8("[LIST]\ncaf\u00e9=127.0.0.1\nb=127.0.0.2");
    const QString lfFinal = lf + u'\n';
    const struct {
        const char *name;
        QByteArray bytes;
        std::vector<const char *> addresses;
    } cases[] = {
        {"LF, UTF-8", lf.toUtf8(), {"127.0.0.1", "127.0.0.2"}},
        {"LF, UTF-8, final LF", lfFinal.toUtf8(), {"127.0.0.1", "127.0.0.2"}},
        {"LF, UTF-8 with BOM", "\xEF\xBB\xBF" + lfFinal.toUtf8(), {"127.0.0.1", "127.0.0.2"}},
        {"LF, UTF-16 LE", utf16(lf, false), {"127.0.0.1", "127.0.0.2"}},
        {"LF, UTF-16 BE, final LF", utf16(lfFinal, true), {"127.0.0.1", "127.0.0.2"}},
        {"LF, Windows-1252",
         "[LIST]\ncaf\xE9=127.0.0.1\nb=127.0.0.2\n",
         {"127.0.0.1", "127.0.0.2"}},
        // One CR LF anywhere: only CR LF ends lines, and a lone LF stays in its address.
        {"CR LF with a lone LF",
         "[LIST]\r\na=127.0.0.1\nb=127.0.0.2\r\n",
         {"127.0.0.1\nb=127.0.0.2"}},
        {"CR only (old Mac)", "[LIST]\ra=127.0.0.1\rb=127.0.0.2\r", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const LoadedList loaded = load(c.bytes);
        EXPECT_TRUE(loaded.error.isEmpty()) << show(loaded.error);
        EXPECT_EQ(addresses(loaded),
                  std::vector<std::string>(c.addresses.begin(), c.addresses.end()));
        if (c.addresses.size() == 2) {
            EXPECT_EQ(show(loaded.rows[0].host.label), "caf\u00e9");
        }
    }
}

TEST(StartUp, RowLimit) {
    const struct {
        int entries;
        size_t rows;
        bool fails;
        int height;
    } cases[] = {
        {0, 0, false, 480},    {86, 86, false, 32730},
        {87, 87, true, 1045},  // rows built, the height sum overflows: height unchanged
        {88, 88, true, 1045},  // advancing past row 88 overflows
        {500, 88, true, 1045},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.entries);
        const LoadedList loaded = load(crlfLines(entryLines(c.entries)));
        EXPECT_EQ(loaded.rows.size(), c.rows);
        EXPECT_EQ(height(loaded), c.height);
        EXPECT_EQ(!loaded.error.isEmpty(), c.fails);
        EXPECT_EQ(show(loaded.caption),
                  c.fails ? " [norvex.nvx] not found" : "norvex by Brastel v1.1  [norvex.nvx]");
        if (!loaded.rows.empty()) {
            EXPECT_EQ(loaded.rows.back().top, 40 + 375 * (static_cast<int>(c.rows) - 1));
        }
    }
}

TEST(StartUp, LineAndMarkerLimits) {
    const QString filler = QString(32766, u'x');
    const struct {
        const char *name;
        QByteArray bytes;
        bool fails;
    } cases[] = {
        {"32,767 pieces", QByteArray("[LIST]") + QByteArray("\r\n").repeated(32766), false},
        {"32,768 pieces", QByteArray("[LIST]") + QByteArray("\r\n").repeated(32767), true},
        {"32,768 LF pieces", QByteArray("[LIST]") + QByteArray("\n").repeated(32767), true},
        {"marker at character 32,767", (filler + "[LIST]\r\na=1").toUtf8(), false},
        {"marker at character 32,768", (filler + "x[LIST]\r\na=1").toUtf8(), true},
        {"long line before the marker", (filler + "xx\r\n[LIST]\r\na=1").toUtf8(), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const LoadedList loaded = load(c.bytes);
        EXPECT_EQ(!loaded.error.isEmpty(), c.fails) << show(loaded.error);
        EXPECT_EQ(loaded.caption.endsWith(QStringLiteral("] not found")), c.fails);
    }
}

TEST(StartUp, FailureMessagesNameTheLimit) {
    const struct {
        const char *name;
        QByteArray bytes;
        const char *mentions;
    } cases[] = {
        {"lines", QByteArray("\r\n").repeated(40000), "40001 lines"},
        {"marker", (QString(40000, u'y') + "x[LIST]").toUtf8(), "character 40002"},
        {"rows", crlfLines(entryLines(88)), "row 88, from line 89"},
        {"height", crlfLines(entryLines(87)), "87 rows"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const LoadedList loaded = load(c.bytes);
        EXPECT_NE(loaded.error.indexOf(QString::fromUtf8(c.mentions)), -1) << show(loaded.error);
    }
}

TEST(StartUp, KeepsTheTextAsDecoded) {
    const LoadedList loaded = load("\xEF\xBB\xBF  [LIST]\r\n caf\xC3\xA9 =1 ");
    EXPECT_EQ(show(loaded.text), "  [LIST]\r\n caf\u00e9 =1 ");
    ASSERT_EQ(loaded.lines.size(), 2u);
    EXPECT_EQ(loaded.lines[0], u"[LIST]");
    EXPECT_EQ(loaded.lines[1], QString::fromUtf8("caf\u00e9 =1"));
    // The lines are the text's own characters, not copies of them.
    EXPECT_EQ(loaded.lines[1].data(), loaded.text.constData() + 11);
    ASSERT_EQ(loaded.rows.size(), 1u);
    EXPECT_EQ(show(loaded.rows[0].host.label), "caf\u00e9");
}

TEST(StartUp, ReadsOnlyTheChosenFile) {
    FakeFileReader files;
    loadList(files, QStringLiteral("\"a b\""));
    EXPECT_EQ(files.requested, QStringList{"a b"});
}

}  // namespace
