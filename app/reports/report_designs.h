#pragma once
// The six printed lists: the locations in the order of one of five keys, and the categories. Each
// design says which file and key it reads, its title, and how its page header, detail band and page
// footer look (thousandths of an inch, relative to each band; the report engine places the bands).
//
// Page: header at (1000, 1000), 6000 x 719, holding the bold title and, below it, the grey box of the
// column headings; body from y 1720, 7281 high; footer at y 9000 with "Page" and the page number
// right-aligned in four places. Locations take two lines each (location, category, rating; then
// description and keyword); a category takes one line with its description wrapped beside it.
//
// Callers: the report procedures and `sitedex report`.

#include <string>
#include <string_view>
#include <vector>

#include "data/declarations.h"
#include "ui/report_engine.h"

namespace sitedex::app::reports {

struct ReportDesign {
    const char* procedure;  // the name the frame's menu starts it by
    const char* name;       // the command line's name
    const char* title;      // printed at the top of every page
    data::FileDecl* file;
    const char* key;
    const char* fileLabel;  // the file's name in warnings
    bool categories;        // the category list (else a location list)
};

const std::vector<ReportDesign>& reportDesigns();
// By the command line's name (letter case ignored), or nullptr.
const ReportDesign* findReport(std::string_view name);

// The page layout of a design on that paper (its header band and page footers included).
ui::ReportLayout reportLayout(const ReportDesign& design, ui::PaperSize paper);
// The detail band of the record in the design file's record buffer.
ui::Band detailBand(const ReportDesign& design);
// The footer text of a page: "Page" and the number right-aligned in four places.
std::string pageNumberText(int page);

}  // namespace sitedex::app::reports
