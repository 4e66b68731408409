#include "platform/systemfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace {

[[noreturn]] void failWithErrno() {
    throw LoadError(QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

SystemFile::SystemFile(const QString &name) {
    const QByteArray path = QFile::encodeName(name);
    // Non-blocking open: opening a FIFO for reading would otherwise wait for a writer forever.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) failWithErrno();
    m_handle = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        failWithErrno();
    }
    QString refusal;
    if (S_ISDIR(st.st_mode))
        refusal = QStringLiteral("it is a folder, not a file");
    else if (!S_ISREG(st.st_mode))
        refusal = QStringLiteral("it is not a regular file");
    if (!refusal.isEmpty()) {
        ::close(fd);
        throw LoadError(refusal);
    }
    m_size = st.st_size;
}

SystemFile::~SystemFile() { ::close(static_cast<int>(m_handle)); }

qint64 SystemFile::read(char *buffer, qint64 maxBytes) {
    for (;;) {
        const ssize_t got =
            ::read(static_cast<int>(m_handle), buffer, static_cast<size_t>(maxBytes));
        if (got >= 0) return got;
        if (errno != EINTR) failWithErrno();
    }
}
