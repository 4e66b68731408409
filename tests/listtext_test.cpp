#include "list/listtext.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <set>
#include <string_view>

namespace {

using namespace std::string_view_literals;

std::string show(QStringView s) { return s.toString().toStdString(); }

QStringList strings(const LineViews &lines) {
    QStringList out;
    for (const QStringView line : lines) out << line.toString();
    return out;
}

TEST(ListFileName, ArgumentTextRules) {
    const struct {
        const char16_t *argument, *name;
    } cases[] = {
        {u"", u"norvex.nvx"},
        {u"hosts.nvx", u"hosts.nvx"},
        {u"my hosts.nvx", u"my hosts.nvx"},      // spaces need no quotes and do not split
        {u"\"my hosts.nvx\"", u"my hosts.nvx"},  // quoted path loses both quotes
        {u"\"abc", u"ab"},                       // the last character goes, quote or not
        {u"\"\"", u""},                          // two quotes: empty name
        {u"\"", u""},                            // a lone quote must not crash
        {u"x\"", u"x\""},                        // only a leading quote counts
        {u" \"a\"", u" \"a\""},
    };
    for (const auto &c : cases) {
        const QString argument = QString::fromUtf16(c.argument);
        SCOPED_TRACE(show(argument));
        EXPECT_EQ(show(listFileName(argument)), show(QString::fromUtf16(c.name)));
    }
}

TEST(SplitListLines, CrLfSeparatesElseLf) {
    const struct {
        const char16_t *text;
        QStringList lines;
    } cases[] = {
        {u"", {}},
        {u"a", {"a"}},
        {u"a\r\nb", {"a", "b"}},
        {u"a\r\n", {"a", ""}},  // text after the last CR LF is one more line
        {u"\r\n", {"", ""}},
        {u"a\r\n\r\nb", {"a", "", "b"}},
        {u"a\rb", {"a\rb"}},
        {u"a\r\r\nb\n\r\n", {"a\r", "b\n", ""}},  // one CR LF: a lone CR or LF stays
        {u"a\r\nb\nc", {"a", "b\nc"}},
        {u"a\nb\r\nc", {"a\nb", "c"}},  // a CR LF after a lone LF still decides
        // Without any CR LF, LF ends lines; CR alone never does.
        {u"a\nb\nc", {"a", "b", "c"}},
        {u"a\nb\n", {"a", "b", ""}},
        {u"\n", {"", ""}},
        {u"a\r\nb\rc", {"a", "b\rc"}},
        {u"a\rb\rc\r", {"a\rb\rc\r"}},
        {u"a\r\n\nb", {"a", "\nb"}},
    };
    for (const auto &c : cases) {
        const QString text = QString::fromUtf16(c.text);
        SCOPED_TRACE(show(text));
        EXPECT_EQ(strings(splitListLines(text)), c.lines);
    }
}

TEST(TrimSpaces, RemovesSpacesOnly) {
    const struct {
        const char16_t *line, *trimmed;
    } cases[] = {
        {u"  a b  ", u"a b"}, {u"\ta\t", u"\ta\t"}, {u" \t a \t ", u"\t a \t"},
        {u"", u""},           {u"    ", u""},       {u"\u00a0a\u00a0", u"\u00a0a\u00a0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(QString::fromUtf16(c.line)));
        EXPECT_EQ(show(trimSpaces(QString::fromUtf16(c.line))),
                  show(QString::fromUtf16(c.trimmed)));
    }
}

TEST(TrimListLines, AcceptsAtMost32767Lines) {
    for (const qsizetype count : {qsizetype{0}, qsizetype{1}, qsizetype{32767}}) {
        SCOPED_TRACE(count);
        const QString line = QStringLiteral("  x  ");
        LineViews lines(count, line);
        EXPECT_NO_THROW(trimListLines(lines));
        if (count) {
            EXPECT_EQ(show(lines.back()), "x");
        }
    }
    for (const qsizetype count : {qsizetype{32768}, qsizetype{32769}, qsizetype{70000}}) {
        SCOPED_TRACE(count);
        const QString line = QStringLiteral("x");
        LineViews lines(count, line);
        EXPECT_THROW(trimListLines(lines), LoadError);
    }
}

TEST(TrimListLines, PieceCountFollowsCrLfRule) {
    // 32,767 lines each ended by CR LF are 32,768 pieces: one too many.
    QString text;
    for (int i = 0; i < 32767; ++i) text += QStringLiteral("x\r\n");
    LineViews pieces = splitListLines(text);
    EXPECT_EQ(pieces.size(), 32768u);
    EXPECT_THROW(trimListLines(pieces), LoadError);
    text.chop(2);
    pieces = splitListLines(text);
    EXPECT_EQ(pieces.size(), 32767u);
    EXPECT_NO_THROW(trimListLines(pieces));
}

TEST(MarkerPosition, FindsListInAnyCase) {
    const struct {
        const char16_t *line;
        qsizetype position;
    } cases[] = {
        {u"[LIST]", 0},
        {u"[list]", 0},
        {u"[List]", 0},
        {u"Hosts [LIST] below", 6},
        {u"[LIST][LIST]", 0},
        {u"[ LIST]", -1},
        {u"LIST", -1},
        {u"", -1},
        {u"\u00df\u00df[list]", 2},  // sharp s keeps its length: positions stay the line's own
        {u"[l\u0131st]", 0},         // dotless i upper-cases to I, one unit for one unit
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(QString::fromUtf16(c.line)));
        EXPECT_EQ(markerPosition(QString::fromUtf16(c.line)), c.position);
    }
}

TEST(SplitEntry, FieldsFollowTheFirstEquals) {
    const struct {
        const char16_t *line, *label, *address;
    } cases[] = {
        {u"Gateway=127.0.0.1", u"Gateway", u"127.0.0.1"},
        {u"Gateway = 127.0.0.1", u"Gateway", u" 127.0.0.1"},
        {u"Print\troom=127.0.0.7", u"Print room", u"127.0.0.7"},
        {u"a=b=c", u"a", u"b=c"},
        {u"=127.0.0.9", u"", u"127.0.0.9"},
        {u"Gateway\t=127.0.0.1", u"Gateway", u"127.0.0.1"},
        {u"\t x \t=a\tb ", u"x", u"a\tb "},
        {u"x=", u"x", u""},
        {u"=", u"", u""},
        {u"[LIST]=x", u"[LIST]", u"x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(QString::fromUtf16(c.line)));
        const std::optional<Entry> entry = splitEntry(QString::fromUtf16(c.line));
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(show(entry->label), show(QString::fromUtf16(c.label)));
        EXPECT_EQ(show(entry->address), show(QString::fromUtf16(c.address)));
    }
    for (const char16_t *line : {u"", u"Gateway 127.0.0.1", u"[LIST]", u"a\u2260b"}) {
        SCOPED_TRACE(show(QString::fromUtf16(line)));
        EXPECT_FALSE(splitEntry(QString::fromUtf16(line)).has_value());
    }
}

TEST(DecodeListBytes, EncodingChoice) {
    const struct {
        const char *name;
        QByteArray bytes;
        std::u16string_view text;  // may hold NUL
    } cases[] = {
        {"ascii", "a=b", u"a=b"sv},
        {"utf-8", "caf\xC3\xA9=1", u"caf\u00e9=1"sv},
        {"utf-8 bom dropped", "\xEF\xBB\xBFx=1", u"x=1"sv},
        {"utf-16le bom", QByteArray("\xFF\xFEx\0=\0", 6), u"x="sv},
        {"utf-16be bom", QByteArray("\xFE\xFF\0x\0=", 6), u"x="sv},
        {"invalid utf-8 is cp1252", "caf\xE9", u"caf\u00e9"sv},
        {"mixed invalid: every byte by cp1252", "\xC3\xA9\xE9", u"\u00c3\u00a9\u00e9"sv},
        {"cp1252 euro and quotes", "\x80\x93\x94\xE9", u"\u20ac\u201c\u201d\u00e9"sv},
        {"undefined cp1252 bytes kept", "\x81\x8D\x8F\x90\x9D",
         u"\u0081\u008d\u008f\u0090\u009d"sv},
        {"nul and ctrl-z are characters",
         QByteArray("a\0b\x1A"
                    "c",
                    5),
         u"a\u0000b\u001ac"sv},
        {"inner bom kept", "x\xEF\xBB\xBFy", u"x\ufeffy"sv},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeListBytes(c.bytes), QStringView(c.text).toString());
    }
}

TEST(DecodeListBytes, NoByteLostOrReplaced) {
    // Every byte value on its own after an invalid sequence decodes to a distinct character.
    std::set<char16_t> seen;
    for (int b = 0; b < 256; ++b) {
        const QString text = decodeListBytes(QByteArray("x\xFF") + char(b));
        ASSERT_EQ(text.size(), 3) << b;
        EXPECT_NE(text[2], QChar(0xFFFD)) << b;
        seen.insert(text[2].unicode());
    }
    EXPECT_EQ(seen.size(), 256u);
}

}  // namespace
