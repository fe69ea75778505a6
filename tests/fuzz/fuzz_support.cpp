#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace harvix::fuzz {

namespace fs = std::filesystem;

std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
    // The table of well-formed byte sequences of RFC 3629, section 4.
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    auto in = [](unsigned char c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; };
    std::size_t left = s.size() - i;
    unsigned char c = b(0);
    if (c <= 0x7F) return 1;
    if (in(c, 0xC2, 0xDF)) return left >= 2 && in(b(1), 0x80, 0xBF) ? 2 : 0;
    if (left < 3) return 0;
    if (c == 0xE0) return in(b(1), 0xA0, 0xBF) && in(b(2), 0x80, 0xBF) ? 3 : 0;
    if (in(c, 0xE1, 0xEC) || in(c, 0xEE, 0xEF))
        return in(b(1), 0x80, 0xBF) && in(b(2), 0x80, 0xBF) ? 3 : 0;
    if (c == 0xED) return in(b(1), 0x80, 0x9F) && in(b(2), 0x80, 0xBF) ? 3 : 0;
    if (left < 4) return 0;
    auto tail = [&] { return in(b(2), 0x80, 0xBF) && in(b(3), 0x80, 0xBF); };
    if (c == 0xF0) return in(b(1), 0x90, 0xBF) && tail() ? 4 : 0;
    if (in(c, 0xF1, 0xF3)) return in(b(1), 0x80, 0xBF) && tail() ? 4 : 0;
    if (c == 0xF4) return in(b(1), 0x80, 0x8F) && tail() ? 4 : 0;
    return 0;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = Utf8SequenceAt(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::u32string DecodeUtf8Reference(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = Utf8SequenceAt(s, i);
        if (n == 0) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        static const unsigned kLead[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t cp = static_cast<unsigned char>(s[i]) & kLead[n];
        for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
        out += cp;
        i += n;
    }
    return out;
}

std::string Utf8Of(std::u32string_view cps) {
    std::string out;
    for (char32_t cp : cps) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

TempTree::TempTree() {
    static int serial = 0;
    root_ = (fs::temp_directory_path() /
             ("harvix-fuzz-" + std::to_string(getpid()) + "-" + std::to_string(serial++)))
                .string();
    std::error_code ec;
    fs::remove_all(root_, ec);
    fs::create_directories(root_);
}

TempTree::~TempTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

// Checks that rel is a plain relative path whose folders are real folders (or
// missing), creates them, and gives the depth of its parent.
bool TempTree::SafeParent(const std::string& rel, std::size_t& depth) {
    if (rel.empty() || rel.size() > 200 || rel[0] == '/') return false;
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = rel.find('/', start);
        std::string part = rel.substr(start, slash == std::string::npos ? slash : slash - start);
        if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string::npos)
            return false;
        parts.push_back(part);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (parts.size() > 16) return false;
    std::string cur = root_;
    for (std::size_t k = 0; k + 1 < parts.size(); ++k) {
        cur += "/" + parts[k];
        struct stat st;
        if (::lstat(cur.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return false;
        } else if (::mkdir(cur.c_str(), 0755) != 0) {
            return false;
        }
    }
    std::string full = cur + "/" + parts.back();
    struct stat st;
    if (::lstat(full.c_str(), &st) == 0) return false;  // first record wins
    depth = parts.size() - 1;
    return true;
}

bool TempTree::WriteFile(const std::string& rel, std::string_view data) {
    std::size_t depth;
    if (!SafeParent(rel, depth)) return false;
    std::ofstream out(root_ + "/" + rel, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

bool TempTree::WriteLink(const std::string& rel, const std::string& target) {
    std::size_t depth;
    if (target.empty() || target.size() > 300 || target.find('\0') != std::string::npos ||
        !SafeParent(rel, depth))
        return false;
    if (anyLinks_) return ::symlink(target.c_str(), (root_ + "/" + rel).c_str()) == 0;
    if (target[0] == '/') return false;
    // Leading ".." only, no more of them than the link's depth: the target
    // stays inside the tree whatever the links it names do.
    std::size_t ups = 0, pos = 0;
    bool names = false;
    while (pos <= target.size()) {
        std::size_t slash = target.find('/', pos);
        std::string part = target.substr(pos, slash == std::string::npos ? slash : slash - pos);
        if (part == "..") {
            if (names) return false;
            ++ups;
        } else if (!part.empty() && part != ".") {
            names = true;
        }
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    if (ups > depth) return false;
    return ::symlink(target.c_str(), (root_ + "/" + rel).c_str()) == 0;
}

bool TempTree::MakeFolder(const std::string& rel) {
    std::size_t depth;
    if (!SafeParent(rel, depth)) return false;
    return ::mkdir((root_ + "/" + rel).c_str(), 0755) == 0;
}

void TempTree::Write(std::string_view in) {
    std::size_t i = 0;
    while (i < in.size()) {
        char kind = in[i++];
        std::size_t nul = in.find('\0', i);
        if (nul == std::string_view::npos) return;
        std::string path(in.substr(i, nul - i));
        i = nul + 1;
        if (kind == 'D') {
            MakeFolder(path);
            continue;
        }
        if (i + 2 > in.size()) return;
        std::size_t len =
            static_cast<unsigned char>(in[i]) | (static_cast<unsigned char>(in[i + 1]) << 8);
        i += 2;
        std::string_view data = in.substr(i, len);
        i += data.size();
        if (kind == 'F')
            WriteFile(path, data);
        else if (kind == 'L')
            WriteLink(path, std::string(data));
    }
}

}  // namespace harvix::fuzz
