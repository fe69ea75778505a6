// Portable pieces of the unit tests: the environment, temporary folders, and
// the user locale the separators come from.
#pragma once

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h maps these to its own functions; the program's are meant.
#undef GetComputerName
#undef GetUserName

#include "platform/platform.h"
#endif

namespace harvix::testing {

inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline void UnsetEnv(const char* name) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, nullptr);
#else
    unsetenv(name);
#endif
}

// The folders made below, removed when the test program ends: a failed assertion
// returns before a test's own cleanup.
inline std::vector<std::string>& TempDirsToRemove() {
    static std::vector<std::string> dirs;
    return dirs;
}

// A fresh folder under the system's temporary folder.
inline std::string MakeTempDir(const char* prefix) {
    // The list first, so that it outlives the handler that empties it.
    static const bool removedAtExit = (TempDirsToRemove(), std::atexit([] {
                                           for (const std::string& dir : TempDirsToRemove()) {
                                               std::error_code ignored;
                                               std::filesystem::remove_all(dir, ignored);
                                           }
                                       }),
                                       true);
    (void)removedAtExit;
    std::random_device rd;
    for (;;) {
        auto dir =
            std::filesystem::temp_directory_path() / (std::string(prefix) + std::to_string(rd()));
        if (std::filesystem::create_directory(dir)) {
            TempDirsToRemove().push_back(dir.string());
            return dir.string();
        }
    }
}

inline std::tm LocalNow() {
    std::time_t now = std::time(nullptr);
    return *std::localtime(&now);
}

// POSIX: switches the process locale for one test. Windows takes its separators
// from the user's settings, so there a test runs only when those are the ones named.
class ScopedLocale {
  public:
    explicit ScopedLocale(const char* name) {
#ifdef _WIN32
        const std::string dec = platform::DecimalSeparator(), date = platform::DateSeparator();
        const std::string n = name;
        ok_ = n == "C"                ? dec == "."
              : n.rfind("fr", 0) == 0 ? dec == "," && date == "/"
              : n.rfind("de", 0) == 0 ? dec == "," && date == "."
                                      : false;
#else
        ok_ = setlocale(LC_ALL, name) != nullptr;
#endif
    }
    ~ScopedLocale() {
#ifndef _WIN32
        setlocale(LC_ALL, "C");
#endif
    }
    bool ok() const {
        return ok_;
    }

  private:
    bool ok_;
};

}  // namespace harvix::testing

// The test command generates the locales on Linux, so a missing one fails there.
#ifdef _WIN32
#define HARVIX_USE_LOCALE(var, name)           \
    ::harvix::testing::ScopedLocale var(name); \
    if (!var.ok()) GTEST_SKIP() << "the user locale is not " << name
#else
#define HARVIX_USE_LOCALE(var, name)           \
    ::harvix::testing::ScopedLocale var(name); \
    ASSERT_TRUE(var.ok()) << "locale " << name \
                          << " is not installed (the test command generates it)"
#endif
