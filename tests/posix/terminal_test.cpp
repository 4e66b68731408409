// The terminal table: which terminals are tried in which order on each desktop, and the
// arguments each one is given.
#include "platform/posix/terminal.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace {

std::string show(const QStringList &words) { return words.join(u'|').toStdString(); }

const QStringList kRest{"gnome-terminal",
                        "ptyxis",
                        "kgx",
                        "konsole",
                        "xfce4-terminal",
                        "mate-terminal",
                        "tilix",
                        "terminator",
                        "kitty",
                        "alacritty",
                        "wezterm",
                        "ghostty",
                        "foot",
                        "qterminal",
                        "lxterminal",
                        "terminology",
                        "deepin-terminal",
                        "io.elementary.terminal",
                        "cosmic-term",
                        "sakura",
                        "urxvt",
                        "st",
                        "zutty",
                        "xterm"};

TEST(TerminalOrder, DesktopTerminalsComeRightAfterTheLaunchers) {
    const struct {
        const char *desktop;
        QStringList first;  // after xdg-terminal-exec and x-terminal-emulator
    } cases[] = {
        {"", {"gnome-terminal", "ptyxis", "kgx"}},
        {"GNOME", {"ptyxis", "kgx", "gnome-terminal", "konsole"}},
        {"ubuntu:GNOME", {"ptyxis", "kgx", "gnome-terminal", "konsole"}},
        {"gnome", {"ptyxis", "kgx", "gnome-terminal"}},
        {"KDE", {"konsole", "gnome-terminal"}},
        {"XFCE", {"xfce4-terminal", "gnome-terminal"}},
        {"MATE", {"mate-terminal", "gnome-terminal"}},
        {"X-Cinnamon", {"gnome-terminal", "ptyxis"}},
        {"LXQt", {"qterminal", "gnome-terminal"}},
        {"LXDE", {"lxterminal", "gnome-terminal"}},
        {"Pantheon", {"io.elementary.terminal", "gnome-terminal"}},
        {"Deepin", {"deepin-terminal", "gnome-terminal"}},
        {"Enlightenment", {"terminology", "gnome-terminal"}},
        {"COSMIC", {"cosmic-term", "gnome-terminal"}},
        {"Budgie:GNOME", {"tilix", "gnome-terminal", "ptyxis", "kgx", "konsole"}},
        {"SomethingNew", {"gnome-terminal", "ptyxis"}},
        {"::KDE:", {"konsole", "gnome-terminal"}},
        {"KDEx", {"gnome-terminal"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.desktop);
        const QStringList order = terminalSearchOrder(QString::fromUtf8(c.desktop));
        EXPECT_EQ(show(order.mid(0, 2)), "xdg-terminal-exec|x-terminal-emulator");
        EXPECT_EQ(show(order.mid(2, c.first.size())), show(c.first));
        // Every terminal exactly once, whatever the desktop.
        QStringList sorted = order.mid(2);
        sorted.sort();
        QStringList all = kRest;
        all.sort();
        EXPECT_EQ(show(sorted), show(all));
    }
}

TEST(TerminalOrder, WithoutADesktopTheRestKeepTheirOrder) {
    EXPECT_EQ(show(terminalSearchOrder(QString()).mid(2)), show(kRest));
}

TEST(TerminalNames, DebiansOwnProgramNamesAreFound) {
    const struct {
        const char *program, *terminal;
    } cases[] = {
        {"stterm", "st"},
        {"rxvt-unicode", "urxvt"},
        {"urxvt", "urxvt"},
        {"uxterm", "xterm"},
        {"koi8rxterm", "xterm"},
        {"kgx", "kgx"},
        {"gnome-terminal.wrapper", "gnome-terminal"},
        {"terminology", "terminology"},
        {"deepin-terminal", "deepin-terminal"},
        {"zutty", "zutty"},
        {"x-terminal-emulator", nullptr},
        {"xdg-terminal-exec", nullptr},
        {"mystery-term", nullptr},
        {"", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        const TerminalInfo *t = terminalForProgramName(QString::fromUtf8(c.program));
        EXPECT_EQ(t ? t->name.toStdString() : std::string(), c.terminal ? c.terminal : "");
    }
    EXPECT_EQ(show(terminalProgramNames("st")), "st|stterm");
    EXPECT_EQ(show(terminalProgramNames("urxvt")), "urxvt|rxvt-unicode");
    EXPECT_EQ(show(terminalProgramNames("xterm")), "xterm");
}

TEST(TerminalArguments, EachTerminalGetsItsOwnWayOfTakingTheCommand) {
    const QStringList command{"sh", "-c", "x 'y'", "a b"};
    const QString quoted = "'sh' '-c' 'x '\\''y'\\''' 'a b'";
    const QString hex = helperWord(command);
    const struct {
        const char *terminal;
        QStringList arguments;
    } cases[] = {
        {"xdg-terminal-exec", {"/h", hex}},
        {"x-terminal-emulator", {"-T", "norvex ping", "-e", "/h", hex}},
        {"gnome-terminal", QStringList{"--title=T", "--"} + command},
        {"ptyxis", QStringList{"--new-window", "--title=T", "--"} + command},
        {"kgx", QStringList{"--title=T", "--"} + command},
        {"konsole", QStringList{"-e"} + command},
        {"xfce4-terminal", QStringList{"--title=T", "-x"} + command},
        {"mate-terminal", QStringList{"--title=T", "-x"} + command},
        {"tilix", {"--title=T", "-e", quoted}},
        {"terminator", QStringList{"-u", "--title=T", "-x"} + command},
        {"kitty", QStringList{"--title=T", "--"} + command},
        {"alacritty", QStringList{"--title=T", "-e"} + command},
        {"wezterm", QStringList{"start", "--always-new-process", "--"} + command},
        {"ghostty", {"--title=norvex ping", "-e", "/h", hex}},
        {"foot", QStringList{"--title=T", "--"} + command},
        {"qterminal", {"-e", "/h", hex}},
        {"lxterminal", {"--no-remote", "--title=T", "-e", quoted}},
        {"terminology", {"--title=norvex ping", "-e", "/h", hex}},
        {"deepin-terminal", {"-e", "/h", hex}},
        {"io.elementary.terminal", {"-n", "-x", quoted}},
        {"cosmic-term", QStringList{"-e"} + command},
        {"sakura", {"--title=T", "-e", quoted}},
        {"urxvt", QStringList{"-title", "T", "-e"} + command},
        {"st", QStringList{"-t", "T", "-e"} + command},
        {"zutty", QStringList{"-title", "T", "-e"} + command},
        {"xterm", QStringList{"-T", "T", "-e"} + command},
    };
    QStringList covered;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.terminal);
        const TerminalInfo *t = terminalByName(QString::fromUtf8(c.terminal));
        ASSERT_TRUE(t);
        EXPECT_EQ(show(terminalArguments(*t, "T", command, "/h")), show(c.arguments));
        covered << c.terminal;
    }
    for (const QString &name : terminalSearchOrder(QString())) EXPECT_TRUE(covered.contains(name));
}

TEST(TerminalArguments, HelperTerminalsAreGivenNothingFromTheListFile) {
    const QString title = QStringLiteral("My Gateway - 127.0.0.9");
    const QStringList command{"/bin/sh", "-c", "s", "norvex-ping", "/bin", "127.0.0.9"};
    int helpers = 0;
    for (const QString &name : terminalSearchOrder(QString())) {
        SCOPED_TRACE(name.toStdString());
        const TerminalInfo *t = terminalByName(name);
        ASSERT_TRUE(t);
        const QStringList args = terminalArguments(*t, title, command, "/h");
        const bool leaks = args.join(u' ').contains(QStringLiteral("127.0.0.9")) ||
                           args.join(u' ').contains(QStringLiteral("Gateway"));
        if (t->form == CommandForm::Helper) {
            ++helpers;
            EXPECT_FALSE(leaks) << show(args);
            EXPECT_EQ(show(args.mid(args.size() - 2)), show({"/h", helperWord(command)}));
        } else {
            EXPECT_TRUE(leaks) << show(args);  // the command's words, at least
        }
    }
    EXPECT_GE(helpers, 6);  // the two launchers and four terminals
}

TEST(TerminalArguments, QuotedWordsReadBackUnchanged) {
    // What a shell or GLib would do with the quoted string is checked end to end elsewhere; here,
    // that no word can close its quotes early.
    const TerminalInfo *tilix = terminalByName("tilix");
    ASSERT_TRUE(tilix);
    const QStringList args = terminalArguments(*tilix, "t", {"a'b", "'", "$(x)"}, QString());
    EXPECT_EQ(args.last().toStdString(), "'a'\\''b' ''\\''' '$(x)'");
}

TEST(HelperPath, OnlyPlainWordsAreGivenToUnknownTerminals) {
    const struct {
        const char *path;
        bool plain;
    } cases[] = {
        {"/usr/libexec/norvex/terminal-command", true},
        {"/opt/norvex-1.1/lib+x/terminal-command", true},
        {"/home/me/my apps/terminal-command", false},
        {"/tmp/$(x)/terminal-command", false},
        {"/tmp/a;b", false},
        {"/tmp/'q'", false},
        {"-e", false},
        {"~/x", false},
        {"", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(isPlainWord(QString::fromUtf8(c.path)), c.plain);
    }
}

TEST(HelperWord, EveryWordAsHexEndedByNul) {
    EXPECT_EQ(helperWord({"sh", "a\nb", ""}).toStdString(), "736800610a620000");
    EXPECT_EQ(helperWord({QString::fromUtf8("h\u00f6st")}).toStdString(), "68c3b6737400");
    // Whatever the words hold, the result reads the same under any way of parsing a command.
    EXPECT_TRUE(isPlainWord(helperWord({"$(id)", "'a b'", "-e", "`x`;|&", "\"\\"})));
}

TEST(TerminalArguments, EachTerminalGetsTheCommandAsSeparateWords) {
    const QStringList command{"sh", "-c", "s", "ping", "a b"};
    const struct {
        const char *terminal;
        QStringList arguments;
    } cases[] = {
        {"xdg-terminal-exec", {"/helper", helperWord(command)}},
        {"x-terminal-emulator", {"-T", "norvex ping", "-e", "/helper", helperWord(command)}},
        {"xterm", {"-T", "T", "-e", "sh", "-c", "s", "ping", "a b"}},
        {"gnome-terminal", {"--title=T", "--", "sh", "-c", "s", "ping", "a b"}},
        {"mate-terminal", {"--title=T", "-x", "sh", "-c", "s", "ping", "a b"}},
        {"kitty", {"--title=T", "--", "sh", "-c", "s", "ping", "a b"}},
        {"foot", {"--title=T", "--", "sh", "-c", "s", "ping", "a b"}},
        {"xfce4-terminal", {"--title=T", "-x", "sh", "-c", "s", "ping", "a b"}},
        {"konsole", {"-e", "sh", "-c", "s", "ping", "a b"}},
        {"qterminal", {"-e", "/helper", helperWord(command)}},
        {"alacritty", {"--title=T", "-e", "sh", "-c", "s", "ping", "a b"}},
        {"lxterminal", {"--no-remote", "--title=T", "-e", "'sh' '-c' 's' 'ping' 'a b'"}},
        {"terminator", {"-u", "--title=T", "-x", "sh", "-c", "s", "ping", "a b"}},
        {"tilix", {"--title=T", "-e", "'sh' '-c' 's' 'ping' 'a b'"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.terminal);
        const TerminalInfo *terminal = terminalByName(QString::fromUtf8(c.terminal));
        ASSERT_TRUE(terminal);
        EXPECT_EQ(show(terminalArguments(*terminal, QStringLiteral("T"), command,
                                         QStringLiteral("/helper"))),
                  show(c.arguments));
    }
}

TEST(TerminalForProgramName, RecognisesWrappersAndVariants) {
    const struct {
        const char *name;
        const char *terminal;
    } cases[] = {
        {"xterm", "xterm"},
        {"uxterm", "xterm"},
        {"gnome-terminal.wrapper", "gnome-terminal"},
        {"xfce4-terminal.wrapper", "xfce4-terminal"},
        {"terminator", "terminator"},
        {"tilix.wrapper", "tilix"},
        {"konsole", "konsole"},
        {"x-terminal-emulator", ""},
        {"st", "st"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TerminalInfo *terminal = terminalForProgramName(QString::fromUtf8(c.name));
        EXPECT_EQ(terminal ? terminal->name.toStdString() : std::string(), c.terminal);
    }
    EXPECT_EQ(terminalSearchOrder(QString()).first(), "xdg-terminal-exec");
    EXPECT_EQ(terminalSearchOrder(QString()).at(1), "x-terminal-emulator");
    EXPECT_EQ(terminalSearchOrder(QString()).last(), "xterm");
}

TEST(ShellQuote, ShellReadsEveryWordBackUnchanged) {
    const QStringList words{"plain", "a b", "it's", "$(touch x)", "`id`", "a;b|c&d",
                            "\\\"",  "",    "*",    "a\nb",       "\n",   "'\n'$x"};
    QStringList quoted;
    for (const QString &word : words) quoted << shellQuote(word);
    QProcess sh;
    sh.start(QStringLiteral("/bin/sh"),
             {QStringLiteral("-c"), QStringLiteral("for w in ") + quoted.join(u' ') +
                                        QStringLiteral("; do printf '%s\\0' \"$w\"; done")});
    ASSERT_TRUE(sh.waitForFinished(5000));
    // NUL-terminated, so a word's own newline cannot pass for two words.
    QStringList printed = QString::fromUtf8(sh.readAllStandardOutput()).split(QChar(0));
    printed.removeLast();
    ASSERT_EQ(printed.size(), words.size()) << show(printed);
    for (qsizetype i = 0; i < words.size(); ++i) EXPECT_EQ(printed[i], words[i]) << i;
}

TEST(PingWindowCommand, RunsPingWithTheWordsAsArguments) {
    const QStringList command = pingWindowCommand("/usr/bin/sh", "/bin", {"-n", "a b"});
    ASSERT_EQ(command.size(), 7);
    EXPECT_EQ(command[0], "/usr/bin/sh");  // as given: never looked up on the terminal's PATH
    EXPECT_EQ(command[1], "-c");
    EXPECT_TRUE(command[2].contains(QStringLiteral("ping \"$@\"")));
    EXPECT_EQ(command[4], "/bin");
    EXPECT_EQ(command.mid(5), QStringList({"-n", "a b"}));
}

}  // namespace
