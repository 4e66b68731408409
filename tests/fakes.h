#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "platform/filereader.h"
#include "platform/processlauncher.h"

// Hands out bytes by file name; any other name is missing.
class FakeFileReader : public FileReader {
public:
    FakeFileReader() = default;
    FakeFileReader(const QString &name, QByteArray bytes) { files[name] = std::move(bytes); }
    QByteArray readAll(const QString &name) override {
        requested << name;
        const auto it = files.constFind(name);
        if (it == files.constEnd()) throw FileError("no such file");
        return *it;
    }
    QMap<QString, QByteArray> files;
    QStringList requested;
};

// Records every start instead of starting anything.
class RecordingLauncher : public ProcessLauncher {
public:
    void start(const QString &commandLine, const QString &title) override {
        starts.emplace_back(commandLine, title);
    }
    std::vector<std::pair<QString, QString>> starts;  // command line, title
};

// Fails every start, as when no terminal program can be found.
class FailingLauncher : public ProcessLauncher {
public:
    void start(const QString &, const QString &) override {
        ++attempts;
        throw LaunchError("No terminal program was found on PATH.");
    }
    int attempts = 0;
};

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
