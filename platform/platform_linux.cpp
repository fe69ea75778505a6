#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/encoding.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "platform/text.h"

extern char** environ;

namespace harvix::platform {

std::string DecimalSeparator() {
    const char* p = localeconv()->decimal_point;
    return p && *p ? p : ".";
}

std::string DateSeparator() {
    const char* fmt = nl_langinfo(D_FMT);
    return DateSeparatorOf(fmt ? fmt : "");
}

std::optional<std::string> GetEnv(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    if (!v) return std::nullopt;
    return ToValidUtf8(v);
}

std::string FallbackComputerName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) return std::string();
    std::string name = host;
    return ToValidUtf8(name.substr(0, name.find('.')));
}

std::string FallbackUserName() {
    if (const passwd* pw = getpwuid(geteuid())) return ToValidUtf8(pw->pw_name);
    return std::to_string(geteuid());
}

std::string ProgramFolder() {
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0)
        throw HarvixError(std::string("Dossier du programme introuvable : ") +
                          std::strerror(errno));
    buf.resize(static_cast<std::size_t>(n));
    std::size_t slash = buf.rfind('/');
    return slash == 0 ? std::string("/") : buf.substr(0, slash);
}

const char* PathSeparator() {
    return "/";
}

std::string EncodeForReport(const std::string& utf8) {
    return EncodeWindows1252(utf8);
}

std::FILE* OpenReportFile(const std::string& path, bool append) {
    std::FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (!f)
        throw HarvixError("Impossible d'ouvrir le rapport " + path + " : " + std::strerror(errno));
    return f;
}

std::shared_ptr<void> ClaimReport(const std::string& reportPath, int waitSeconds) {
    // An flock on the report itself; the writers' own opens are not affected by it.
    int fd = open(reportPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return nullptr;  // the header's open will say why
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {  // a file system without locks: run unclaimed
            close(fd);
            return nullptr;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            close(fd);
            throw HarvixError(ClaimWaitExpired(reportPath, waitSeconds));
        }
        usleep(50 * 1000);
    }
    return std::shared_ptr<void>(new int(fd), [](void* p) {
        int* held = static_cast<int*>(p);
        close(*held);  // releases the lock
        delete held;
    });
}

LocalDate Today() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900};
}

void OpenFolder(const std::string& folderWithSeparator) {
    std::string prog = "xdg-open";
    char* argv[] = {prog.data(), const_cast<char*>(folderWithSeparator.c_str()), nullptr};
    pid_t pid;
    int rc = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
    if (rc != 0)
        throw HarvixError("Impossible de lancer xdg-open : " + std::string(std::strerror(rc)));
}

}  // namespace harvix::platform
