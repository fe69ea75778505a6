// The atomic file replacement and the clock, on Linux.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/error.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace harvix::platform {

namespace {

[[noreturn]] void Fail(const std::string& path, int err) {
    throw HarvixError("Impossible d'écrire le fichier " + path + " : " + std::strerror(err));
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

LocalDateTime Now() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void ReplaceFileWith(const std::string& path, const std::string& bytes) {
    // Beside the target, so that the rename stays on one file system.
    const std::string temp = TemporaryBeside(path, static_cast<unsigned long>(getpid()));
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) Fail(path, errno);
    bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
    int err = errno;
    if (close(fd) != 0 && written) {
        written = false;
        err = errno;
    }
    if (written && rename(temp.c_str(), path.c_str()) == 0) return;
    if (written) err = errno;
    unlink(temp.c_str());
    Fail(path, err);
}

}  // namespace harvix::platform
