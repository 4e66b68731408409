#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "history/sessionhistory.h"
#include "platform/filereader.h"
#include "platform/hostcheck.h"
#include "platform/notifier.h"
#include "platform/processlauncher.h"

// Hands out bytes by file name; any other name is missing.
class FakeFileReader : public FileReader {
public:
    FakeFileReader() = default;
    FakeFileReader(const QString &name, QByteArray bytes) { files[name] = std::move(bytes); }
    QByteArray readAll(const QString &name) override {
        requested << name;
        const auto it = files.constFind(name);
        if (it == files.constEnd()) throw LoadError(QStringLiteral("no such file"));
        return *it;
    }
    // Keeps the window's callback, for a test to call as a change on disk would.
    std::unique_ptr<QObject> watch(const QString &name, std::function<void()> changed) override {
        watched = name;
        ++watches;
        fileChanged = std::move(changed);
        return std::make_unique<QObject>();
    }
    QMap<QString, QByteArray> files;
    QStringList requested;
    QString watched;
    int watches = 0;
    std::function<void()> fileChanged;
};

// QStrings in GoogleTest's messages as text rather than bytes.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

// A clock at a fixed offset from UTC (+01:00, whatever the machine's zone), moved on by hand.
class FakeWallClock : public WallClock {
public:
    QDateTime now() const override { return at; }
    void advance(qint64 ms) { at = at.addMSecs(ms); }
    QDateTime at{QDate(2026, 12, 7), QTime(9, 0), Qt::OffsetFromUTC, 3600};
};

// Records notices, and whether it was told that watching is on.
class FakeNotifier : public Notifier {
public:
    void notify(const QString &summary, const QString &body) override {
        notices << summary + u'|' + body;
    }
    void setWatching(bool on) override { watching = on; }
    QStringList notices;
    bool watching = false;
};

// Records every start instead of starting anything.
class RecordingLauncher : public ProcessLauncher {
public:
    void start(const Host &host) override { starts.push_back(host); }
    void startTraceRoute(const Host &host) override { traces.push_back(host); }
    std::vector<Host> starts;
    std::vector<Host> traces;
};

// Fails every start, as when no terminal program can be found.
class FailingLauncher : public ProcessLauncher {
public:
    void start(const Host &) override {
        ++attempts;
        throw LaunchError("No terminal program was found on PATH.");
    }
    void startTraceRoute(const Host &host) override { start(host); }
    int attempts = 0;
};

// Runs the event loop until done() or timeoutMs.
template <typename Done>
void runUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

// A mark's words about its last result, with the time it came and the session's figures after
// it taken out; "no time" when they give no time.
inline QString withoutTime(QString words) {
    static const QRegularExpression at(QStringLiteral(" at \\d\\d:\\d\\d:\\d\\d"));
    static const QRegularExpression session(
        QStringLiteral("; \\d+ of \\d+ lost(, average [0-9.]+ ms)?"));
    return words.contains(at) ? words.remove(at).remove(session) : QStringLiteral("no time");
}

// A list text: the lines joined with CR LF, each line ended by one.
inline QByteArray crlfLines(const QStringList &lines) {
    QByteArray bytes;
    for (const QString &line : lines) bytes += line.toUtf8() + "\r\n";
    return bytes;
}

// n entry lines "host1=127.0.0.1" ... after a marker line.
inline QStringList entryLines(int n) {
    QStringList lines{QStringLiteral("[LIST]")};
    for (int i = 1; i <= n; ++i)
        lines << QStringLiteral("host%1=127.0.%2.%3").arg(i).arg(i / 256).arg(i % 256);
    return lines;
}

// Writes a file of these bytes in dir and returns its path.
inline QString writeFile(const QTemporaryDir &dir, const char *name, const QByteArray &bytes) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
    return path;
}

// Why reader refuses the file: the reason its message gives after the file's name, without the
// full stop; empty when it reads the file.
inline std::string refusal(FileReader &reader, const QString &name) {
    try {
        reader.readAll(name);
        return {};
    } catch (const LoadError &e) {
        const std::string what = e.what();
        const size_t start = what.find("\": ");
        std::string reason = start == std::string::npos ? what : what.substr(start + 3);
        if (!reason.empty() && reason.back() == '.') reason.pop_back();
        return reason;
    }
}
inline std::string refusal(FileReader &&reader, const QString &name) {
    return refusal(reader, name);
}

// Answers every check as told, after a pause, from the event loop; counts what is under way.
class FakeChecker : public HostChecker {
public:
    struct Answer {
        CheckResult result;
        int delayMs = 0;
    };
    // By host name, a port row's as "HOST port PORT"; any other answers at once.
    std::map<QString, Answer> answers;
    QStringList asked;  // every target checked, in order
    int sweeps = 0;     // sweeps started
    int underWay = 0;   // targets whose result has not come
    int mostUnderWay = 0;

    std::unique_ptr<PendingCheck> sweep(std::vector<CheckTarget> targets, Each each) override {
        ++sweeps;
        auto run = std::make_unique<Run>(*this);
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const CheckTarget &t = targets[i];
            const QString name =
                t.port ? QStringLiteral("%1 port %2").arg(t.host).arg(t.port) : t.host;
            asked << name;
            const auto found = answers.find(name);
            const Answer answer = found == answers.end()
                                      ? Answer{{CheckResult::State::Answered, 1, QString()}, 0}
                                      : found->second;
            run->add(i, answer, each);
        }
        return run;
    }

private:
    class Run : public PendingCheck {
    public:
        explicit Run(FakeChecker &checker) : m_checker(checker) {}
        void add(std::size_t index, const Answer &answer, const Each &each) {
            ++m_left;
            m_checker.mostUnderWay = std::max(m_checker.mostUnderWay, ++m_checker.underWay);
            QTimer::singleShot(answer.delayMs, &m_context, [this, index, answer, each] {
                --m_left;
                --m_checker.underWay;
                each(index, answer.result);
            });
        }
        ~Run() override { m_checker.underWay -= m_left; }

    private:
        FakeChecker &m_checker;
        int m_left = 0;
        QObject m_context;
    };
};
