#include "platform/posix/terminallauncher.h"

#include <sys/wait.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "platform/posix/childprocess.h"
#include "platform/posix/searchpath.h"
#include "platform/posix/terminal.h"

TerminalLauncher::TerminalLauncher(QProcessEnvironment environment, QString helper, int earlyExitMs,
                                   QString probe)
    : m_environment(std::move(environment)),
      m_helper(std::move(helper)),
      m_probe(std::move(probe)),
      m_earlyExitMs(earlyExitMs),
      m_watchers(std::make_unique<QObject>()) {
    m_clock.start();
    ChildProcess::keepExitStatuses();
}

TerminalLauncher::~TerminalLauncher() = default;

std::unique_ptr<ProcessLauncher> makeSystemLauncher() {
    return std::make_unique<TerminalLauncher>();
}

namespace {

// A program installed relative to norvex's own folder (or, in a build folder, beside the
// binaries); empty when there is none.
QString besideNorvex(const QString &relative) {
    const QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty()) return {};
    const QFileInfo file(QDir(dir).filePath(relative));
    return file.isFile() && file.isExecutable() ? file.canonicalFilePath() : QString();
}

// The helper installed beside norvex.
QString installedHelper() {
    for (const QString &relative : {QStringLiteral(NORVEX_HELPER_FROM_BINDIR),
                                    QStringLiteral("libexec/norvex/terminal-command")}) {
        if (const QString found = besideNorvex(relative); !found.isEmpty()) return found;
    }
    return {};
}

struct Attempt {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;
    QString folder;  // where it starts
    bool spaced;     // the terminal's instance drops early requests: see kSpacedStartMs
};

// How long a start of a terminal whose running instance drops early requests waits after the
// one before: that one may have started the instance, which drops everything until its first
// window runs its command (deepin-terminal takes half a second for that on a busy two-core
// machine). Meanwhile the click's start would exit 0, its window never to open.
constexpr qint64 kSpacedStartMs = 2000;

// What a terminal wrote before it failed, short and on one line.
QString saidBy(const ChildProcess &terminal) {
    return QString::fromLocal8Bit(terminal.output().left(2048)).simplified();
}

QString failureText(const QString &program, int status, const QString &said) {
    QString text = WIFSIGNALED(status) ? QStringLiteral("%1 was killed by signal %2 at once")
                                             .arg(program)
                                             .arg(WTERMSIG(status))
                                       : QStringLiteral("%1 exited at once with status %2")
                                             .arg(program)
                                             .arg(WEXITSTATUS(status));
    return said.isEmpty() ? text : text + QStringLiteral(": ") + said;
}

QString notOpenedMessage(const QStringList &tried) {
    return QStringLiteral("No terminal program could open the window. Tried, in order: %1.")
        .arg(tried.join(QStringLiteral("; ")));
}

// A terminal started, as a ChildProcess::Setup (its output kept aside for the warning).
ChildProcess::Setup setupOf(const Attempt &attempt) {
    return {attempt.program, attempt.arguments, attempt.environment, attempt.folder,
            ChildProcess::Output::MemoryFile};
}

// Starts the attempts from index on, one after the other, until one starts; what each failure
// was is added to tried. A terminal left running when its object goes is never stopped.
std::optional<std::pair<size_t, std::unique_ptr<ChildProcess> > > startFrom(
    const std::vector<Attempt> &attempts, size_t index, QStringList &tried) {
    for (; index < attempts.size(); ++index) {
        auto terminal = std::make_unique<ChildProcess>(ChildProcess::OnDestroy::LeaveRunning);
        QString error;
        if (terminal->start(setupOf(attempts[index]), &error))
            return std::make_pair(index, std::move(terminal));
        tried << QStringLiteral("%1 (%2)").arg(attempts[index].program, error);
    }
    return std::nullopt;
}

// Watches a terminal just started: when it exits with a failure before earlyExitMs, the next
// attempt is started; when none is left, the failure is reported. A terminal still running then
// has opened its window: it is left to end when it will, reaped then, and this goes.
class Watcher : public QObject {
public:
    Watcher(QObject *parent, std::vector<Attempt> attempts, size_t index,
            std::unique_ptr<ChildProcess> terminal, QStringList tried, int earlyExitMs,
            std::function<void(const QString &)> report)
        : QObject(parent),
          m_attempts(std::move(attempts)),
          m_tried(std::move(tried)),
          m_report(std::move(report)) {
        m_window.setSingleShot(true);
        m_window.setInterval(earlyExitMs);
        QObject::connect(&m_window, &QTimer::timeout, this, [this] {
            m_terminal.reset();  // it opened its window: however it ends now, it is only reaped
            deleteLater();
        });
        watch(index, std::move(terminal));
    }

private:
    void watch(size_t index, std::unique_ptr<ChildProcess> terminal) {
        m_index = index;
        m_terminal = std::move(terminal);
        m_terminal->onFinished([this](int status) { ended(status); });
        m_window.start();
    }

    void ended(int status) {
        m_window.stop();
        // kStatusLost: it was reaped for us (SIGCHLD ignored after all) and how it ended is
        // lost; a second window would be worse than a missing warning.
        const bool failed =
            status != ChildProcess::kStatusLost && (!WIFEXITED(status) || WEXITSTATUS(status) != 0);
        if (!failed) {
            deleteLater();  // a client that handed the window on
            return;
        }
        m_tried << failureText(m_attempts[m_index].program, status, saidBy(*m_terminal));
        m_terminal.reset();
        if (auto next = startFrom(m_attempts, m_index + 1, m_tried)) {
            watch(next->first, std::move(next->second));
            return;
        }
        m_report(notOpenedMessage(m_tried));
        deleteLater();
    }

    std::vector<Attempt> m_attempts;
    size_t m_index = 0;
    std::unique_ptr<ChildProcess> m_terminal;
    QStringList m_tried;
    std::function<void(const QString &)> m_report;
    QTimer m_window;  // the early-exit window of the terminal watched
};

// Starts the first attempt that starts and watches it from the event loop; when none starts,
// says what each one did.
std::optional<QString> startAndWatch(QObject *watchers, std::vector<Attempt> attempts,
                                     QStringList tried, int earlyExitMs,
                                     std::function<void(const QString &)> report) {
    auto started = startFrom(attempts, 0, tried);
    if (!started) return notOpenedMessage(tried);
    // No event loop to watch it with: it counts as opened, and is reaped when it ends.
    if (!QCoreApplication::instance()) return std::nullopt;
    new Watcher(watchers, std::move(attempts), started->first, std::move(started->second), tried,
                earlyExitMs, std::move(report));
    return std::nullopt;
}

}  // namespace

void TerminalLauncher::start(const Host &host) { launch(host, Purpose::Click); }

void TerminalLauncher::startTraceRoute(const Host &host) { launch(host, Purpose::TraceRoute); }

void TerminalLauncher::launch(const Host &host, Purpose purpose) {
    const QStringList dirs = searchPath(m_environment);
    const QString path = dirs.join(u':');
    // The absolute sh of those folders; /bin/sh, which POSIX systems have, when there is none.
    QString shell = findExecutable(QStringLiteral("sh"), dirs);
    if (shell.isEmpty()) shell = QStringLiteral("/bin/sh");
    QStringList command;
    if (purpose == Purpose::TraceRoute) {
        const QString target = host.checkTarget();
        const QStringList tools{QStringLiteral("mtr"), QStringLiteral("traceroute"),
                                QStringLiteral("tracepath")};
        const auto found = std::find_if(tools.begin(), tools.end(), [&](const QString &tool) {
            return !findExecutable(tool, dirs).isEmpty();
        });
        if (target.isEmpty()) {
            command = holdOpenMessage(
                shell, QStringLiteral("The address \"%1\" names no host to trace.").arg(host.address));
        } else if (found == tools.end()) {
            command = holdOpenMessage(
                shell, QStringLiteral("No trace route program is installed. Install the Debian "
                                      "package mtr-tiny (or traceroute), then try again."));
        } else {
            command = holdOpenCommand(shell, path, *found, {QStringLiteral("--"), target});
        }
    } else if (const std::optional<PortTarget> port = host.portTarget()) {
        // A port row: the probe beside norvex, on the host and port alone.
        const QString probe = m_probe.isEmpty() ? besideNorvex(QStringLiteral("norvex-probe"))
                                                : m_probe;
        if (probe.isEmpty())
            throw LaunchError("norvex-probe is not installed beside norvex.");
        command = holdOpenCommand(shell, path, probe,
                                  {QStringLiteral("--"), port->host, QString::number(port->port)});
    } else {
        // No -t: Unix pings are continuous already, and there -t sets a TTL or a timeout.
        command = pingWindowCommand(shell, path, host.words());
    }
    // A fixed folder, never norvex's current one.
    const QString home = m_environment.value(QStringLiteral("HOME"));
    const QString folder =
        QDir::isAbsolutePath(home) && QFileInfo(home).isDir() ? home : QStringLiteral("/");
    // The terminal and its shell look ping up on PATH too: the same absolute folders only.
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("PATH"), path);
    const QString helper = m_helper.isEmpty() ? installedHelper() : m_helper;
    const bool helperUsable = isPlainWord(helper) && QFileInfo(helper).isExecutable();
    const bool wayland = !m_environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();

    std::vector<Attempt> attempts;
    QStringList lookedFor, skipped;
    for (const QString &name :
         terminalSearchOrder(m_environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")))) {
        for (const QString &program : terminalProgramNames(name)) {
            lookedFor << program;
            QString found = findExecutable(program, dirs);
            if (found.isEmpty()) continue;
            const TerminalInfo *terminal = terminalByName(name);
            if (name == u"x-terminal-emulator") {
                // A link to some real terminal: use that one's own way, and its real program
                // rather than a wrapper script around it.
                // A wrapper whose terminal is not on PATH stays a terminal we do not know: what
                // it makes of the real one's arguments is not ours to know.
                const QFileInfo target(QFileInfo(found).canonicalFilePath());
                if (const TerminalInfo *known = terminalForProgramName(target.fileName())) {
                    const bool wrapper = target.fileName().endsWith(QStringLiteral(".wrapper"));
                    const QString own =
                        wrapper ? findExecutable(known->name, dirs) : target.filePath();
                    if (!own.isEmpty()) {
                        terminal = known;
                        found = own;
                    }
                }
            }
            if (terminal->needsWayland && !wayland) {
                skipped << QStringLiteral("%1 (needs a Wayland session)").arg(found);
                continue;
            }
            if (terminal->form == CommandForm::Helper && !helperUsable) {
                skipped << QStringLiteral(
                               "%1 (norvex's terminal-command helper is missing or its "
                               "path is not plain)")
                               .arg(found);
                continue;
            }
            attempts.push_back({found, terminalArguments(*terminal, host.title(), command, helper),
                                environment, folder, terminal->dropsEarlyRequests});
        }
    }

    if (attempts.empty() && skipped.isEmpty()) {
        throw LaunchError(
            QStringLiteral("No terminal program was found on PATH. Looked for, in order: %1.")
                .arg(lookedFor.join(QStringLiteral(", ")))
                .toStdString());
    }
    auto report = [this, host](const QString &why) { reportLateFailure(host, why); };
    if (!attempts.empty() && attempts.front().spaced && QCoreApplication::instance()) {
        const qint64 now = m_clock.elapsed();
        const qint64 at = std::max(now, m_nextSpacedStart);
        m_nextSpacedStart = at + kSpacedStartMs;
        if (at > now) {
            // Later, from the event loop: what goes wrong then is reported late.
            QTimer::singleShot(
                at - now, m_watchers.get(),
                [this, attempts = std::move(attempts), skipped, report] {
                    if (const auto failed = startAndWatch(m_watchers.get(), attempts, skipped,
                                                          m_earlyExitMs, report))
                        report(*failed);
                });
            return;
        }
    }
    if (const auto failed =
            startAndWatch(m_watchers.get(), std::move(attempts), skipped, m_earlyExitMs, report))
        throw LaunchError(failed->toStdString());
}
