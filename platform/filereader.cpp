#include "platform/filereader.h"

#include <QFile>

#ifdef Q_OS_WIN
#include "platform/win/winfile.h"
#endif

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#endif

namespace {

[[noreturn]] void fail(const QString &name, const QString &why) {
    // A NUL would end the message wherever it is shown as a C string.
    QString shown = name;
    shown.replace(QChar(0), QStringLiteral("\\0"));
    throw FileError(QStringLiteral("Cannot read \"%1\": %2.").arg(shown, why).toStdString());
}

#ifdef Q_OS_UNIX
QString tooLarge(qint64 maxBytes) {
    return QStringLiteral("the file is larger than %1 MiB").arg(maxBytes / (qint64{1024} * 1024));
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }
#endif

}  // namespace

QByteArray RealFileReader::readAll(const QString &name) {
    if (name.isEmpty()) fail(name, QStringLiteral("no file name was given"));
    // The system would stop reading the name at the NUL and open some other file.
    if (name.contains(QChar(0))) fail(name, QStringLiteral("the name contains a NUL character"));
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(name);
    // Non-blocking open: opening a FIFO for reading would otherwise wait for a writer forever.
    Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) fail(name, errnoText());
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) fail(name, errnoText());
    if (S_ISDIR(st.st_mode)) fail(name, QStringLiteral("it is a folder, not a file"));
    if (!S_ISREG(st.st_mode)) fail(name, QStringLiteral("it is not a regular file"));
    if (st.st_size > m_maxBytes) fail(name, tooLarge(m_maxBytes));

    // Read straight into the result; one byte more than the size shows a file that grew.
    QByteArray bytes(static_cast<qsizetype>(st.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > m_maxBytes) fail(name, tooLarge(m_maxBytes));
            bytes.resize(std::min<qint64>(bytes.size() * 2 + 65536, m_maxBytes + 1));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail(name, errnoText());
        if (got == 0) break;
        filled += got;
    }
    if (filled > m_maxBytes) fail(name, tooLarge(m_maxBytes));
    bytes.truncate(filled);
    return bytes;
#else
    std::string bytes;
    std::wstring error;
    if (!readRegularFile(name.toStdWString(), static_cast<std::uint64_t>(m_maxBytes), &bytes,
                         &error))
        fail(name, QString::fromStdWString(error));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
#endif
}
