#include "app/config/FileStore.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool closeChecked() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that a write must replace: the target of a symbolic link, else the path itself.
std::string resolveTarget(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

} // namespace

FileStore::ReadResult FileStore::read(const std::string& path) {
    ReadResult result;
    // Non-blocking so that a FIFO in the file's place cannot hang the open; regular files ignore it.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        result.status = (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Failed;
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.status = ReadStatus::Failed;
        return result;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.status = ReadStatus::Failed;
            result.bytes.clear();
            return result;
        }
        if (got == 0) {
            break;
        }
        result.bytes.append(buffer, static_cast<std::size_t>(got));
    }
    result.status = ReadStatus::Ok;
    return result;
}

bool FileStore::replace(const std::string& path, std::string_view bytes) {
    const std::string target = resolveTarget(path);
    mode_t mode = 0644;
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists) {
        // Root passes every access check, so a file without any write bit counts as read-only on its own.
        if (!S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
            return false;
        }
        mode = info.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }

    const std::string directory = directoryOf(target);
    std::string temporary = target + ".XXXXXX";
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) {
        return false;
    }
    if (exists) {
        // Only root may hand the new file back to the old one's owner; for anyone else it is theirs already.
        [[maybe_unused]] const int ignored = ::fchown(fd.get(), info.st_uid, info.st_gid);
    }
    const bool written = writeAll(fd.get(), bytes) && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0;
    if (!fd.closeChecked() || !written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Makes the rename itself durable; the file is already complete, so a failure here is not reported.
    FileDescriptor directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directoryFd.get() >= 0) {
        ::fsync(directoryFd.get());
    }
    return true;
}

} // namespace kelvora
