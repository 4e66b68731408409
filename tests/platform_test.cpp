#include <gtest/gtest.h>

#include "platform/cmdsplit.h"
#include "platform/twips.h"
#include "platform/win/wincmdline.h"

namespace {

using namespace std::string_view_literals;

std::string show(const QStringList &words) { return words.join(u'|').toStdString(); }
TEST(SplitWindowsCommandLine, MicrosoftRules) {
    const struct {
        std::u16string_view line;  // may hold NUL
        QStringList words;
    } cases[] = {
        {u""sv, {}},
        {u"   \t "sv, {}},
        {u"127.0.0.1"sv, {"127.0.0.1"}},
        {u" 127.0.0.1"sv, {"127.0.0.1"}},
        {u"a b\tc"sv, {"a", "b", "c"}},
        {u"\"my host\""sv, {"my host"}},
        {u"\"\""sv, {""}},
        {u"a\"b c\"d"sv, {"ab cd"}},
        {u"\"a\"\"b\""sv, {"a\"b"}},  // "" inside quotes: a literal quote, still quoted
        {u"\"a\"\"b c\""sv, {"a\"b c"}},
        {u"a\\\\\"b c\""sv, {"a\\b c"}},  // 2n backslashes: n, then a grouping quote
        {u"a\\\"b c"sv, {"a\"b", "c"}},   // 2n+1: n and a literal quote
        {u"a\\\\\\\"b"sv, {"a\\\"b"}},
        {u"a\\b\\\\c"sv, {"a\\b\\\\c"}},  // backslashes not before a quote are literal
        {u"\"unterminated b"sv, {"unterminated b"}},
        {u"a\u0000b c"sv, {"a"}},  // the line ends at NUL
        {u"127.0.0.1; touch /tmp/x"sv, {"127.0.0.1;", "touch", "/tmp/x"}},
        {u"-n 3 host"sv, {"-n", "3", "host"}},
    };
    for (const auto &c : cases) {
        const QString line = QStringView(c.line).toString();
        SCOPED_TRACE(line.toStdString());
        EXPECT_EQ(show(splitWindowsCommandLine(line)), show(c.words));
    }
}

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

TEST(Twips, EdgesAreConvertedSoBoxesTouch) {
    // Rows at 40 + 375 k: converted sizes would drift, converted edges never leave a gap.
    for (int k = 0; k < 86; ++k) {
        const QRect row = toPixels({30, 40.0 + 375 * k, 2800, 375});
        const QRect next = toPixels({30, 40.0 + 375 * (k + 1), 2800, 375});
        ASSERT_EQ(row.bottom() + 1, next.top()) << k;
    }
    EXPECT_EQ(toPixels({1845, 120, 1380, 375}), QRect(123, 8, 92, 25));
    EXPECT_EQ(toPixels({100, 122.5, 2800, 375}), QRect(7, 8, 186, 25));
    EXPECT_EQ(twipsToPixels(3375), 225);
}

}  // namespace
