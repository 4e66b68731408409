#include "app/startup.h"

#include <gtest/gtest.h>

#include "panel/rowplan.h"
#include "tests/fakes.h"

namespace {

const QString kTitle = QStringLiteral("norvex by Brastel v1.1");

std::string show(const QString &s) { return s.toStdString(); }

struct Loaded {
    RowPlan plan;
    QString error;
};

// Runs start-up on a single file of the given bytes, named name, with argument text argument.
std::unique_ptr<Loaded> load(const QByteArray &bytes, const QString &argument = {},
                             const QString &name = QStringLiteral("norvex.nvx")) {
    auto loaded = std::make_unique<Loaded>();
    FakeFileReader files(name, bytes);
    loaded->error = Form_Initialize(loaded->plan, files, argument);
    return loaded;
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
        auto loaded =
            load("notes only\r\n", QString::fromUtf8(c.argument), QString::fromUtf8(c.existing));
        EXPECT_EQ(show(loaded->plan.caption()), c.caption);
        EXPECT_EQ(loaded->error.isEmpty(), !QByteArray(c.caption).endsWith("not found"));
        EXPECT_TRUE(loaded->plan.rows().empty());
    }
}

TEST(StartUp, TypicalListBuildsRowsFromTheLineAfterTheMarker) {
    auto loaded = load(
        crlfLines({"notes", "a=not a row, before the marker", "  [list]  ", "Gateway=127.0.0.1", "",
                   "a note", "Print\troom = 127.0.0.7", "[other]", "a=b=c"}));
    const RowPlan &plan = loaded->plan;
    EXPECT_EQ(show(plan.caption()), "norvex by Brastel v1.1  [norvex.nvx]");
    ASSERT_EQ(plan.rows().size(), 3u);
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
        EXPECT_EQ(plan.rows()[i].number, i + 1);
        EXPECT_EQ(show(plan.rows()[i].label), rows[i].label);
        EXPECT_EQ(show(plan.rows()[i].address), rows[i].address);
        EXPECT_EQ(plan.rows()[i].top, rows[i].top);
        EXPECT_EQ(plan.rows()[i].lineIndex, rows[i].line);
    }
    EXPECT_EQ(plan.outerHeight(), 1605);
    EXPECT_EQ(plan.RowCount.value(), 3);
    EXPECT_EQ(plan.LineCount, 10);  // the final CR LF leaves one more, empty line
    EXPECT_EQ(show(plan.ListLines[2]), "[list]");
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
        auto loaded = load(c.bytes);
        EXPECT_TRUE(loaded->error.isEmpty()) << show(loaded->error);
        std::vector<std::string> addresses;
        for (const HostRow &row : loaded->plan.rows()) addresses.push_back(show(row.address));
        EXPECT_EQ(addresses, std::vector<std::string>(c.addresses.begin(), c.addresses.end()));
        EXPECT_EQ(loaded->plan.outerHeight(), c.height);
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
        auto loaded = load(c.bytes);
        EXPECT_TRUE(loaded->error.isEmpty()) << show(loaded->error);
        std::vector<std::string> addresses;
        for (const HostRow &row : loaded->plan.rows()) addresses.push_back(show(row.address));
        EXPECT_EQ(addresses, std::vector<std::string>(c.addresses.begin(), c.addresses.end()));
        if (c.addresses.size() == 2) {
            EXPECT_EQ(show(loaded->plan.rows()[0].label), "caf\u00e9");
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
        auto loaded = load(crlfLines(entryLines(c.entries)));
        EXPECT_EQ(loaded->plan.rows().size(), c.rows);
        EXPECT_EQ(loaded->plan.outerHeight(), c.height);
        EXPECT_EQ(!loaded->error.isEmpty(), c.fails);
        EXPECT_EQ(show(loaded->plan.caption()),
                  c.fails ? " [norvex.nvx] not found" : "norvex by Brastel v1.1  [norvex.nvx]");
        if (!loaded->plan.rows().empty()) {
            EXPECT_EQ(loaded->plan.rows().back().top, 40 + 375 * (static_cast<int>(c.rows) - 1));
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
        auto loaded = load(c.bytes);
        EXPECT_EQ(!loaded->error.isEmpty(), c.fails) << show(loaded->error);
        EXPECT_EQ(loaded->plan.caption().endsWith(QStringLiteral("] not found")), c.fails);
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
        auto loaded = load(c.bytes);
        EXPECT_NE(loaded->error.indexOf(QString::fromUtf8(c.mentions)), -1) << show(loaded->error);
    }
}

TEST(StartUp, KeepsTheTextAsDecoded) {
    auto loaded = load("\xEF\xBB\xBF  [LIST]\r\n caf\xC3\xA9 =1 ");
    EXPECT_EQ(show(loaded->plan.ListText), "  [LIST]\r\n caf\u00e9 =1 ");
    EXPECT_EQ(loaded->plan.ListLines, QStringList({"[LIST]", QString::fromUtf8("caf\u00e9 =1")}));
    ASSERT_EQ(loaded->plan.rows().size(), 1u);
    EXPECT_EQ(show(loaded->plan.rows()[0].label), "caf\u00e9");
}

TEST(StartUp, ReadsOnlyTheChosenFile) {
    FakeFileReader files;
    RowPlan plan;
    Form_Initialize(plan, files, QStringLiteral("\"a b\""));
    EXPECT_EQ(files.requested, QStringList{"a b"});
}

}  // namespace
