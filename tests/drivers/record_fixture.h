#pragma once
// Shared helpers of the record engine tests: a fresh temporary directory per test, the locations
// layout as an engine schema, and record images built from field texts.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "drivers/record/table.h"

namespace sitedex::record::testing {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vlxtest-XXXXXX").string();
        char* p = ::mkdtemp(tmpl.data());
        if (!p) std::abort();
        m_path = p;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline Field stringField(const std::string& name, uint16_t offset, uint16_t size) {
    Field f;
    f.type = kTypeString;
    f.name = name;
    f.offset = offset;
    f.size = size;
    return f;
}

// The locations layout: LOCATION 255, DESCRIPTION 100, CATEGORY 30, RATING DECIMAL(2,0), KEYWORD 10,
// memo SITEINFO, and its six keys.
inline Schema locationsSchema() {
    Schema s;
    s.recordSize = 397;
    s.fields.push_back(stringField("URL:LOCATION", 0, 255));
    s.fields.push_back(stringField("URL:DESCRIPTION", 255, 100));
    s.fields.push_back(stringField("URL:CATEGORY", 355, 30));
    Field rating;
    rating.type = kTypeDecimal;
    rating.name = "URL:RATING";
    rating.offset = 385;
    rating.size = 2;
    rating.digits = 2;
    s.fields.push_back(rating);
    s.fields.push_back(stringField("URL:KEYWORD", 387, 10));
    Memo m;
    m.name = "URL:SITEINFO";
    m.maxSize = 1000;
    s.memos.push_back(m);
    auto key = [&](const char* name, uint8_t attr, std::vector<KeyPart> parts) {
        Key k;
        k.name = name;
        k.attributes = attr;
        k.parts = std::move(parts);
        s.keys.push_back(k);
    };
    key("URL:K_LOCATION", 6, {{0, false}});
    key("URL:K_DESCRIPTION", 7, {{1, false}});
    key("URL:K_CATEGORY", 5, {{2, false}, {1, false}});
    key("URL:K_CATEGORYLOCATION", 7, {{2, false}, {0, false}});
    key("URL:K_RATING", 5, {{3, true}, {1, false}, {0, false}});
    key("URL:K_KEYWORD", 5, {{4, false}, {1, false}, {0, false}});
    return s;
}

inline void setText(std::string& rec, size_t off, size_t size, const std::string& text) {
    std::string v = text.substr(0, size);
    v.resize(size, ' ');
    rec.replace(off, size, v);
}

// A DECIMAL(2,0) value in two bytes: sign nibble, then three digits.
inline void setRating(std::string& rec, int value) {
    int a = value < 0 ? -value : value;
    rec[385] = char(((value < 0 ? 0xF : 0) << 4) | (a / 100 % 10));
    rec[386] = char(((a / 10 % 10) << 4) | (a % 10));
}

inline std::string location(const std::string& url, const std::string& desc = "", const std::string& cat = "",
                            int rating = 0, const std::string& keyword = "") {
    std::string rec(397, ' ');
    setText(rec, 0, 255, url);
    setText(rec, 255, 100, desc);
    setText(rec, 355, 30, cat);
    setRating(rec, rating);
    setText(rec, 387, 10, keyword);
    return rec;
}

inline std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

inline PagerOptions fastOptions() {
    PagerOptions o;
    o.durability = Durability::kProcessCrash;
    return o;
}

// A new, empty file of the locations layout at `path`, opened into `file` (left empty on failure).
inline void createLocationsFile(const std::string& path, std::unique_ptr<RecordFile>& file) {
    Schema s = locationsSchema();
    ASSERT_TRUE(RecordFile::create(path, "UNNAMED", s, fastOptions()).ok());
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), file).ok());
}

}  // namespace sitedex::record::testing
