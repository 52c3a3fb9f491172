#include "data/DatabaseError.h"
#include "data/FileSync.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>

namespace kelvora::file_sync {

void syncFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw DatabaseError(
            QStringLiteral("Cannot open '%1' to flush it: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0)
        throw DatabaseError(
            QStringLiteral("Cannot flush '%1' to disk: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

void replaceFile(const QString& from, const QString& to) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw DatabaseError(
            QStringLiteral("Cannot move '%1' to '%2': %3").arg(from, to, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace kelvora::file_sync
