#include "song/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

bool writeFileAtomically(const std::string& path, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (path.empty()) return false;
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    // Replacing a file keeps its permissions.
    struct stat old;
    if (stat(path.c_str(), &old) == 0) (void)fchmod(fd, old.st_mode & 07777);

    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += size_t(n);
    }
    if (ok && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)fsync(dirFd);
        close(dirFd);
    }
    return true;
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}

bool writeFileAtomically(const std::string& path, const std::string& text) {
    return writeFileAtomically(path, text.data(), text.size());
}
