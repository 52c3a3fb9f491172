#include "data/DatabaseError.h"
#include "data/FileSync.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>

namespace kelvora::file_sync {

namespace {

void syncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
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

} // namespace

void syncFile(const QString& path) {
    syncPath(path, O_RDONLY);
}

void syncDirectory(const QString& path) {
    syncPath(path, O_RDONLY | O_DIRECTORY);
}

void replaceFile(const QString& from, const QString& to) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw DatabaseError(
            QStringLiteral("Cannot move '%1' to '%2': %3").arg(from, to, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace kelvora::file_sync
