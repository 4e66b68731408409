#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The absolute folders of environment's PATH, in order. An empty or relative entry would find
// programs planted in the current folder, which is often where a list file came from.
QStringList searchPath(const QProcessEnvironment &environment);

// The first executable file called name in dirs; empty when there is none (and when there are no
// dirs: unlike QStandardPaths, no other PATH is tried).
QString findExecutable(const QString &name, const QStringList &dirs);
