// Switches the process locale for one test and restores "C" afterwards.
#pragma once

#include <gtest/gtest.h>
#include <locale.h>

#include <string>

namespace harvix::testing {

class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) {
        ok_ = setlocale(LC_ALL, name) != nullptr;
        EXPECT_TRUE(ok_) << "locale " << name << " is not installed (the test command generates it)";
    }
    ~ScopedLocale() { setlocale(LC_ALL, "C"); }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

}  // namespace harvix::testing
