#include "app/reports/report_designs.h"

#include <algorithm>
#include <cctype>

#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/pictures.h"

namespace sitedex::app::reports {

using ui::Band;
using ui::ReportFont;

namespace {

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

// A field's text through its report picture, without the picture's padding.
std::string shown(const char* field, const char* picture) {
    return trimmed(runtime::format(picture, data::getString(data::findField(field))));
}

constexpr int kTitleY = 40;
constexpr int kHeadingBoxY = 260;
constexpr int kHeadingBoxHeight = 460;
constexpr int kWidth = 6000;

Band locationsHeader(const char* title) {
    Band b;
    b.height = 719;
    b.text(0, kTitleY, kWidth, title, ReportFont::kBold);
    b.box(0, kHeadingBoxY, kWidth, kHeadingBoxHeight, true);
    b.text(50, 310, 4400, "Location");
    b.text(52, 500, 4400, "Description");
    b.text(4479, 313, 980, "Category");
    b.text(5469, 313, 520, "Rating");
    b.text(4479, 500, 1500, "Keyword");
    return b;
}

Band categoriesHeader(const char* title) {
    Band b;
    b.height = 719;
    b.text(0, kTitleY, kWidth, title, ReportFont::kBold);
    b.box(0, kHeadingBoxY, kWidth, kHeadingBoxHeight, true);
    b.text(52, 410, 2300, "Category");
    b.text(2427, 410, 3500, "Description");
    return b;
}

}  // namespace

const std::vector<ReportDesign>& reportDesigns() {
    static const std::vector<ReportDesign> designs = {
        {"PrintURL:K_Description", "description", "URLs by Description", &data::SITEDX, "URL:K_DESCRIPTION", "SITEDX",
         false},
        {"PrintURL:K_Location", "location", "URLs by Location", &data::SITEDX, "URL:K_LOCATION", "SITEDX", false},
        {"PrintURL:K_Category", "category", "URLs by Category", &data::SITEDX, "URL:K_CATEGORY", "SITEDX", false},
        {"PrintURL:K_Rating", "rating", "URLs by Rating", &data::SITEDX, "URL:K_RATING", "SITEDX", false},
        {"PrintURL:K_Keyword", "keyword", "URLs by Keyword", &data::SITEDX, "URL:K_KEYWORD", "SITEDX", false},
        {"PrintCAT:K_Category", "categories", "Categories", &data::Categories, "CAT:K_CATEGORY", "Categories", true},
    };
    return designs;
}

const ReportDesign* findReport(std::string_view name) {
    for (const ReportDesign& d : reportDesigns()) {
        std::string_view n = d.name;
        if (n.size() == name.size() && std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                return std::tolower((unsigned char)a) == std::tolower((unsigned char)b);
            }))
            return &d;
    }
    return nullptr;
}

std::string pageNumberText(int page) {
    return runtime::format("@pPage <<<#p", double(page));
}

ui::ReportLayout reportLayout(const ReportDesign& design, ui::PaperSize paper) {
    ui::ReportLayout layout;
    layout.paper = paper;
    layout.pageHeader = design.categories ? categoriesHeader(design.title) : locationsHeader(design.title);
    layout.pageFooter = [](int page) {
        Band b;
        b.height = 219;
        b.rightText(0, 0, kWidth, pageNumberText(page));
        return b;
    };
    return ui::fitToPaper(std::move(layout));
}

ui::Band detailBand(const ReportDesign& design) {
    Band b;
    if (design.categories) {
        b.height = 280;
        b.text(52, 52, 2260, shown("CAT:CATEGORY", "@s30"));
        b.wrappedText(2427, 31, 3510, 208, trimmed(data::Categories.memo(0)));
        return b;
    }
    b.height = 510;
    b.text(52, 52, 4396, shown("URL:LOCATION", "@S100"));
    b.text(4469, 52, 1125, shown("URL:CATEGORY", "@S30"));
    b.rightText(5667, 42, 271, trimmed(runtime::format("@N2", data::getNumber(data::findField("URL:RATING")))));
    b.text(42, 219, 4375, shown("URL:DESCRIPTION", "@S100"));
    b.text(4469, 219, 1400, shown("URL:KEYWORD", "@s10"));
    return b;
}

}  // namespace sitedex::app::reports
