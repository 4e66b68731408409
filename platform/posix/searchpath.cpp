#include "platform/posix/searchpath.h"

#include <QDir>
#include <QStandardPaths>

QStringList searchPath(const QProcessEnvironment &environment) {
    QStringList dirs;
    for (const QString &dir : environment.value(QStringLiteral("PATH")).split(u':')) {
        if (QDir::isAbsolutePath(dir)) dirs << dir;
    }
    return dirs;
}

QString findExecutable(const QString &name, const QStringList &dirs) {
    // Given no folders, QStandardPaths would search norvex's own PATH.
    if (dirs.isEmpty()) return {};
    return QStandardPaths::findExecutable(name, dirs);
}
