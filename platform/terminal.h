#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Terminal programs we know how to hand a command to, each in its own way.
enum class Terminal {
    XdgTerminalExec,
    Generic,  // an unknown x-terminal-emulator: Debian's rules promise -T and -e
    GnomeTerminal,
    Konsole,
    Xfce4Terminal,
    MateTerminal,
    Kitty,
    Alacritty,
    Foot,
    QTerminal,
    LxTerminal,
    Xterm,
    Terminator,
    Tilix,
};

// The names looked for on PATH, in order of preference.
QStringList terminalSearchOrder();

// Which terminal a program file is, by its name ("gnome-terminal.wrapper" is gnome-terminal);
// nothing for a name we do not know.
std::optional<Terminal> terminalForProgramName(const QString &fileName);

// The program name that terminal is started by.
QString terminalProgramName(Terminal terminal);

// The arguments that make the terminal run command (program and its arguments) with no shell
// parsing any word of it, titled title where the terminal takes a title.
QStringList terminalArguments(Terminal terminal, const QString &title, const QStringList &command);

// What the terminal runs for a ping: a fixed script that runs ping with the words as separate
// arguments (never parsed by the shell) and then keeps the window open until Enter is pressed,
// so the reason ping ended can be read. Ctrl+C still stops ping.
QStringList pingWindowCommand(const QStringList &pingWords);

// The words a Unix ping gets for a command line "ping.exe -t ADDRESS": the line split as the
// Windows C runtime would, less the program name and the -t (continuous is the default on Unix,
// where -t means a TTL or a timeout).
QStringList unixPingWords(const QString &commandLine);

// Quotes a word so a POSIX shell (or GLib's g_shell_parse_argv) reads it back unchanged.
QString shellQuote(const QString &word);
