#include "platform/posix/searchpath.h"

#include <QDir>
#include <QFileInfo>

QStringList searchPath(const QProcessEnvironment &environment) {
    QStringList dirs;
    for (const QString &dir : environment.value(QStringLiteral("PATH")).split(u':')) {
        if (QDir::isAbsolutePath(dir)) dirs << dir;
    }
    return dirs;
}

QString findExecutable(const QString &name, const QStringList &dirs) {
    for (const QString &dir : dirs) {
        const QFileInfo file(QDir(dir).filePath(name));
        if (file.isFile() && file.isExecutable()) return file.filePath();
    }
    return {};
}
