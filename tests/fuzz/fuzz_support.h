// Shared pieces of the harnesses: references written from the standards, and
// machine trees written from an input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harvix::fuzz {

// Aborts with a message, so that libFuzzer keeps the input that broke a property.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "property broken: %s\n", what.c_str());
    std::abort();
}
#define HARVIX_CHECK(cond, what)                                               \
    do {                                                                       \
        if (!(cond)) ::harvix::fuzz::Fail(std::string(#cond " -- ") + (what)); \
    } while (0)

// Length of the well-formed UTF-8 sequence at i (RFC 3629, section 4), or 0.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i);
bool IsValidUtf8(std::string_view s);
// Code points, one U+FFFD for every byte that starts no well-formed sequence.
std::u32string DecodeUtf8Reference(std::string_view s);
std::string Utf8Of(std::u32string_view cps);

// A fresh folder for one input, removed by the destructor.
class TempTree {
  public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;
    const std::string& Path() const { return root_; }

    // Writes the records of the tree format (see make_seeds.py). Paths are
    // relative, without "." or ".." and never through a link; link targets
    // are relative and stay inside the tree, so the system never follows a
    // link out of it. A record cut short ends the tree.
    void Write(std::string_view records);
    bool WriteFile(const std::string& rel, std::string_view data);
    bool WriteLink(const std::string& rel, const std::string& target);
    bool MakeFolder(const std::string& rel);
    // For a reader that follows no link itself: any target, absolute ones too.
    void AllowAnyLinks() { anyLinks_ = true; }

  private:
    bool SafeParent(const std::string& rel, std::size_t& depth);
    std::string root_;
    bool anyLinks_ = false;
};

}  // namespace harvix::fuzz
