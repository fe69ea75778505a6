// The index's file seam on Linux: the POSIX calls and their errors in French.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "index/files.h"
#include "index/files_os.h"
#include "platform/encoding.h"
#include "wmi/modWMI.h"

namespace harvix::index {

namespace {

std::string Reason(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
            return "accès refusé";
        case ENOENT:
            return "fichier introuvable (lien cassé ?)";
        case ELOOP:
            return "lien symbolique en boucle";
        case EBUSY:
        case ETXTBSY:
        case EAGAIN:
            return "fichier verrouillé";
        case EIO:
            return "erreur de lecture du support";
        default:
            return std::string("illisible (") + std::strerror(err) + ")";
    }
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) throw HarvixError("Impossible de lire le dossier " + folder + " : " + Reason(errno));
    std::vector<FolderEntry> out;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        // A name in another encoding is shown valid, and opened by its own bytes.
        std::string shown = platform::ToValidUtf8(name);
        out.push_back({shown, shown == name ? std::string() : name});
    }
    closedir(dir);
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.Name < b.Name; });
    return out;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

namespace os {

Opened OpenToRead(const std::string& path) {
    Opened r;
    // Non-blocking, so a pipe named like a report cannot hold the run.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        r.Reason = Reason(errno);
        return r;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0)
        r.Reason = Reason(errno);
    else if (S_ISDIR(st.st_mode))
        r.Reason = "c'est un dossier";
    else if (!S_ISREG(st.st_mode))
        r.Reason = "pas un fichier ordinaire";
    if (!r.Reason.empty()) {
        close(fd);
        return r;
    }
    r.File = fd;
    r.Size = static_cast<std::uint64_t>(st.st_size);
    return r;
}

long long ReadSome(Handle h, char* into, std::size_t n, std::string& reason) {
    for (;;) {
        ssize_t got = read(static_cast<int>(h), into, n);
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        reason = Reason(errno);
        return -1;
    }
}

long long WriteSome(Handle h, const char* from, std::size_t n, std::string& reason) {
    ssize_t done = write(static_cast<int>(h), from, n);
    if (done >= 0) return done;
    if (errno == EINTR) return 0;
    reason = std::strerror(errno);
    return -1;
}

void Close(Handle h) {
    close(static_cast<int>(h));
}

Handle CreateNew(const std::string& path, std::string& reason) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) reason = Reason(errno);
    return fd < 0 ? kNoHandle : fd;
}

std::string FinishWrite(Handle h, bool sync) {
    std::string failed;
    if (sync && fsync(static_cast<int>(h)) != 0) failed = std::strerror(errno);
    if (close(static_cast<int>(h)) != 0 && failed.empty()) failed = std::strerror(errno);
    return failed;
}

bool Replace(const std::string& from, const std::string& to, std::string& reason) {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    reason = Reason(errno);
    return false;
}

bool MoveTo(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

void Remove(const std::string& path) {
    unlink(path.c_str());
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}

Handle OpenLockFile(const std::string& path, std::string& reason) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) reason = Reason(errno);
    return fd < 0 ? kNoHandle : fd;
}

bool TryLock(Handle h, bool& busy, std::string& reason) {
    if (flock(static_cast<int>(h), LOCK_EX | LOCK_NB) == 0) return true;
    busy = errno == EWOULDBLOCK || errno == EINTR;
    if (!busy) reason = Reason(errno);
    return false;
}

}  // namespace os

}  // namespace harvix::index
