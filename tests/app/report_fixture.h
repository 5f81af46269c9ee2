#pragma once
// A collection of about 60 locations in 6 categories for the report tests, the order each report
// key puts them in (worked out here independently of the record files), and pdftotext.
//
// The locations are short enough to fit their column, so a printed list shows each one whole; one
// has no description (left out of the description key, but printed all the same), one description
// is not ASCII, and one category description runs over several lines.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace sitedex::testing {

struct FixtureLocation {
    std::string location, description, category, keyword;
    int rating = 0;
};

struct FixtureCategory {
    std::string name, description;
};

inline std::vector<FixtureCategory> fixtureCategories() {
    return {
        {"Cooking", "Recipes and kitchens"},
        {"News", "Daily papers and agencies"},
        {"Programming",
         "Languages, libraries and the people who write them. A description long enough to take "
         "several lines in the category list, so that its band grows.\nA second paragraph."},
        {"Science", "Journals"},
        {"Software", "Free software projects"},
        {"Travel", "Maps and timetables"},
    };
}

inline std::vector<FixtureLocation> fixtureLocations() {
    static const char* const kWords[] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo",   "Foxtrot", "Golf",
                                         "Hotel", "India", "Juliet",  "Kilo",  "Lima",   "Mike",    "November",
                                         "Oscar", "Papa",  "Quebec",  "Romeo", "Sierra", "Tango"};
    static const char* const kThings[] = {"Weather", "Archive", "Journal"};
    static const char* const kSchemes[] = {"http", "https", "ftp"};
    const auto categories = fixtureCategories();
    std::vector<FixtureLocation> all;
    for (int i = 0; i < 58; ++i) {
        FixtureLocation l;
        const char* scheme = kSchemes[(i * 5) % 3];
        char location[80];
        std::snprintf(location, sizeof location, "%s://site%02d.example.org/%s", scheme, (i * 37) % 100,
                      kWords[i % 20]);
        l.location = location;
        l.description = std::string(kWords[(i * 3) % 20]) + " " + kThings[i % 3] + " " + std::to_string(i);
        l.category = categories[size_t(i % 6)].name;
        l.keyword = scheme;
        l.rating = (i * 7) % 11;
        all.push_back(l);
    }
    all.push_back({"https://cafe.example.org/", "Caf\xC3\xA9 M\xC3\xBCller \xE2\x80\x93 Z\xC3\xBCrich recipes",
                   "Cooking", "https", 9});
    all.push_back({"ftp://blank.example.org/pub/", "", "Software", "ftp", 3});
    return all;
}

inline std::string upperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

// The locations in the order of a report key ("description", "location", "category", "rating",
// "keyword"): the key's fields compared without regard to ASCII letter case, byte by byte.
// Records with a blank description come first in the description order.
inline std::vector<FixtureLocation> inKeyOrder(std::vector<FixtureLocation> all, const std::string& order) {
    using Key = std::function<std::vector<std::string>(const FixtureLocation&)>;
    Key key;
    char rating[16];
    if (order == "description")
        key = [](const FixtureLocation& l) { return std::vector<std::string>{upperAscii(l.description)}; };
    if (order == "location")
        key = [](const FixtureLocation& l) { return std::vector<std::string>{upperAscii(l.location)}; };
    if (order == "category")
        key = [](const FixtureLocation& l) {
            return std::vector<std::string>{upperAscii(l.category), upperAscii(l.description)};
        };
    if (order == "rating")
        key = [&rating](const FixtureLocation& l) {
            std::snprintf(rating, sizeof rating, "%02d", 10 - l.rating);  // highest first
            return std::vector<std::string>{rating, upperAscii(l.description), upperAscii(l.location)};
        };
    if (order == "keyword")
        key = [](const FixtureLocation& l) {
            return std::vector<std::string>{upperAscii(l.keyword), upperAscii(l.description), upperAscii(l.location)};
        };
    std::stable_sort(all.begin(), all.end(),
                     [&](const FixtureLocation& a, const FixtureLocation& b) { return key(a) < key(b); });
    return all;
}

inline bool havePdfToText() {
    return std::system("command -v pdftotext >/dev/null 2>&1") == 0;
}

// The text of a PDF as `pdftotext -layout` gives it.
inline std::string pdfLayoutText(const std::string& pdf) {
    const std::string txt = pdf + ".txt";
    const std::string cmd = "pdftotext -layout '" + pdf + "' '" + txt + "'";
    if (std::system(cmd.c_str()) != 0)
        return {};
    FILE* f = std::fopen(txt.c_str(), "rb");
    if (!f)
        return {};
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

}  // namespace sitedex::testing
