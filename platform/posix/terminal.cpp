#include "platform/posix/terminal.h"

#include <vector>

namespace {

using enum CommandForm;

struct Row {
    const char *name;
    const char *otherNames;  // space-separated, looked for after name
    const char *aliases;     // space-separated, only recognised behind x-terminal-emulator
    const char *fixed;       // space-separated
    const char *title;
    const char *command;
    CommandForm form;
    bool needsWayland;
    bool dropsEarlyRequests = false;
};

// How each terminal runs a command, as its manual (or, where that is silent, its argument
// handling) has it. Rows after the two launchers are in the order tried when the desktop prefers
// none of them.
constexpr Row kTerminals[] = {
    // name                  otherNames      aliases   fixed     title      command form
    // Runs the default terminal chosen in the desktop entries, handing it the command after that
    // terminal's own exec option; which terminal that is, and how it parses, is not ours to know.
    {"xdg-terminal-exec", "", "", "", "", "", Helper, false},
    // Debian's policy promises -T and -e of every x-terminal-emulator, but not how -e parses: a
    // terminal norvex does not know gets nothing but the helper's plain words.
    {"x-terminal-emulator", "", "", "", "-T", "-e", Helper, false},
    // A client: the running server opens the window. --title still works in 3.46.
    {"gnome-terminal", "", "", "", "--title=", "--", Words, false},
    // Hands the request to its running instance; --new-window makes that a window, not a tab.
    {"ptyxis", "", "", "--new-window", "--title=", "--", Words, false},
    {"kgx", "", "", "", "--title=", "--", Words, false},
    // No title option. A single word after -e would be split by konsole itself; ours are several.
    {"konsole", "", "", "", "", "-e", Words, false},
    {"xfce4-terminal", "", "", "", "--title=", "-x", Words, false},
    // -x takes the rest of the line; -e would take one string.
    {"mate-terminal", "", "", "", "--title=", "-x", Words, false},
    // Takes one string and re-parses it; its -x only joins the words with spaces.
    {"tilix", "", "", "", "--title=", "-e", QuotedWords, false},
    // -u: a process of its own; through a running one (D-Bus) the words would reach $SHELL.
    {"terminator", "", "", "-u", "--title=", "-x", Words, false},
    {"kitty", "", "", "", "--title=", "--", Words, false},
    {"alacritty", "", "", "", "--title=", "-e", Words, false},
    // --always-new-process: a running GUI would spawn the window in its own environment. No title.
    {"wezterm", "", "", "start --always-new-process", "", "--", Words, false},
    // Its -e ran the joined words with /bin/sh -c before 1.1 and runs them directly since: plain
    // words read the same either way. -e also turns its single-instance mode off.
    {"ghostty", "", "", "", "--title=", "-e", Helper, false},
    {"foot", "", "", "", "--title=", "--", Words, true},
    // -e splits its own argument and appends the words after it as they are. No title.
    {"qterminal", "", "", "", "", "-e", Helper, false},
    // -e joins the rest with spaces and re-parses it with GLib; --no-remote keeps a running
    // instance from opening it in its own environment.
    {"lxterminal", "", "", "--no-remote", "--title=", "-e", QuotedWords, false},
    // -e hands the joined words to the user's $SHELL (which may be any shell): plain words.
    {"terminology", "", "", "", "--title=", "-e", Helper, false},
    // -e stops at any later word that is one of its own options (-w, -q, -m, -C, --keep-open,
    // -e), which then act (-C takes a script); older versions join and re-split on whitespace.
    // Plain words survive both. A second start hands the command to the first instance, which
    // runs it in its own environment, and exits 0: until the instance's first window runs its
    // command, what it is handed is dropped. There is no title option (-T makes it exit).
    {"deepin-terminal", "", "", "", "", "-e", Helper, false, true},
    // A running instance opens the command as a tab unless -n; -x joins the rest and re-parses it.
    {"io.elementary.terminal", "", "", "-n", "", "-x", QuotedWords, false},
    // No title option; -e (or --) takes the rest.
    {"cosmic-term", "", "", "", "", "-e", Words, false},
    // Its -e joins the rest with spaces and re-parses that with GLib, like its one-string -x.
    // No -T: it exits at an unknown option.
    {"sakura", "", "", "", "--title=", "-e", QuotedWords, false},
    // -e must come last and takes the rest, as in xterm.
    {"urxvt", "rxvt-unicode", "", "", "-title", "-e", Words, false},
    // Debian names it stterm.
    {"st", "stterm", "", "", "-t", "-e", Words, false},
    // Options are one dash and whole words: -title, not -T.
    {"zutty", "", "", "", "-title", "-e", Words, false},
    // Debian's xterm variants take xterm's options.
    {"xterm", "", "uxterm lxterm koi8rxterm", "", "-T", "-e", Words, false},
};

// Which terminals each desktop ships, as named in XDG_CURRENT_DESKTOP.
constexpr struct {
    const char *desktop;
    const char *terminals;
} kDesktops[] = {
    // Fedora 41 on has Ptyxis and no gnome-terminal; Console (kgx) came before it.
    {"GNOME", "ptyxis kgx gnome-terminal"},
    {"KDE", "konsole"},
    {"XFCE", "xfce4-terminal"},
    {"MATE", "mate-terminal"},
    {"X-Cinnamon", "gnome-terminal"},
    {"LXQt", "qterminal"},
    {"LXDE", "lxterminal"},
    {"Pantheon", "io.elementary.terminal"},
    {"Deepin", "deepin-terminal"},
    {"Enlightenment", "terminology"},
    {"COSMIC", "cosmic-term"},
    {"Budgie", "tilix gnome-terminal"},
};

QStringList words(const char *text) {
    return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
}

const std::vector<TerminalInfo> &terminals() {
    static const std::vector<TerminalInfo> all = [] {
        std::vector<TerminalInfo> list;
        for (const Row &row : kTerminals) {
            list.push_back({QString::fromLatin1(row.name), words(row.otherNames),
                            words(row.aliases), words(row.fixed), QString::fromLatin1(row.title),
                            QString::fromLatin1(row.command), row.form, row.needsWayland,
                            QByteArrayView(row.name) == "x-terminal-emulator",
                            row.dropsEarlyRequests});
        }
        return list;
    }();
    return all;
}

bool isLauncher(const TerminalInfo &terminal) {
    return terminal.name == u"xdg-terminal-exec" || terminal.name == u"x-terminal-emulator";
}

}  // namespace

const TerminalInfo *terminalByName(const QString &name) {
    for (const TerminalInfo &terminal : terminals()) {
        if (terminal.name == name) return &terminal;
    }
    return nullptr;
}

const TerminalInfo *terminalForProgramName(const QString &fileName) {
    QString name = fileName;
    if (name.endsWith(QStringLiteral(".wrapper"))) name.chop(8);
    for (const TerminalInfo &terminal : terminals()) {
        if (isLauncher(terminal)) continue;
        if (terminal.name == name || terminal.otherNames.contains(name) ||
            terminal.aliases.contains(name))
            return &terminal;
    }
    return nullptr;
}

QStringList terminalSearchOrder(const QString &currentDesktop) {
    QStringList order{QStringLiteral("xdg-terminal-exec"), QStringLiteral("x-terminal-emulator")};
    for (const QString &desktop : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        for (const auto &known : kDesktops) {
            if (desktop.compare(QLatin1String(known.desktop), Qt::CaseInsensitive) != 0) continue;
            for (const QString &name : words(known.terminals)) {
                if (!order.contains(name)) order << name;
            }
        }
    }
    for (const TerminalInfo &terminal : terminals()) {
        if (!order.contains(terminal.name)) order << terminal.name;
    }
    return order;
}

QStringList terminalProgramNames(const QString &terminalName) {
    const TerminalInfo *terminal = terminalByName(terminalName);
    if (!terminal) return {};
    return QStringList{terminal->name} + terminal->otherNames;
}

QStringList terminalArguments(const TerminalInfo &terminal, const QString &title,
                              const QStringList &command, const QString &helper) {
    // A terminal whose parsing is not known gets no word from the list file, the title included.
    const QString shown = terminal.form == Helper ? QString::fromLatin1(kHelperTitle) : title;
    QStringList arguments = terminal.fixed;
    if (terminal.titleOption.endsWith(u'=')) {
        arguments << terminal.titleOption + shown;
    } else if (!terminal.titleOption.isEmpty()) {
        arguments << terminal.titleOption << shown;
    }
    if (!terminal.commandOption.isEmpty()) arguments << terminal.commandOption;
    switch (terminal.form) {
        case Words:
            return arguments + command;
        case QuotedWords: {
            QStringList quoted;
            for (const QString &word : command) quoted << shellQuote(word);
            return arguments << quoted.join(u' ');
        }
        case Helper:
            return arguments << helper << helperWord(command);
    }
    return arguments;
}

QString helperWord(const QStringList &command) {
    QByteArray bytes;
    for (const QString &word : command) bytes += word.toUtf8() + '\0';
    return QString::fromLatin1(bytes.toHex());
}

bool isPlainWord(const QString &path) {
    if (path.isEmpty()) return false;
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        const bool plain = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                           (u >= u'0' && u <= u'9') || u == u'/' || u == u'.' || u == u'_' ||
                           u == u'-' || u == u'+';
        if (!plain) return false;
    }
    // A leading dash would read as an option, a leading tilde would be expanded.
    return !path.startsWith(u'-');
}

QStringList pingWindowCommand(const QString &shell, const QString &path,
                              const QStringList &pingWords) {
    return holdOpenCommand(shell, path, QStringLiteral("ping"), pingWords);
}

QStringList holdOpenCommand(const QString &shell, const QString &path, const QString &program,
                            const QStringList &words) {
    // `trap :` (not `trap ''`) so Ctrl+C still reaches ping with its default action while this
    // shell survives it to print the last line. PATH travels as an argument because a terminal
    // that hands the window to its running instance runs it in that instance's environment (and
    // the shell is an absolute path for the same reason: that PATH may hold relative folders).
    // Status 0 at the end, also when read finds no input: the window has opened, and norvex must
    // not open another one for the same click. (No HUP trap: the shell would wait for ping before
    // running it, where dying of HUP has the system end ping with the window.)
    const QString name = program.section(u'/', -1);
    const QString script =
        QStringLiteral("PATH=$1; export PATH; shift; trap : INT; %1 \"$@\"; echo; echo %2; "
                       "read -r reply; exit 0")
            .arg(isPlainWord(program) ? program : shellQuote(program),
                 shellQuote(name + QStringLiteral(" has ended. Press Enter to close this window.")));
    return QStringList{shell, QStringLiteral("-c"), script, QStringLiteral("norvex-ping"), path} +
           words;
}

QStringList holdOpenMessage(const QString &shell, const QString &message) {
    static const QString script = QStringLiteral(
        "printf '%s\\n\\nPress Enter to close this window.\\n' \"$1\"; read -r reply; exit 0");
    return QStringList{shell, QStringLiteral("-c"), script, QStringLiteral("norvex"), message};
}

QString shellQuote(const QString &word) {
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}
