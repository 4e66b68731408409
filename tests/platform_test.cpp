#include <gtest/gtest.h>

#include <QProcess>

#include "platform/cmdsplit.h"
#include "platform/terminal.h"
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

TEST(UnixPingWords, DropsProgramAndContinuousSwitch) {
    const struct {
        const char16_t *line;
        QStringList words;
    } cases[] = {
        {u"ping.exe -t 127.0.0.1", {"127.0.0.1"}},
        {u"ping.exe -t  127.0.0.1", {"127.0.0.1"}},  // "Gateway = 127.0.0.1"
        {u"ping.exe -t ", {}},                       // empty address: ping shows its usage
        {u"ping.exe -t b=c", {"b=c"}},
        {u"ping.exe -t -t 5 host", {"-t", "5", "host"}},
        {u"ping.exe -t \"my host\"", {"my host"}},
        {u"ping.exe -t $(touch x) `id` a|b&c", {"$(touch", "x)", "`id`", "a|b&c"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.line).toStdString());
        EXPECT_EQ(show(unixPingWords(QString::fromUtf16(c.line))), show(c.words));
    }
}

TEST(TerminalArguments, EachTerminalGetsTheCommandAsSeparateWords) {
    const QStringList command{"sh", "-c", "s", "ping", "a b"};
    const struct {
        Terminal terminal;
        QStringList arguments;
    } cases[] = {
        {Terminal::XdgTerminalExec, {"sh", "-c", "s", "ping", "a b"}},
        {Terminal::Generic, {"-T", "T", "-e", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::Xterm, {"-T", "T", "-e", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::GnomeTerminal, {"--title=T", "--", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::MateTerminal, {"--title=T", "--", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::Kitty, {"--title=T", "--", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::Foot, {"--title=T", "--", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::Xfce4Terminal, {"--title=T", "-x", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::Konsole, {"-e", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::QTerminal, {"-e", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::Alacritty, {"--title=T", "-e", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::LxTerminal, {"--title=T", "-e", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::Terminator, {"-u", "--title=T", "-x", "sh", "-c", "s", "ping", "a b"}},
        {Terminal::Tilix, {"--title=T", "-e", "'sh' '-c' 's' 'ping' 'a b'"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(terminalProgramName(c.terminal).toStdString());
        EXPECT_EQ(show(terminalArguments(c.terminal, QStringLiteral("T"), command)),
                  show(c.arguments));
    }
}

TEST(TerminalForProgramName, RecognisesWrappersAndVariants) {
    const struct {
        const char *name;
        std::optional<Terminal> terminal;
    } cases[] = {
        {"xterm", Terminal::Xterm},
        {"uxterm", Terminal::Xterm},
        {"gnome-terminal.wrapper", Terminal::GnomeTerminal},
        {"xfce4-terminal.wrapper", Terminal::Xfce4Terminal},
        {"terminator", Terminal::Terminator},
        {"tilix.wrapper", Terminal::Tilix},
        {"konsole", Terminal::Konsole},
        {"x-terminal-emulator", std::nullopt},
        {"st", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(terminalForProgramName(QString::fromUtf8(c.name)), c.terminal);
    }
    EXPECT_EQ(terminalSearchOrder().first(), "xdg-terminal-exec");
    EXPECT_EQ(terminalSearchOrder().at(1), "x-terminal-emulator");
    EXPECT_EQ(terminalSearchOrder().last(), "xterm");
}

TEST(ShellQuote, ShellReadsEveryWordBackUnchanged) {
    const QStringList words{"plain",   "a b",  "it's", "$(touch x)", "`id`",
                            "a;b|c&d", "\\\"", "",     "*"};
    QStringList quoted;
    for (const QString &word : words) quoted << shellQuote(word);
    QProcess sh;
    sh.start(QStringLiteral("/bin/sh"),
             {QStringLiteral("-c"), QStringLiteral("for w in ") + quoted.join(u' ') +
                                        QStringLiteral("; do printf '%s\\n' \"$w\"; done")});
    ASSERT_TRUE(sh.waitForFinished(5000));
    QStringList printed = QString::fromUtf8(sh.readAllStandardOutput()).split(u'\n');
    printed.removeLast();
    EXPECT_EQ(show(printed), show(words));
}

TEST(PingWindowCommand, RunsPingWithTheWordsAsArguments) {
    const QStringList command = pingWindowCommand({"-n", "a b"});
    ASSERT_EQ(command.size(), 6);
    EXPECT_EQ(command[0], "sh");
    EXPECT_EQ(command[1], "-c");
    EXPECT_TRUE(command[2].contains(QStringLiteral("ping \"$@\"")));
    EXPECT_EQ(command.mid(4), QStringList({"-n", "a b"}));
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
