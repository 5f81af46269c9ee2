// The export writers byte for byte: every type with every combination of the site-info and rating
// flags, the description order, a category selected in other letter case, the frame pages with
// and without BodyInFrame, and the empty database, against golden files written from the one
// fixture database (tests/data/export). SITEDEX_UPDATE_GOLDEN=1 writes the files anew
// instead of comparing; read the difference before committing it.

#include <cstdlib>
#include <fstream>

#include "app/export/export_options.h"
#include "tests/app/export_fixture.h"

namespace sitedex::app::exporting {
namespace {

using testing::ExportTest;

std::string goldenPath(const std::string& name) {
    return std::string(SITEDEX_TEST_DATA) + "/export/" + name + ".golden";
}

void expectGolden(const std::string& name, const std::string& actual) {
    const std::string path = goldenPath(name);
    if (std::getenv("SITEDEX_UPDATE_GOLDEN")) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    const std::string expected = sitedex::testing::readFile(path);
    ASSERT_FALSE(expected.empty()) << "no golden file " << path;
    if (expected == actual)
        return;
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    const size_t lineStart = expected.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
    ADD_FAILURE() << name << " differs from its golden file at byte " << at
                  << ":\n expected: " << expected.substr(from, 160) << "\n actual:   " << actual.substr(from, 160);
}

struct GoldenCase {
    const char* name;
    ExportType type;
    bool siteInfo, ratings;
};

constexpr GoldenCase kEveryTypeAndFlags[] = {
    {"simple-siteinfo-rating", ExportType::kSimple, true, true},
    {"simple-siteinfo", ExportType::kSimple, true, false},
    {"simple-rating", ExportType::kSimple, false, true},
    {"simple-plain", ExportType::kSimple, false, false},
    {"table-siteinfo-rating", ExportType::kTable, true, true},
    {"table-siteinfo", ExportType::kTable, true, false},
    {"table-rating", ExportType::kTable, false, true},
    {"table-plain", ExportType::kTable, false, false},
    {"frame-siteinfo-rating", ExportType::kFrame, true, true},
    {"frame-siteinfo", ExportType::kFrame, true, false},
    {"frame-rating", ExportType::kFrame, false, true},
    {"frame-plain", ExportType::kFrame, false, false},
    {"ascii-siteinfo-rating", ExportType::kAscii, true, true},
    {"ascii-siteinfo", ExportType::kAscii, true, false},
    {"ascii-rating", ExportType::kAscii, false, true},
    {"ascii-plain", ExportType::kAscii, false, false},
    {"csv-siteinfo-rating", ExportType::kCommaDelimited, true, true},
    {"csv-siteinfo", ExportType::kCommaDelimited, true, false},
    {"csv-rating", ExportType::kCommaDelimited, false, true},
    {"csv-plain", ExportType::kCommaDelimited, false, false},
    {"bookmarks-siteinfo-rating", ExportType::kBookmarkFile, true, true},
    {"bookmarks-plain", ExportType::kBookmarkFile, false, false},
};

class ExportGolden : public ExportTest {};

TEST_F(ExportGolden, EveryTypeWithEveryFlagCombination) {
    fillFixture();
    for (const GoldenCase& c : kEveryTypeAndFlags) {
        SCOPED_TRACE(c.name);
        const Outcome r = runExport(options(c.type, c.siteInfo, c.ratings));
        ASSERT_TRUE(r.succeeded) << r.error;
        EXPECT_EQ(r.exported, int64_t(testing::fixtureLocations().size()));
        expectGolden(c.name, allOutput(r.files));
    }
}

TEST_F(ExportGolden, OrderSelectionAndBodyInFrame) {
    fillFixture();
    ExportOptions byDescription = options(ExportType::kTable);
    byDescription.byDescription = true;
    ExportOptions selected = options(ExportType::kTable);
    selected.selectedOnly = true;
    selected.category = "mUSIC  ";  // other letter case, trailing blanks
    ExportOptions selectedFrame = options(ExportType::kFrame);
    selectedFrame.selectedOnly = true;
    selectedFrame.category = "MUSIC";
    ExportOptions body = options(ExportType::kFrame);
    body.bodyInFrame = true;
    body.fileName = m_dir.file("LINKS.HTM");
    const std::pair<const char*, ExportOptions> cases[] = {{"table-by-description", byDescription},
                                                           {"table-selected-music", selected},
                                                           {"frame-selected-music", selectedFrame},
                                                           {"frame-body-in-frame", body}};
    for (const auto& [name, o] : cases) {
        SCOPED_TRACE(name);
        const Outcome r = runExport(o);
        ASSERT_TRUE(r.succeeded) << r.error;
        expectGolden(name, allOutput(r.files));
    }

    // Without a page title, the category pages carry <body> only with BodyInFrame.
    data::CatHTML.clear();
    data::setString(data::findField("HTM:CATEGORY"), "_Before All");
    data::setString(data::findField("HTM:TYPEOFHTML"), "Replace Title");
    ASSERT_EQ(data::get(data::CatHTML, *data::CatHTML.findKey("HTM:KEYCATEGORYHTML")), 0);
    ASSERT_EQ(data::deleteRecord(data::CatHTML), 0);
    for (bool bodyInFrame : {false, true}) {
        const std::string name = bodyInFrame ? "frame-untitled-body-in-frame" : "frame-untitled";
        SCOPED_TRACE(name);
        ExportOptions o = selectedFrame;
        o.bodyInFrame = bodyInFrame;
        const Outcome r = runExport(o);
        ASSERT_TRUE(r.succeeded) << r.error;
        expectGolden(name, allOutput(r.files));
    }
}

TEST_F(ExportGolden, EmptyDatabaseGivesTheEmptyPage) {
    const std::pair<const char*, ExportType> cases[] = {{"empty-simple", ExportType::kSimple},
                                                        {"empty-table", ExportType::kTable},
                                                        {"empty-frame", ExportType::kFrame},
                                                        {"empty-ascii", ExportType::kAscii},
                                                        {"empty-bookmarks", ExportType::kBookmarkFile}};
    for (const auto& [name, type] : cases) {
        SCOPED_TRACE(name);
        const Outcome r = runExport(options(type));
        ASSERT_TRUE(r.succeeded) << r.error;
        EXPECT_EQ(r.exported, 0);
        expectGolden(name, allOutput(r.files));
    }
}

}  // namespace
}  // namespace sitedex::app::exporting
