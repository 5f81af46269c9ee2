#include "runtime/pictures.h"
#include "runtime/dates.h"

#include <gtest/gtest.h>

#include <string>

namespace sitedex::runtime {
namespace {

struct NumberCase {
    const char* picture;
    double value;
    const char* shown;
};

TEST(Pictures, NumbersPatternsAndScientific) {
    const NumberCase cases[] = {
        // The progress windows' percent and the lists' rating.
        {"@N3", 5, "  5"},
        {"N3", 100, "100"},
        {"@N3", 0, "  0"},
        {"@N3b", 0, "   "},
        {"@N3", 1000, "###"},
        {"@N2", 10, "10"},
        // Grouping, decimals, rounding half away from zero.
        {"@N10.2", 1234.5, "  1,234.50"},
        {"@N10.2", -1234.5, " -1,234.50"},
        {"@N6.2", 2.675, "  2.68"},
        {"@N4", 2.5, "   3"},
        {"@N4", -2.5, "  -3"},
        {"@N4", -0.4, "   0"},
        {"@n12", 1234567, "   1,234,567"},
        // Fill turns the default grouping off; explicit grouping characters.
        {"@N010", 42, "0000000042"},
        {"@N*8", 1234, "****1234"},
        {"@N_6", 1234, "  1234"},
        {"@N10_", 1234567, " 1 234 567"},
        {"@N12`2", 1234567.891, "1.234.567,89"},
        {"@N10v2", 12.34, "      1234"},
        // Sign marks and currency.
        {"@N-10.2", -5, "     -5.00"},
        {"@N10.2-", -5, "     5.00-"},
        {"@N10.2-", 5, "     5.00 "},
        {"@N(10.2)", -5, "    (5.00)"},
        {"@N(10.2)", 5, "     5.00 "},
        {"@N$10.2", 1234.5, " $1,234.50"},
        {"@N$-010.2", -3, "$-00003.00"},
        {"@N9.2~ EUR~", 3.5, " 3.50 EUR"},
        {"@N~~~~6", 7, "    ~7"},
        // The report footer and other patterns.
        {"pPage <<<#p", 5, "Page    5"},
        {"@pPage <<<#p", 1234, "Page 1234"},
        {"pPage <<<#p", 12345, "#########"},
        {"@P<<<,<<#P", 1234, "  1,234"},
        {"@P<<<,<<#P", 12, "     12"},
        {"@P###-##P", 1234, "012-34"},
        {"@P<<#P", -7, " -7"},
        {"@P###Pb", 0, "   "},
        {"@E10.2", 1234.5, "  1.23e+03"},
        {"@E10.2", -0.00125, " -1.25e-03"},
        {"@E5.2", 1234.5, "#####"},
        // A number through S shows its plain text.
        {"@S6", 2.5, "2.5   "},
    };
    for (const NumberCase& c : cases)
        EXPECT_EQ(format(c.picture, c.value), c.shown) << c.picture << " of " << c.value;
}

TEST(Pictures, StringsAndKeyIn) {
    EXPECT_EQ(format("@S5", std::string_view("abcdefg")), "abcde");
    EXPECT_EQ(format("@s10", std::string_view("abc")), "abc       ");
    EXPECT_EQ(format("@S3", std::string_view("h\xC3\xA9llo")), "h\xC3\xA9l");  // cut at a character
    EXPECT_EQ(format("@S0", std::string_view("abc")), "");
    EXPECT_EQ(format("@K###-####K", std::string_view("5551234")), "555-1234");
    EXPECT_EQ(format("@K^^-__K", std::string_view("abCD")), "AB-cd");
    EXPECT_EQ(format("@K\\#?#K", std::string_view("x5")), "#x5");
    EXPECT_EQ(deformat("@K###-####K", "555-1234"), "5551234");
    EXPECT_EQ(format("@N6.1", std::string_view(" 12.34xyz")), "  12.3");  // text read as its leading number
}

TEST(Pictures, InvalidPicturesFallBackToPlainText) {
    for (const char* bad : {"@X3", "@N", "@D19", "@D0", "@T7", "@N(5", "@N5-)", "@S", "@P##", "@N-5-", "@N$5$",
                            "@N~abc", "@E", "@S999999", "", "@"}) {
        EXPECT_EQ(compilePicture(bad), nullptr) << bad;
        EXPECT_EQ(format(bad, 12.0), "12") << bad;
        EXPECT_EQ(deformat(bad, "x y"), "x y") << bad;
    }
    // Compiled once: the same text hands back the same picture.
    EXPECT_EQ(compilePicture("@N10.2").get(), compilePicture("@N10.2").get());
}

TEST(Pictures, DatesAndTimes) {
    const std::int64_t sep5 = dayNumber(2026, 9, 5);  // a Saturday
    struct Case {
        const char* picture;
        std::int64_t value;
        const char* shown;
    } cases[] = {
        {"@D2", 4, "1/01/1801"},
        {"@D2", 36527, "12/31/1900"},
        {"@D2", 36528, "1/01/1901"},
        {"@D1", sep5, "9/05/26"},
        {"@D3", sep5, "Sep 5, 2026"},
        {"d4", sep5, "September 5, 2026"},
        {"@D5", sep5, "5/09/26"},
        {"@D6", sep5, "5/09/2026"},
        {"@D7", sep5, "5 Sep 26"},
        {"@D8", sep5, "5 Sep 2026"},
        {"@D9", sep5, "26/09/05"},
        {"@D10", sep5, "2026/09/05"},
        {"@D11", sep5, "260905"},
        {"@D12", sep5, "20260905"},
        {"@D13", sep5, "9/26"},
        {"@D14", sep5, "9/2026"},
        {"@D15", sep5, "26/09"},
        {"@D16", sep5, "2026/09"},
        {"@D17", sep5, "5 September 2026"},
        {"@D18", sep5, "September 5 2026"},
        {"@D2", 0, ""},
        {"@D2", kLastDayNumber + 1, ""},
        {"@T1", 1, "00:00"},
        {"@T4", 8640000, "23:59:59"},
        {"@T1", timeValue(13, 5, 7), "13:05"},
        {"@T2", timeValue(13, 5, 7), "1305"},
        {"t3", timeValue(13, 5, 7), "1:05PM"},
        {"@T3", 1, "12:00AM"},
        {"@T3", timeValue(12, 0, 0), "12:00PM"},
        {"@T5", timeValue(9, 5, 7), "090507"},
        {"@T6", timeValue(9, 5, 7), "9:05:07AM"},
        {"@T1", 0, ""},
        {"@T1", 8640001, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(format(c.picture, double(c.value)), c.shown) << c.picture << " of " << c.value;
    EXPECT_EQ(formatDateModel(sep5, "WWW, NNNNNNNNN dd, yyyy"), "Sat, September 05, 2026");
}

TEST(Pictures, EveryDateAndTimePictureRoundTrips) {
    pinCenturyReferenceYear(2026);  // two-digit years read into 1946 .. 2045
    const std::int64_t days[] = {dayNumber(1946, 1, 1),  dayNumber(1999, 12, 31), dayNumber(2000, 2, 29),
                                 dayNumber(2024, 2, 29), dayNumber(2026, 9, 5),   dayNumber(2045, 12, 31)};
    for (int n = 1; n <= 18; ++n) {
        const std::string pic = "@D" + std::to_string(n);
        const bool hasDay = std::string(kDateModels[n]).find_first_of("Dd") != std::string::npos;
        for (std::int64_t day : days) {
            const std::string shown = format(pic, double(day));
            const std::string back = deformat(pic, shown);
            ASSERT_FALSE(back.empty()) << pic << " " << shown;
            if (hasDay)
                EXPECT_EQ(back, std::to_string(day)) << pic << " " << shown;
            else
                EXPECT_EQ(format(pic, double(std::stoll(back))), shown) << pic;  // month pictures keep the month
        }
    }
    const std::int64_t times[] = {
        1, timeValue(0, 0, 59), timeValue(9, 5, 7), timeValue(12, 0, 0), timeValue(12, 30, 1), timeValue(23, 59, 59)};
    for (int n = 1; n <= 6; ++n) {
        const std::string pic = "@T" + std::to_string(n);
        const bool hasSeconds = std::string(kTimeModels[n]).find('s') != std::string::npos;
        for (std::int64_t t : times) {
            const std::string shown = format(pic, double(t));
            const std::string back = deformat(pic, shown);
            ASSERT_FALSE(back.empty()) << pic << " " << shown;
            if (hasSeconds)
                EXPECT_EQ(back, std::to_string(t)) << pic << " " << shown;
            else
                EXPECT_EQ(format(pic, double(std::stoll(back))), shown) << pic;
        }
    }
    pinCenturyReferenceYear(0);
}

TEST(Pictures, DeformatReadsTypedTextAndRefusesNonsense) {
    pinCenturyReferenceYear(2026);
    struct Case {
        const char* picture;
        const char* typed;
        std::string value;  // "" = refused
    } cases[] = {
        {"@D2", "9/5/2026", std::to_string(dayNumber(2026, 9, 5))},
        {"@D1", "9-5-26", std::to_string(dayNumber(2026, 9, 5))},
        {"@D1", "9/5/99", std::to_string(dayNumber(1999, 9, 5))},
        {"@D3", "sept 5 2026", std::to_string(dayNumber(2026, 9, 5))},
        {"@D8", " 5 SEP 2026 ", std::to_string(dayNumber(2026, 9, 5))},
        {"@D2", "", "0"},
        {"@D2", "2/30/2023", ""},
        {"@D2", "13/01/2023", ""},
        {"@D2", "1/1/2023/7", ""},
        {"@D3", "Foo 5, 2026", ""},
        {"@D12", "2026095", ""},
        {"@T3", "1:05PM", std::to_string(timeValue(13, 5, 0))},
        {"@T3", "1pm", std::to_string(timeValue(13, 0, 0))},
        {"@T3", "12:00 am", "1"},
        {"@T4", "13:05", std::to_string(timeValue(13, 5, 0))},
        {"@T4", "13:05:07.5", std::to_string(timeValue(13, 5, 7, 50))},
        {"@T4", "24:00:00", ""},
        {"@T1", "12:60", ""},
        {"@T3", "13:00PM", ""},
        {"@T1", "noon", ""},
        {"@N10.2", "1,234.50", "1234.5"},
        {"@N(10.2)", "(5.00)", "-5"},
        {"@N10.2-", "5.00-", "-5"},
        {"@N$10.2", " $7.25", "7.25"},
        {"@N10v2", "1234", "12.34"},
        {"@N12`2", "1.234,5", "1234.5"},
        {"@N10.2", "abc", ""},
        {"@N10.2", "", "0"},
        {"pPage <<<#p", "Page   42", "42"},
        {"@E10.2", "1.5e2", "150"},
        {"@E10.2", "x", ""},
        {"@S4", "abcdef", "abcd"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(deformat(c.picture, c.typed), c.value) << c.picture << " '" << c.typed << "'";
    pinCenturyReferenceYear(0);
}

TEST(Pictures, RegionalSettingsBecomeModels) {
    EXPECT_EQ(modelFromRegionalDate("MM/dd/yy"), "mm/dd/yy");
    EXPECT_EQ(regionalLongDateModel(), "WWW, NNNNNNNNN dd, yyyy");
    EXPECT_EQ(modelFromRegionalDate("d 'de' MMMM yyyy"), "Dd \\d\\e NNNNNNNNN yyyy");
    const std::int64_t day = dayNumber(2026, 9, 5);
    EXPECT_EQ(formatDateModel(day, regionalShortDateModel()), "09/05/26");
    EXPECT_EQ(formatDateModel(day, regionalLongDateModel()), "Sat, September 05, 2026");
    EXPECT_EQ(formatDateModel(day, modelFromRegionalDate("d 'de' MMMM yyyy")), "5 de September 2026");

    RegionalSettings saved = regionalSettings();
    RegionalSettings r = saved;
    r.s1159 = "am";
    r.s2359 = "pm";
    r.iTime = 1;
    r.iTLzero = 1;
    r.sTime = ".";
    setRegionalSettings(r);
    EXPECT_EQ(format("@T3", double(timeValue(13, 5, 0))), "1:05pm");
    EXPECT_EQ(formatTimeModel(timeValue(9, 5, 0), regionalTimeModel()), "09.05");
    setRegionalSettings(saved);

    RegionalSettings read = readRegionalSettings([](std::string_view key, std::string_view def) -> std::string {
        if (key == "iTime")
            return "1";
        if (key == "sShortDate")
            return "dd.MM.yyyy";
        return std::string(def);
    });
    EXPECT_EQ(read.iTime, 1);
    EXPECT_EQ(read.s1159, "AM");
    EXPECT_EQ(modelFromRegionalDate(read.sShortDate), "dd.mm.yyyy");
}

}  // namespace
}  // namespace sitedex::runtime
