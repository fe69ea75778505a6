#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "index/files.h"
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

std::atomic<unsigned> gTempCounter{0};

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) throw HarvixError("Impossible de lire le dossier " + folder + " : " + Reason(errno));
    std::vector<FolderEntry> out;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") out.push_back({platform::ToValidUtf8(name)});
    }
    closedir(dir);
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.Name < b.Name; });
    return out;
}

ReadOutcome ReadCapped(const std::string& path, std::size_t cap) {
    ReadOutcome r;
    // Non-blocking, so a pipe named like a report cannot hold the run.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        r.Reason = Reason(errno);
        return r;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        r.Reason = Reason(errno);
    } else if (S_ISDIR(st.st_mode)) {
        r.Reason = "c'est un dossier";
    } else if (!S_ISREG(st.st_mode)) {
        r.Reason = "pas un fichier ordinaire";
    } else if (static_cast<unsigned long long>(st.st_size) > cap) {
        r.Reason = "fichier trop volumineux (" + std::to_string(st.st_size) + " octets)";
    } else {
        r.Bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        for (;;) {
            if (got == r.Bytes.size()) r.Bytes.resize(std::min(cap + 1, got + 65536));
            ssize_t n = read(fd, r.Bytes.data() + got, r.Bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                r.Reason = Reason(errno);
                break;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
            if (got > cap) {
                r.Reason = "fichier trop volumineux";
                break;
            }
        }
        r.Bytes.resize(got);
        r.Ok = r.Reason.empty();
    }
    close(fd);
    if (!r.Ok) r.Bytes.clear();
    return r;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

LocalTime Now() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

OutputFile::OutputFile(const std::string& folder, const std::string& name)
    : folder_(folder), name_(name) {
    temp_ = JoinPath(folder, "." + name + ".tmp-" + std::to_string(getpid()) + "-" +
                                 std::to_string(gTempCounter++));
    int fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) error_ = "impossible de créer un fichier dans " + folder + " : " + Reason(errno);
    handle_ = fd;
}

OutputFile::~OutputFile() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
    if (!committed_ && error_.empty()) unlink(temp_.c_str());
}

void OutputFile::Flush() {
    std::size_t done = 0;
    while (error_.empty() && done < buffer_.size()) {
        ssize_t n = write(static_cast<int>(handle_), buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            error_ = std::string("écriture impossible : ") + std::strerror(errno);
        else
            done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

OutputFile::Result OutputFile::Commit() {
    Result r;
    if (error_.empty()) Flush();
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (fd >= 0) {
        if (error_.empty() && fsync(fd) != 0)
            error_ = std::string("écriture impossible : ") + std::strerror(errno);
        if (close(fd) != 0 && error_.empty())
            error_ = std::string("écriture impossible : ") + std::strerror(errno);
    }
    if (!error_.empty()) {
        if (fd >= 0) unlink(temp_.c_str());
        committed_ = true;
        r.Error = error_;
        return r;
    }
    committed_ = true;
    const std::string target = JoinPath(folder_, name_);
    if (rename(temp_.c_str(), target.c_str()) == 0) {
        r.Replaced = true;
        return r;
    }
    r.Error = "impossible de remplacer " + name_ + " : " + Reason(errno);
    const std::string dated = DatedName(name_, Now());
    if (rename(temp_.c_str(), JoinPath(folder_, dated).c_str()) == 0)
        r.KeptAs = dated;
    else
        unlink(temp_.c_str());
    return r;
}

}  // namespace harvix::index
