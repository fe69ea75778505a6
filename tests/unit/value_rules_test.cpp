// Value rules, guarded steps and value helpers.
#include <gtest/gtest.h>

#include <cmath>

#include "extract_between.h"
#include "inventory/modGetInfos.h"
#include "platform/encoding.h"
#include "platform/text.h"
#include "test_support.h"
#include "wmi/modWMI.h"
#include "wmi_double.h"

namespace harvix {
namespace {

using testing::ExtractBetween;
using testing::FakeObject;
using testing::InstallFake;

TEST(ValueRules, TextConversionConcatenationAndNull) {
    EXPECT_EQ(ToText(WmiValue("  abc ")), "  abc ");
    EXPECT_EQ(ToText(WmiValue(-42)), "-42");
    EXPECT_THROW(ToText(WmiValue()), HarvixError);
    EXPECT_EQ(Concat(WmiValue(), " - ", WmiValue("X200")), " - X200");
    EXPECT_EQ(Concat(WmiValue(), " - ", WmiValue()), " - ");
    EXPECT_EQ(Concat("DRIVE", WmiValue(12)), "DRIVE12");
    EXPECT_TRUE(TrimValue(WmiValue()).IsNull());
    EXPECT_EQ(TrimValue(WmiValue("  A1 \t ")).Text(), "A1 \t");  // blanks only, not tabs
    // A 64-bit size passes through a text conversion unchanged.
    EXPECT_EQ(ToText(WmiValue("18446744073709551615")), "18446744073709551615");
}

TEST(ValueRules, NumbersAreReadInTheUserLocaleAndRoundedHalfToEven) {
    HARVIX_USE_LOCALE(c, "C");
    EXPECT_DOUBLE_EQ(ReadNumber("  4096 "), 4096);
    EXPECT_DOUBLE_EQ(ReadNumber("-12"), -12);
    EXPECT_DOUBLE_EQ(ReadNumber("1.5"), 1.5);
    EXPECT_THROW(ReadNumber(""), HarvixError);
    EXPECT_THROW(ReadNumber("12abc"), HarvixError);
    EXPECT_THROW(ReadNumber("   "), HarvixError);
    EXPECT_THROW(ToNumber(WmiValue()), HarvixError);
    // A blank is U+0020 only: other white space makes the text no number.
    for (const char* spaced : {"\t4096", "4096\t", "4096\n", "\r4096", "\v1", "1\f"})
        EXPECT_THROW(ReadNumber(spaced), HarvixError) << spaced;
    EXPECT_THROW(ReadNumber("4\xC2\xA0"
                            "096"),
                 HarvixError);  // no-break space inside

    EXPECT_EQ(ToInt16(1.5), 2);
    EXPECT_EQ(ToInt16(2.5), 2);
    EXPECT_EQ(ToInt16(-2.5), -2);
    EXPECT_EQ(ToInt16(32767.0), 32767);
    EXPECT_THROW(ToInt16(32767.5), HarvixError);  // rounds to 32768
    EXPECT_THROW(ToInt16(-32769.0), HarvixError);
    EXPECT_THROW(ToInt32(2147483648.0), HarvixError);
    EXPECT_EQ(ToInt16(WmiValue(" 12 ")), 12);
}

TEST(ValueRules, RoundingAgreesWithTheMathsLibrary) {
    std::vector<double> xs = {4503599627370495.5,
                              -4503599627370495.5,
                              4503599627370497.0,
                              2147483647.5,
                              -2147483648.5,
                              1e15 + 0.5,
                              0.0,
                              -0.0};
    for (int k = -4000; k <= 4000; ++k) xs.push_back(k / 8.0);
    for (double x : xs) {
        if (std::nearbyint(x) >= -2147483648.0 && std::nearbyint(x) <= 2147483647.0)
            EXPECT_EQ(ToInt32(x), static_cast<std::int32_t>(std::nearbyint(x))) << x;
        else
            EXPECT_THROW(ToInt32(x), HarvixError) << x;
        EXPECT_EQ(WholeNumberText(x), std::to_string(static_cast<long long>(std::round(x)))) << x;
    }
    // Just under a half: mingw-w64's round gives 1 here, which is wrong.
    EXPECT_EQ(WholeNumberText(0.49999999999999994), "0");
    EXPECT_EQ(WholeNumberText(-0.49999999999999994), "0");
    EXPECT_EQ(ToInt32(0.49999999999999994), 0);
    EXPECT_EQ(WholeNumberText(2.5), "3");
    EXPECT_EQ(WholeNumberText(-2.5), "-3");
    EXPECT_EQ(WholeNumberText(1e20), "100000000000000000000");
    EXPECT_THROW(ToInt16(std::nan("")), HarvixError);
    EXPECT_THROW(WholeNumberText(HUGE_VAL), HarvixError);
}

TEST(ValueRules, NumbersUnderAFrenchLocaleTakeTheComma) {
    HARVIX_USE_LOCALE(fr, "fr_FR.UTF-8");
    EXPECT_DOUBLE_EQ(ReadNumber("1,5"), 1.5);
    EXPECT_THROW(ReadNumber("1.5"), HarvixError);
}

TEST(GuardedSteps, FailedStepKeepsTargetAndExecutionGoesOn) {
    int a = 1, b = 1;
    Step([&] {
        a = 2;
        throw HarvixError("x");
    });
    Step([&] { b = 3; });
    EXPECT_EQ(a, 2);  // what ran before the failure stays
    EXPECT_EQ(b, 3);

    std::string target = "kept";
    Step([&] { target = ToText(WmiValue()); });
    EXPECT_EQ(target, "kept");
}

TEST(GuardedSteps, ConditionsFailingRunThenNullRunsElse) {
    std::string took;
    If([]() -> std::optional<bool> { throw HarvixError("x"); }, [&] { took = "then"; },
       [&] { took = "else"; });
    EXPECT_EQ(took, "then");
    If([] { return LessOrEqual(WmiValue(), 3); }, [&] { took = "then"; }, [&] { took = "else"; });
    EXPECT_EQ(took, "else");
    If([] { return LessOrEqual(WmiValue(4), 3); }, [&] { took = "then"; }, [&] { took = "else"; });
    EXPECT_EQ(took, "else");
    If([] { return LessOrEqual(WmiValue("3"), 3); }, [&] { took = "then"; },
       [&] { took = "else"; });
    EXPECT_EQ(took, "then");
}

TEST(GuardedSteps, QueryLoopStartAndAdvanceRules) {
    auto fake = InstallFake();
    auto walk = [](const std::string& q) {
        std::vector<std::string> seen;
        int bodies = 0;
        ForEachObject(q, [&](const CurrentObject& obj) {
            ++bodies;
            Step([&] { seen.push_back(ToText(obj["N"])); });
            Step([&] { seen.push_back("+"); });  // does not read the object
        });
        return std::make_pair(bodies, seen);
    };
    // No object: the body never runs.
    fake->On("Q0");
    EXPECT_EQ(walk("Q0").first, 0);
    // Failed start: the body runs once with no object.
    fake->On("Q1").FailStart = true;
    auto failed = walk("Q1");
    EXPECT_EQ(failed.first, 1);
    EXPECT_EQ(failed.second, std::vector<std::string>{"+"});
    // Failed advance after the third object keeps what three objects produced.
    auto& q2 = fake->On("Q2");
    for (int i = 1; i <= 5; ++i) q2.Objects.push_back(FakeObject{{"N", i}});
    q2.FailAdvanceAfter = 3;
    auto three = walk("Q2");
    EXPECT_EQ(three.first, 3);
    EXPECT_EQ(three.second, (std::vector<std::string>{"1", "+", "2", "+", "3", "+"}));
    // Unknown query (not scripted) fails at start like an invalid class.
    EXPECT_EQ(walk("Select * from Nothing").first, 1);
    EXPECT_EQ(fake->Flags, std::vector<int>(4, 48));
}

TEST(ValueHelpers, FormatSizeInTheCLocale) {
    HARVIX_USE_LOCALE(c, "C");
    EXPECT_EQ(FormatSize("0"), "0 Octets");
    EXPECT_EQ(FormatSize("1023"), "1023 Octets");
    EXPECT_EQ(FormatSize(" 512"), " 512 Octets");
    EXPECT_EQ(FormatSize("1024"), "1.00 Ko");
    EXPECT_EQ(FormatSize("1152"), "1.13 Ko");  // 1.125: the half goes up
    EXPECT_EQ(FormatSize("1048575"), "1024.00 Ko");
    EXPECT_EQ(FormatSize("1048576"), "0.00 Go");
    EXPECT_EQ(FormatSize(std::to_string(512LL * 1024 * 1024)), "0.50 Go");
    EXPECT_EQ(FormatSize(std::to_string(16LL * 1024 * 1024 * 1024)), "16.00 Go");
    EXPECT_EQ(FormatSize(std::to_string(2048LL * 1024 * 1024 * 1024)), "2048.00 Go");
    EXPECT_EQ(FormatSize(" 8589934592"), "8.00 Go");
    EXPECT_THROW(FormatSize(""), HarvixError);
    EXPECT_THROW(FormatSize("n/a"), HarvixError);
}

TEST(ValueHelpers, FormatSizeUnderAFrenchLocale) {
    HARVIX_USE_LOCALE(fr, "fr_FR.UTF-8");
    EXPECT_EQ(FormatSize("1536"), "1,50 Ko");
    EXPECT_EQ(FormatSize("1152"), "1,13 Ko");
    EXPECT_EQ(FormatSize(std::to_string(2048LL * 1024 * 1024 * 1024)), "2048,00 Go");
    EXPECT_EQ(FormatSize(" 1000"), " 1000 Octets");
}

TEST(ValueHelpers, FixedFormatsRoundHalvesAwayFromZero) {
    HARVIX_USE_LOCALE(c, "C");
    EXPECT_EQ(FormatFixed(1.5, 0), "2");
    EXPECT_EQ(FormatFixed(0.4999, 0), "");  // "###" writes no digit for 0
    EXPECT_EQ(FormatFixed(2000, 0), "2000");
    EXPECT_EQ(FormatFixed(2.675, 2), "2.68");  // decimal half, not the binary below it
    EXPECT_EQ(FormatFixed(9.995, 2), "10.00");
    EXPECT_EQ(FormatFixed(0.001, 2), "0.00");
}

TEST(ValueRules, NumberTextOfFractionsNeverEndsInItsSeparator) {
    HARVIX_USE_LOCALE(fr, "fr_FR.UTF-8");
    auto text = [](const char* v) { return BlankOrMinusNumberText(WmiValue(v)).Text(); };
    EXPECT_EQ(text("1e-21"), " 0");
    EXPECT_EQ(text("-1e-21"), " 0");  // what shows as 0 is no negative number
    EXPECT_EQ(text("100,0000001"), " 100");
    EXPECT_EQ(text("-2,50"), "-2,5");
    EXPECT_EQ(text("0017"), " 17");
    EXPECT_EQ(FormatSize(text("1e-21")), " 0 Octets");
}

TEST(TextHelpers, FixedTextKeepsEveryDigitOfAnyMagnitude) {
    // 1e70 is past what a 64-byte buffer holds: every digit must still come out.
    const std::string huge = FrenchDecimal(1e70, 2);
    EXPECT_EQ(huge.substr(0, 17), "10000000000000000");
    EXPECT_EQ(huge.size(), 71u + 3u);
    EXPECT_EQ(huge.substr(71), ",00");
    EXPECT_EQ(FrenchDecimal(1.7976931348623157e308, 0).size(), 309u);
    EXPECT_EQ(FrenchDecimal(12.25, 1), "12,2");  // the exact value's tie goes to even
    EXPECT_EQ(FrenchDecimal(-0.001, 2), "-0,00");
    const auto away = Rounding::HalfAwayFromShortest;
    EXPECT_EQ(FixedText(12.25, 1, ",", away), "12,3");
    EXPECT_EQ(FixedText(-0.001, 2, "::", away), "0::00");
    EXPECT_EQ(FixedText(5e-324, 3, ".", away), "0.000");
    EXPECT_EQ(FixedText(-999.5, 0, ".", away), "-1000");
    EXPECT_EQ(FixedText(1e300, 1, ".", away).size(), 301u + 2u);
    EXPECT_THROW(FixedText(INFINITY, 2, ".", away), HarvixError);
    EXPECT_EQ(FrenchDecimal(-INFINITY, 2), "-inf");
}

TEST(TextHelpers, BlanksCaseAndWholeNumbers) {
    EXPECT_EQ(Trim(" \tA B \r "), "\tA B \r");  // blanks alone
    EXPECT_EQ(TrimOf("\v x \f\n", kWhiteSpace), "x");
    EXPECT_EQ(TrimEndOf("a\t\r", kLineBlanks), "a");
    EXPECT_EQ(AsciiLower("Win32_\xC3\x89TAT"), "win32_\xC3\x89tat");  // UTF-8 bytes untouched
    EXPECT_EQ(AsciiUpper("/silent"), "/SILENT");
    EXPECT_TRUE(EqualsNoCase("/SiLeNt", "/silent"));
    EXPECT_FALSE(EqualsNoCase("/silen", "/silent"));
    EXPECT_TRUE(EndsWithNoCase("PC_REPORT.HTML", "_report.html"));
    EXPECT_EQ(ParseUnsigned("18446744073709551615"), UINT64_MAX);
    EXPECT_FALSE(ParseUnsigned("18446744073709551616"));
    EXPECT_FALSE(ParseUnsigned("-1"));
    EXPECT_FALSE(ParseUnsigned("+1"));
    EXPECT_EQ(ParseUnsigned("0XFF", 16), 255u);
}

TEST(ValueHelpers, FormFactorNamesAndExtractBetween) {
    EXPECT_EQ(FormFactorName(8), "DIMM");
    EXPECT_EQ(FormFactorName(12), "SODIMM");
    EXPECT_EQ(FormFactorName(0), "");
    EXPECT_EQ(FormFactorName(9), "");

    std::int32_t pos = 1;
    EXPECT_EQ(ExtractBetween("DeviceID=\"C:\"", "\"", "\"", pos), "C:");
    EXPECT_EQ(pos, 11);
    pos = 1;
    EXPECT_EQ(ExtractBetween("no quotes", "\"", "\"", pos), "");
    EXPECT_EQ(pos, 0);
    pos = 1;
    EXPECT_EQ(ExtractBetween("one \" quote", "\"", "\"", pos), "");
    EXPECT_EQ(pos, 6);
    pos = 1;
    EXPECT_EQ(ExtractBetween("a\"\"b", "\"", "\"", pos), "");
    pos = 1;
    EXPECT_EQ(ExtractBetween(R"(\\PC\root\cimv2:Win32_DiskDrive.DeviceID="\\\\.\\PHYSICALDRIVE0")",
                             "\"", "\"", pos),
              R"(\\\\.\\PHYSICALDRIVE0)");
}

TEST(ValueHelpers, EnvironmentNamesAreTakenAsTheyStand) {
    testing::UnsetEnv("COMPUTERNAME");
    EXPECT_EQ(GetComputerName(), "");
    testing::SetEnv("COMPUTERNAME", " pc-Compta ");
    EXPECT_EQ(GetComputerName(), " pc-Compta ");
    testing::SetEnv("USERNAME", "jdupont");
    EXPECT_EQ(GetUserName(), "jdupont");
    testing::UnsetEnv("COMPUTERNAME");
    testing::UnsetEnv("USERNAME");
}

TEST(Encoding, Windows1252KeepsWhatItCanAndReferencesTheRest) {
    using platform::EncodeWindows1252;
    EXPECT_EQ(EncodeWindows1252("Général"), "G\xE9n\xE9ral");
    EXPECT_EQ(EncodeWindows1252("Modèle 5 €"), "Mod\xE8le 5 \x80");
    EXPECT_EQ(EncodeWindows1252("Диск"), "&#1044;&#1080;&#1089;&#1082;");
    EXPECT_EQ(EncodeWindows1252("😀"), "&#128512;");
    EXPECT_EQ(EncodeWindows1252(std::string("a\xFF"
                                            "b")),
              "a&#65533;b");                              // invalid UTF-8
    EXPECT_EQ(platform::ToValidUtf8("caf\xE9"), "café");  // Latin-1 bytes kept
    EXPECT_EQ(platform::ToValidUtf8("café"), "café");
}

}  // namespace
}  // namespace harvix
