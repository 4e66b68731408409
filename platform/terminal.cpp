#include "platform/terminal.h"

#include <array>

#include "platform/cmdsplit.h"

namespace {

struct Known {
    Terminal terminal;
    const char16_t *name;
};

constexpr std::array kKnown = {
    Known{Terminal::XdgTerminalExec, u"xdg-terminal-exec"},
    Known{Terminal::Generic, u"x-terminal-emulator"},
    Known{Terminal::GnomeTerminal, u"gnome-terminal"},
    Known{Terminal::Konsole, u"konsole"},
    Known{Terminal::Xfce4Terminal, u"xfce4-terminal"},
    Known{Terminal::MateTerminal, u"mate-terminal"},
    Known{Terminal::Kitty, u"kitty"},
    Known{Terminal::Alacritty, u"alacritty"},
    Known{Terminal::Foot, u"foot"},
    Known{Terminal::QTerminal, u"qterminal"},
    Known{Terminal::LxTerminal, u"lxterminal"},
    Known{Terminal::Xterm, u"xterm"},
    // Not searched for, but x-terminal-emulator may lead to them.
    Known{Terminal::Terminator, u"terminator"},
    Known{Terminal::Tilix, u"tilix"},
};
constexpr qsizetype kSearched = 12;

}  // namespace

QStringList terminalSearchOrder() {
    QStringList names;
    for (qsizetype i = 0; i < kSearched; ++i) names << QString::fromUtf16(kKnown[i].name);
    return names;
}

std::optional<Terminal> terminalForProgramName(const QString &fileName) {
    QString name = fileName;
    if (name.endsWith(QStringLiteral(".wrapper"))) name.chop(8);
    for (const Known &k : kKnown) {
        if (k.terminal != Terminal::Generic && name == QStringView(k.name)) return k.terminal;
    }
    // xterm's Debian variants take xterm's options.
    if (name == u"uxterm" || name == u"lxterm" || name == u"koi8rxterm") return Terminal::Xterm;
    return std::nullopt;
}

QString terminalProgramName(Terminal terminal) {
    for (const Known &k : kKnown) {
        if (k.terminal == terminal) return QString::fromUtf16(k.name);
    }
    return {};
}

QStringList terminalArguments(Terminal terminal, const QString &title, const QStringList &command) {
    const QString longTitle = QStringLiteral("--title=") + title;
    switch (terminal) {
        case Terminal::XdgTerminalExec:
            return command;
        case Terminal::GnomeTerminal:
        case Terminal::MateTerminal:
        case Terminal::Kitty:
        case Terminal::Foot:
            return QStringList{longTitle, QStringLiteral("--")} + command;
        case Terminal::Xfce4Terminal:
            return QStringList{longTitle, QStringLiteral("-x")} + command;
        case Terminal::Konsole:
        case Terminal::QTerminal:
            return QStringList{QStringLiteral("-e")} + command;
        case Terminal::Alacritty:
        case Terminal::LxTerminal:
            return QStringList{longTitle, QStringLiteral("-e")} + command;
        case Terminal::Xterm:
        case Terminal::Generic:
            return QStringList{QStringLiteral("-T"), title, QStringLiteral("-e")} + command;
        case Terminal::Terminator:
            // -u: a new process of its own; a running instance would run the words through $SHELL.
            return QStringList{QStringLiteral("-u"), longTitle, QStringLiteral("-x")} + command;
        case Terminal::Tilix: {
            // Tilix joins and re-parses its command, so each word goes quoted.
            QStringList quoted;
            for (const QString &word : command) quoted << shellQuote(word);
            return {longTitle, QStringLiteral("-e"), quoted.join(u' ')};
        }
    }
    return command;
}

QStringList pingWindowCommand(const QStringList &pingWords) {
    // `trap :` (not `trap ''`) so Ctrl+C still reaches ping with its default action while this
    // shell survives it to print the last line.
    static const QString script = QStringLiteral(
        "trap : INT; ping \"$@\"; echo; echo 'ping has ended. Press Enter to close this window.'; "
        "read -r reply");
    return QStringList{QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("ping")} +
           pingWords;
}

QStringList unixPingWords(const QString &commandLine) {
    // "ping.exe -t " holds no quote or backslash, so splitting the whole line splits the address
    // exactly as splitting it alone would.
    QStringList words = splitWindowsCommandLine(commandLine);
    if (!words.isEmpty() && words.first() == u"ping.exe") words.removeFirst();
    if (!words.isEmpty() && words.first() == u"-t") words.removeFirst();
    return words;
}

QString shellQuote(const QString &word) {
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}
