// The index's file rules, the same on every OS: the read cap, and outputs
// that replace the old file whole or are kept under a dated name.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "index/files.h"
#include "index/files_os.h"
#include "wmi/modWMI.h"

namespace harvix::index {

namespace {

std::atomic<unsigned> gTempCounter{0};

// Reads to the end, never more than cap bytes; expected is the size the file had.
void ReadAll(os::Handle h, std::size_t cap, std::size_t expected, ReadOutcome& r) {
    r.Bytes.resize(std::min(cap, expected) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == r.Bytes.size()) r.Bytes.resize(std::min(cap + 1, got + 65536));
        long long n = os::ReadSome(h, r.Bytes.data() + got, r.Bytes.size() - got, r.Reason);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
        if (got > cap) {
            r.Reason = "fichier trop volumineux";
            break;
        }
    }
    r.Bytes.resize(got);
    r.Ok = r.Reason.empty();
}

}  // namespace

ReadOutcome ReadCapped(const std::string& path, std::size_t cap) {
    ReadOutcome r;
    os::Opened file = os::OpenToRead(path);
    if (file.File == os::kNoHandle) {
        r.Reason = file.Reason;
        return r;
    }
    if (file.Size > cap)
        r.Reason = "fichier trop volumineux (" + std::to_string(file.Size) + " octets)";
    else
        ReadAll(file.File, cap, static_cast<std::size_t>(file.Size), r);
    os::Close(file.File);
    if (!r.Ok) r.Bytes.clear();
    return r;
}

std::string DatedName(const std::string& name, const LocalTime& t) {
    std::size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return stem + stamp + ext;
}

OutputFile::OutputFile(const std::string& folder, const std::string& name)
    : folder_(folder), name_(name) {
    temp_ = JoinPath(folder, "." + name + ".tmp-" + std::to_string(os::ProcessId()) + "-" +
                                 std::to_string(gTempCounter++));
    std::string reason;
    handle_ = os::CreateNew(temp_, reason);
    if (handle_ == os::kNoHandle)
        error_ = "impossible de créer un fichier dans " + folder + " : " + reason;
}

OutputFile::~OutputFile() {
    if (handle_ != os::kNoHandle) os::Close(handle_);
    if (!committed_ && error_.empty()) os::Remove(temp_);
}

void OutputFile::Write(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= (256u << 10)) Flush();
}

void OutputFile::Flush() {
    std::size_t done = 0;
    std::string reason;
    while (error_.empty() && done < buffer_.size()) {
        long long n = os::WriteSome(handle_, buffer_.data() + done, buffer_.size() - done, reason);
        if (n < 0)
            error_ = "écriture impossible : " + reason;
        else
            done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

OutputFile::Result OutputFile::Commit() {
    Result r;
    if (error_.empty()) Flush();
    const bool opened = handle_ != os::kNoHandle;
    if (opened) {
        std::string failed = os::FinishWrite(handle_, error_.empty());
        if (!failed.empty() && error_.empty()) error_ = "écriture impossible : " + failed;
        handle_ = os::kNoHandle;
    }
    committed_ = true;
    if (!error_.empty()) {
        if (opened) os::Remove(temp_);
        r.Error = error_;
        return r;
    }
    std::string reason;
    if (os::Replace(temp_, JoinPath(folder_, name_), reason)) {
        r.Replaced = true;
        return r;
    }
    // Excel holds an open workbook locked: keep the new one beside it.
    r.Error = "impossible de remplacer " + name_ + " : " + reason;
    const std::string dated = DatedName(name_, Now());
    if (os::MoveTo(temp_, JoinPath(folder_, dated)))
        r.KeptAs = dated;
    else
        os::Remove(temp_);
    return r;
}

FolderLock::FolderLock(const std::string& folder, const std::string& name, int waitSeconds) {
    std::string reason;
    handle_ = os::OpenLockFile(JoinPath(folder, name), reason);
    // A folder where no lock can be made takes no output either: the outputs say why.
    if (handle_ == os::kNoHandle) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    bool busy = false;
    while (!os::TryLock(handle_, busy, reason)) {
        if (!busy || std::chrono::steady_clock::now() >= deadline) {
            os::Close(handle_);
            handle_ = os::kNoHandle;
            if (!busy) return;
            throw HarvixError("Un autre index de ce dossier est en cours depuis plus de " +
                              std::to_string(waitSeconds) +
                              " secondes : relancez l'index quand il sera terminé.");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

FolderLock::~FolderLock() {
    if (handle_ != os::kNoHandle) os::Close(handle_);
}

}  // namespace harvix::index
