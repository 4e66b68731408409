#include "platform/reallauncher.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_WIN
#include "platform/win/winlaunch.h"
#else
#include "platform/terminal.h"
#endif

#ifdef Q_OS_WIN

void RealProcessLauncher::start(const QString &commandLine, const QString &) {
    std::wstring error;
    if (!startInNewConsole(L"ping.exe", commandLine.toStdWString(), &error))
        throw LaunchError(QString::fromStdWString(error).toStdString());
}

#else

namespace {

// Absolute PATH entries only: an empty or relative entry would find programs planted in the
// current directory, which is often where a list file came from.
QStringList searchPath(const QProcessEnvironment &environment) {
    QStringList dirs;
    for (const QString &dir : environment.value(QStringLiteral("PATH")).split(u':')) {
        if (QDir::isAbsolutePath(dir)) dirs << dir;
    }
    return dirs;
}

// Like QStandardPaths::findExecutable, except that no folders means nothing is found (Qt would
// fall back to the process's own PATH).
QString findExecutable(const QString &name, const QStringList &dirs) {
    for (const QString &dir : dirs) {
        const QFileInfo file(QDir(dir).filePath(name));
        if (file.isFile() && file.isExecutable()) return file.filePath();
    }
    return {};
}

struct Candidate {
    Terminal terminal;
    QString program;
};

// x-terminal-emulator is a link to some real terminal; use that terminal's own way of taking a
// command, and its real program rather than a wrapper script around it.
Candidate resolveEmulator(const QString &path, const QStringList &dirs) {
    const QFileInfo target(QFileInfo(path).canonicalFilePath());
    const std::optional<Terminal> known = terminalForProgramName(target.fileName());
    if (!known) return {Terminal::Generic, path};
    const QString own = findExecutable(terminalProgramName(*known), dirs);
    const bool wrapper = target.fileName().endsWith(QStringLiteral(".wrapper"));
    return {*known, wrapper && !own.isEmpty() ? own : target.filePath()};
}

}  // namespace

void RealProcessLauncher::start(const QString &commandLine, const QString &title) {
    const QStringList dirs = searchPath(m_environment);
    const QStringList command = pingWindowCommand(unixPingWords(commandLine));
    // The terminal and its shell look ping up on PATH too: the same absolute folders only.
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("PATH"), dirs.join(u':'));
    QStringList tried;
    for (const QString &name : terminalSearchOrder()) {
        const QString path = findExecutable(name, dirs);
        if (path.isEmpty()) continue;
        const Candidate candidate = name == u"x-terminal-emulator"
                                        ? resolveEmulator(path, dirs)
                                        : Candidate{*terminalForProgramName(name), path};
        QProcess process;
        process.setProgram(candidate.program);
        process.setArguments(terminalArguments(candidate.terminal, title, command));
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        if (process.startDetached()) return;
        tried << QStringLiteral("%1 (%2)").arg(candidate.program, process.errorString());
    }
    if (tried.isEmpty()) {
        throw LaunchError(QStringLiteral("No terminal program was found on PATH. Looked for: %1.")
                              .arg(terminalSearchOrder().join(QStringLiteral(", ")))
                              .toStdString());
    }
    throw LaunchError(QStringLiteral("No terminal program could be started. Tried: %1.")
                          .arg(tried.join(QStringLiteral("; ")))
                          .toStdString());
}

#endif
