// The boundary between the program and its window module, kept to plain C so
// that the module can be loaded on demand.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {

struct HarvixForm1Hooks {
    const char* Caption;
    const char* InitialStatus;
    const char* CloseCaption;
    // Each handler returns 0 and sets *text to the new status line, or returns
    // non-zero and sets *text to the failure's description. Free with FreeText.
    int (*Timer1_Timer)(char** text);
    int (*Label1_DblClick)(char** text);
    void (*FreeText)(char* text);
    // Failure at start-up: only the message box is wanted.
    const char* StartupFailure;
    // The program's name: the message box's title; on Windows also the window
    // class ("<Name>.Form1"), the event source and standard error's prefix.
    const char* Name;
};

// Shows Form1 and runs until it closes; returns the process's exit status, or
// kHarvixNoDisplay when no window can be opened.
typedef int (*HarvixShowForm1Fn)(const HarvixForm1Hooks* hooks, int* argc, char*** argv);
}

inline constexpr int kHarvixNoDisplay = 125;
inline constexpr const char* kHarvixShowForm1Symbol = "HarvixShowForm1";

namespace harvix {

// A text handed to Form1 through a hook, which gives it back to FreeText.
inline char* CopyText(const std::string& s) {
    char* text = static_cast<char*>(std::malloc(s.size() + 1));
    if (text) std::memcpy(text, s.c_str(), s.size() + 1);
    return text;
}

inline void FreeText(char* text) {
    std::free(text);
}

}  // namespace harvix
