#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

// How a terminal program takes the command it is to run.
enum class CommandForm {
    // The command's words follow as arguments of their own, each reaching the program unchanged.
    Words,
    // One argument: the words, each quoted for a POSIX shell, joined by spaces. The terminal
    // re-parses it (with a shell or with GLib's g_shell_parse_argv, which read such quoting alike).
    QuotedWords,
    // Two plain words: the helper's path and helperWord() of the command, which the helper decodes
    // and runs. For terminals whose parsing of the command is unknown or differs between their
    // versions: a plain word reads the same however it is parsed.
    Helper,
};

// One terminal program and its own way of running a command without a shell.
struct TerminalInfo {
    QString name;            // the program looked for on PATH, and how the user knows it
    QStringList otherNames;  // its other program names, also looked for, in order
    QStringList aliases;     // names recognised behind x-terminal-emulator but not looked for
    QStringList fixed;       // arguments that always come first
    QString titleOption;    // "--title=" (joined to the title) or "-T" (a word before it); "": none
    QString commandOption;  // what precedes the command; "": the command follows the options
    CommandForm form;
    bool needsWayland;  // starts only in a Wayland session
    bool unknown;       // the x-terminal-emulator fallback: a terminal we do not know
    // Its running instance drops what later starts hand it until its first window runs its
    // command, and those starts exit 0 all the same.
    bool dropsEarlyRequests;
};

// Every terminal we know, looked up by the name the user knows it by (xdg-terminal-exec,
// x-terminal-emulator and "unknown" are the launchers and the fallback for a terminal we do not
// know); null for any other name.
const TerminalInfo *terminalByName(const QString &name);

// The terminal a program file is, by its file name ("gnome-terminal.wrapper" is gnome-terminal,
// "stterm" is st); null for a program we do not know.
const TerminalInfo *terminalForProgramName(const QString &fileName);

// The terminals to try, by name, in order: the two launchers, then the running desktop's own
// terminals (from XDG_CURRENT_DESKTOP's value, a colon-separated list), then every other one.
QStringList terminalSearchOrder(const QString &currentDesktop);

// The program names looked for on PATH for a terminal of the search order, in order.
QStringList terminalProgramNames(const QString &terminalName);

// The title of every CommandForm::Helper terminal, which is given nothing from the list file.
inline constexpr char kHelperTitle[] = "norvex ping";

// The arguments that make the terminal run command (program and its arguments) with no shell
// parsing any word of it, titled title where the terminal takes a title. Everything the command
// needs is in these arguments, none of it in the environment: a terminal may hand them to an
// instance already running, which runs them with its own. For CommandForm::Helper the words given
// are helper and helperWord(command), and the title is kHelperTitle.
QStringList terminalArguments(const TerminalInfo &terminal, const QString &title,
                              const QStringList &command, const QString &helper);

// The command as one plain word for the helper: the hex digits of each word's UTF-8 bytes followed
// by a NUL byte.
QString helperWord(const QStringList &command);

// True when a shell or GLib reads path as the same one word without any quoting.
bool isPlainWord(const QString &path);

// What the terminal runs for a ping: shell (an absolute path) with a fixed script that sets PATH
// to path, runs ping with the words as separate arguments (never parsed by the shell) and then
// keeps the window open until Enter is pressed, so the reason ping ended can be read. Ctrl+C
// still stops ping. It ends with status 0 however ping ended, also when it finds no input to
// wait for, so a terminal that passes on its command's status never looks as if it had failed.
QStringList pingWindowCommand(const QString &shell, const QString &path,
                              const QStringList &pingWords);
// The same window for another program: program (a name looked up on path, or an absolute path)
// with words, and the last line names it.
QStringList holdOpenCommand(const QString &shell, const QString &path, const QString &program,
                            const QStringList &words);
// A window that only shows message, until Enter is pressed.
QStringList holdOpenMessage(const QString &shell, const QString &message);

// Quotes a word so a POSIX shell (or GLib's g_shell_parse_argv) reads it back unchanged.
QString shellQuote(const QString &word);
