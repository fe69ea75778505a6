// Size and free space of each volume: statvfs on the live machine, the tree's
// own record (/.harvix/statvfs) otherwise.
#include <sys/statvfs.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "wmi/linux/storage.h"

namespace harvix::linuxwmi {

namespace {

// How long one volume may take to answer; all are asked at once.
constexpr std::chrono::seconds kStatvfsTimeout{2};

struct Space {
    std::optional<std::string> Size, Free;
};

// The answers, shared with threads that may outlive the wait when a
// filesystem never answers.
struct Board {
    std::mutex Lock;
    std::condition_variable Done;
    std::vector<Space> Answers;
    std::size_t Pending = 0;
};

Space Statvfs(const std::string& target) {
    struct statvfs st;
    if (::statvfs(target.c_str(), &st) != 0) return {};
    unsigned long long unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    // Every free byte, the blocks kept for root included, as Windows counts them:
    // Size - FreeSpace is then df's "Used".
    return {std::to_string(static_cast<unsigned long long>(st.f_blocks) * unit),
            std::to_string(static_cast<unsigned long long>(st.f_bfree) * unit)};
}

void Ask(const std::shared_ptr<Board>& board, std::size_t slot, std::string target) {
    std::thread([board, slot, target = std::move(target)] {
        Space answer = Statvfs(target);
        std::lock_guard<std::mutex> hold(board->Lock);
        board->Answers[slot] = std::move(answer);
        --board->Pending;
        board->Done.notify_all();
    }).detach();
}

void LiveSpaces(std::vector<Volume*>& asked) {
    auto board = std::make_shared<Board>();
    board->Answers.resize(asked.size());
    for (std::size_t i = 0; i < asked.size(); ++i) {
        try {
            {
                std::lock_guard<std::mutex> hold(board->Lock);
                ++board->Pending;
            }
            Ask(board, i, asked[i]->Target);
        } catch (const std::system_error&) {  // no thread to spare: sizes unknown
            std::lock_guard<std::mutex> hold(board->Lock);
            --board->Pending;
        }
    }
    std::unique_lock<std::mutex> hold(board->Lock);
    board->Done.wait_for(hold, kStatvfsTimeout, [&] { return board->Pending == 0; });
    // An answer not in by now stays null; its thread is left to the kernel.
    for (std::size_t i = 0; i < asked.size(); ++i) {
        asked[i]->Size = board->Answers[i].Size;
        asked[i]->Free = board->Answers[i].Free;
    }
}

// A recorded count becomes a value only as plain digits.
std::optional<std::string> Digits(const std::string& text) {
    auto value = ParseUnsigned(text);
    if (!value) return std::nullopt;
    return std::to_string(*value);
}

std::map<std::string, Space> RecordedSpaces(const Root& root) {
    std::map<std::string, Space> out;
    for (const std::string& line : Split(root.Read("/.harvix/statvfs").value_or(""), '\n')) {
        // mount, size, free; split at blanks only, since the mount point's escapes
        // leave a vertical tab, form feed or CR in it as they are
        std::vector<std::string> words;
        for (std::string& w : Split(line, ' '))
            if (!w.empty()) words.push_back(std::move(w));
        if (words.size() >= 3)
            out.emplace(Unescape(words[0]), Space{Digits(words[1]), Digits(words[2])});
    }
    return out;
}

}  // namespace

void ReadSpaces(const Root& root, std::vector<Volume>& volumes) {
    std::vector<Volume*> asked;
    for (auto& v : volumes)
        if (v.DriveType != 4) asked.push_back(&v);  // a network share may be slow to say
    if (root.Live()) {
        LiveSpaces(asked);
        return;
    }
    auto recorded = RecordedSpaces(root);
    for (Volume* v : asked) {
        auto it = recorded.find(v->Target);
        if (it == recorded.end()) continue;
        v->Size = it->second.Size;
        v->Free = it->second.Free;
    }
}

}  // namespace harvix::linuxwmi
