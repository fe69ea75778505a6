// One run at a time per report: the claim a run holds on its report file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/error.h"
#include "platform/platform.h"
#include "test_support.h"

namespace harvix {
namespace {

using Clock = std::chrono::steady_clock;

// The claim taken on another thread, as a second process would take it: on
// Windows a mutex is re-entrant for the thread that holds it.
std::shared_ptr<void> ClaimElsewhere(const std::string& path, int seconds, std::string* failure) {
    std::shared_ptr<void> claim;
    std::thread([&] {
        try {
            claim = platform::ClaimReport(path, seconds);
        } catch (const HarvixError& e) {
            *failure = e.what();
        }
    }).join();
    return claim;
}

TEST(ReportClaim, ASecondRunWaitsABoundedTimeThenFailsOrGoesOn) {
    const std::string dir = testing::MakeTempDir("harvix-claim-");
    const std::string report = (std::filesystem::path(dir) / "PC_report.html").string();
    { std::ofstream(report, std::ios::binary) << "earlier run\r\n"; }
    {
        std::shared_ptr<void> first = platform::ClaimReport(report);
        ASSERT_TRUE(first);
        std::string failure;
        const auto start = Clock::now();
        EXPECT_FALSE(ClaimElsewhere(report, 1, &failure));
        const auto waited = Clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(900));
        EXPECT_LT(waited, std::chrono::seconds(5));
        EXPECT_NE(failure.find(report), std::string::npos) << failure;

        // Another report is not held up by this one.
        failure.clear();
        EXPECT_TRUE(ClaimElsewhere(report + ".autre", 1, &failure)) << failure;
    }
    // Once the first run is over, the next one gets the report at once.
    std::string failure;
    const auto start = Clock::now();
    EXPECT_TRUE(ClaimElsewhere(report, 5, &failure)) << failure;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    // Claiming never touches what the report holds.
    {
        std::ifstream in(report, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier run\r\n");
    }
    std::filesystem::remove_all(dir);
}

TEST(ReportClaim, AReportThatCannotBeOpenedIsLeftToItsWriter) {
    const std::string dir = testing::MakeTempDir("harvix-claim-");
    // A folder where the report should be: the header writer reports that failure.
    const std::string report = (std::filesystem::path(dir) / "PC_report.html").string();
    std::filesystem::create_directory(report);
    std::shared_ptr<void> claim;
    EXPECT_NO_THROW(claim = platform::ClaimReport(report, 1));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace harvix
