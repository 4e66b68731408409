#include "platform/filereader.h"

#include <algorithm>

#include "platform/filewatch.h"
#include "platform/systemfile.h"

namespace {

[[noreturn]] void fail(const QString &name, const QString &why) {
    // A NUL would end the message wherever it is shown as a C string.
    QString shown = name;
    shown.replace(QChar(0), QStringLiteral("\\0"));
    throw LoadError(QStringLiteral("Cannot read \"%1\": %2.").arg(shown, why));
}

QString tooLarge(qint64 maxBytes) {
    return QStringLiteral("the file is larger than %1 MiB").arg(maxBytes / (qint64{1024} * 1024));
}

// The file's bytes; LoadError with the reason alone when it cannot be read.
QByteArray readRegularFile(const QString &name, qint64 maxBytes) {
    SystemFile file(name);
    if (file.size() > maxBytes) throw LoadError(tooLarge(maxBytes));
    // Read straight into the result; one byte more than the size shows a file that grew.
    QByteArray bytes(static_cast<qsizetype>(file.size()) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxBytes) throw LoadError(tooLarge(maxBytes));
            bytes.resize(std::min<qint64>(bytes.size() * 2 + 65536, maxBytes + 1));
        }
        const qint64 got = file.read(bytes.data() + filled, bytes.size() - filled);
        if (got == 0) break;
        filled += got;
    }
    if (filled > maxBytes) throw LoadError(tooLarge(maxBytes));
    bytes.truncate(filled);
    return bytes;
}

}  // namespace

QByteArray RealFileReader::readAll(const QString &name) {
    if (name.isEmpty()) fail(name, QStringLiteral("no file name was given"));
    // The system would stop reading the name at the NUL and open some other file.
    if (name.contains(QChar(0))) fail(name, QStringLiteral("the name contains a NUL character"));
    try {
        return readRegularFile(name, m_maxBytes);
    } catch (const LoadError &e) {
        fail(name, e.why());
    }
}

std::unique_ptr<QObject> RealFileReader::watch(const QString &name, std::function<void()> changed) {
    // Names readAll() refuses out of hand never become a file worth watching.
    if (name.isEmpty() || name.contains(QChar(0))) return nullptr;
    return std::make_unique<FileWatch>(name, std::move(changed));
}
