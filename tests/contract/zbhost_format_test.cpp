// zbhost's own output and command line: what a person or a script reads from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/zbhost/host_format.h"
#include "tools/zbhost/host_options.h"

namespace {

using namespace zbhost;

using Lines = std::vector<std::string>;

TEST(ResultNameTest, NamesTheDeviceAnswersAndShowsOtherCodesInHex) {
    EXPECT_EQ(ResultName(kNotReady), "not ready");
    EXPECT_EQ(ResultName(kNotConnected), "not connected");
    EXPECT_EQ(ResultName(kFail), "device error");
    EXPECT_EQ(ResultName(kInvalidArg), "0x80070057");
    EXPECT_EQ(ResultName(0x15), "0x00000015");
}

TEST(ReadingLineTest, ShowsTwoDecimalsAGaugeAndOptionallyTheRawValue) {
    EXPECT_EQ(FormatReadingLine(1.5, 963379, false), "   1.500 s   14.70 AFR  [#########           ]");
    EXPECT_EQ(FormatReadingLine(0.02, 963379, true), "   0.020 s   14.70 AFR  [#########           ]  (0x000EB333)");
}

TEST(ReadingLineTest, GaugeMarksValuesOffTheScale) {
    EXPECT_EQ(AfrGauge(10.0), "[                    ]");
    EXPECT_EQ(AfrGauge(20.0), "[####################]");
    EXPECT_EQ(AfrGauge(7.35), "[<                   ]");
    EXPECT_EQ(AfrGauge(22.0), "[###################>]");
    EXPECT_EQ(AfrGauge(AfrFromFixed(0)), "[<                   ]");
    EXPECT_EQ(AfrGauge(AfrFromFixed(-65536)), "[<                   ]");
}

TEST(AnswerFolderTest, FoldsRepeatedNonReadingsIntoOneLineWithACount) {
    AnswerFolder folder(1.0, false);
    Lines printed;
    const auto add = [&](double t, HResult code, std::int32_t value) {
        for (const std::string& line : folder.Add(t, code, value)) printed.push_back(line);
    };
    add(0.00, kNotReady, 0);
    add(0.02, kNotReady, 0);
    add(0.04, kNotReady, 0);
    add(0.06, kOk, 963379);
    add(0.08, kNotConnected, 0);
    add(0.10, kFail, 0);
    add(0.12, kFail, 0);
    for (const std::string& line : folder.Finish()) printed.push_back(line);

    EXPECT_EQ(printed, (Lines{
                           "   0.000 s  not ready  (x3 until 0.040 s)",
                           "   0.060 s   14.70 AFR  [#########           ]",
                           "   0.080 s  not connected",
                           "   0.100 s  device error  (x2 until 0.120 s)",
                       }));
}

TEST(AnswerFolderTest, ALongRunIsShownAtLeastOncePerWindow) {
    AnswerFolder folder(1.0, false);
    Lines printed;
    for (int k = 0; k <= 15; ++k) {
        for (const std::string& line : folder.Add(k * 0.1, kNotReady, 0)) printed.push_back(line);
    }
    ASSERT_EQ(printed.size(), 1u) << "the run is shown before polling ends";
    EXPECT_EQ(printed[0], "   0.000 s  not ready  (x10 until 0.900 s)");
    EXPECT_EQ(folder.Finish(), (Lines{"   1.000 s  not ready  (x6 until 1.500 s)"}));
    EXPECT_TRUE(folder.Finish().empty());
}

TEST(CsvTest, WritesSecondsAfrAndTheRawValue) {
    EXPECT_EQ(CsvHeader(), "seconds,afr,raw");
    EXPECT_EQ(CsvReadingLine(0.02, 963379), "0.020,14.7000,963379");
    EXPECT_EQ(CsvReadingLine(12.3456, -65536), "12.346,-1.0000,-65536");
    // A value left in the buffer by a refused read must not show up as data.
    EXPECT_EQ(AnswerLine(1.5, kFail, 963379), "1.500,device error,0");
    EXPECT_EQ(AnswerLine(1.5, kOk, 963379), "1.500,ok,963379");
}

TEST(GuidTextTest, ReadsTheIntegerPartsLittleEndian) {
    const unsigned char bytes[16] = {0x40, 0x9B, 0x2E, 0x5D, 0x13, 0x7C, 0x6F, 0x4A,
                                     0xB8, 0x52, 0x19, 0xE4, 0xC0, 0x7A, 0x3D, 0x6B};
    EXPECT_EQ(FormatGuid(bytes), "5D2E9B40-7C13-4A6F-B852-19E4C07A3D6B");
}

bool Parse(const std::vector<std::string>& args, Options& options, std::string& error) {
    options = Options();
    error.clear();
    return ParseOptions(args, options, error);
}

TEST(OptionsTest, TakesTheLibraryAndEveryOption) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"Lamdex.dll", "--interval-ms", "50", "--seconds", "2.5", "--readings", "10", "--csv", "out.csv",
                       "--raw", "--configure"},
                      o, error))
        << error;
    EXPECT_EQ(o.library, "Lamdex.dll");
    EXPECT_EQ(o.intervalMs, 50);
    EXPECT_DOUBLE_EQ(o.seconds, 2.5);
    EXPECT_EQ(o.readings, 10u);
    EXPECT_EQ(o.csvPath, "out.csv");
    EXPECT_TRUE(o.raw);
    EXPECT_TRUE(o.Polls()) << "--configure with a time limit polls afterwards";
}

TEST(OptionsTest, DefaultsAndWhatPolls) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"x.dll"}, o, error));
    EXPECT_EQ(o.intervalMs, 20);
    EXPECT_DOUBLE_EQ(o.seconds, 5.0);
    EXPECT_TRUE(o.Polls());

    ASSERT_TRUE(Parse({"x.dll", "--readings", "3"}, o, error));
    EXPECT_DOUBLE_EQ(o.seconds, 60.0) << "a silent device still ends the run";

    ASSERT_TRUE(Parse({"x.dll", "--configure"}, o, error));
    EXPECT_FALSE(o.Polls());
    ASSERT_TRUE(Parse({"x.dll", "--info"}, o, error));
    EXPECT_FALSE(o.Polls());
    ASSERT_TRUE(Parse({"--help"}, o, error)) << "help needs no library";
}

TEST(OptionsTest, RejectsWhatItCannotUse) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"x.dll", "--seconds"},
        {"x.dll", "--seconds", "-1"},
        {"x.dll", "--seconds", "nan"},
        {"x.dll", "--seconds", "2s"},
        {"x.dll", "--interval-ms", "-5"},
        {"x.dll", "--interval-ms", "99999999999999999999"},
        {"x.dll", "--readings", "0"},
        {"x.dll", "--quiet", "0"},
        {"x.dll", "--verbose"},
        {"x.dll", "y.dll"},
    };
    for (const auto& args : bad) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << (args.empty() ? "(nothing)" : args.back());
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
