// A browse in a real window (offscreen): a categories list over URL_C.VLX described by a
// BrowseDescription, with an update procedure registered by the test. The list box shows only the
// rows that fit, formats its columns by the list format, turns keys at the page's edges into list
// events, and gives its format back with the user's column widths.
//
// With SITEDEX_BROWSE_SHOW=<milliseconds> the window stays up that long once filled (for a look at
// it under a real display).

#include <cstdlib>

#include "app/maintenance/browse_window.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/procedures.h"
#include "tests/app/browse_fixture.h"
#include "ui/list_box.h"
#include "ui/list_format.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {
namespace {

using namespace runtime;
using testing::takeCallRequest;

const char* const kCategories[][2] = {
    {"Arts & Culture", "Museums, galleries, theatre and the performing arts"},
    {"Auctions", "Online auction houses and classified listings"},
    {"Banking", "Online banking, credit unions and payment services"},
    {"Books", "Booksellers, reviews, e-texts and literary magazines"},
    {"Business", "Company news, trade journals and business directories"},
    {"Cars", "Manufacturers, dealers, reviews and motoring clubs"},
    {"Comics", "Daily strips, web comics and publishers"},
    {"Computers", "Hardware vendors, drivers and technical support"},
    {"Cooking", "Recipes, cooking techniques and kitchen equipment"},
    {"Education", "Universities, courses, tutorials and reference works"},
    {"Entertainment", "Film listings, television guides and celebrity news"},
    {"Family", "Parenting, genealogy and family activities"},
    {"Finance", "Stock quotes, mutual funds and market analysis"},
    {"Games", "Game publishers, walkthroughs and online play"},
    {"Gardening", "Plants, seeds, landscaping and garden suppliers"},
    {"Government", "Agencies, forms, statistics and public records"},
    {"Health", "Medical reference, fitness and nutrition"},
    {"History", "Archives, timelines and historical societies"},
    {"Hobbies", "Model building, collecting, crafts and ham radio"},
    {"Home", "Home improvement, decorating and real estate"},
    {"Jobs", "Job boards, career advice and resume services"},
    {"Kids", "Safe sites for children, homework help and games"},
    {"Law", "Legal reference, statutes and finding a lawyer"},
    {"Music", "Artists, lyrics, concert dates and record labels"},
    {"News", "Newspapers, wire services and news magazines"},
    {"Pets", "Pet care, breeders, adoption and veterinary advice"},
    {"Photography", "Cameras, techniques, galleries and photo labs"},
    {"Programming", "Languages, libraries, compilers and developer forums"},
    {"Reference", "Dictionaries, encyclopedias, maps and almanacs"},
    {"Science", "Journals, space exploration and research institutes"},
    {"Shopping", "Online stores, price comparison and coupons"},
    {"Software", "Shareware, freeware, updates and download archives"},
    {"Sports", "Scores, teams, leagues and fantasy sports"},
    {"Travel", "Airlines, hotels, maps and travel guides"},
    {"Weather", "Forecasts, radar images and climate data"},
    {"_After All", "HTML written after everything else"},
    {"_Before All", "HTML written before anything else"},
};

struct Example {
    int thread = 0;
    ui::Window* window = nullptr;
    int list = 0, insert = 0, change = 0, remove = 0, close = 0;
    std::string formatAtClose;
    int updates = 0;
    int lastRequest = 0;
    bool ended = false;
};
Example* g_example = nullptr;

// The update procedure of the example: no form, it writes what a form would have written.
void UpdateCategoriesExample() {
    const int request = takeCallRequest();
    g_example->lastRequest = request;
    ++g_example->updates;
    int32_t result = 0;
    if (request == RequestInsert) {
        data::setString(data::findField("CAT:CATEGORY"), "Aviation");
        data::setMemo(data::Categories, 0, "Airlines, airports and flight simulators");
        result = data::add(data::Categories);
    } else if (request == RequestChange) {
        data::setString(data::findField("CAT:CATEGORY"), "Zoology");
        result = data::put(data::Categories);
    } else if (request == RequestDelete) {
        result = data::deleteRecord(data::Categories);
    }
    CallResponse() = result == 0 ? ResponseCompleted : ResponseCancelled;
}

void BrowseCategoriesExample() {
    Example& ex = *g_example;
    const int request = takeCallRequest();
    data::useFile(data::Categories);
    ui::WindowDef def;
    def.name = "BROWSECATEGORIES$WINDOW";
    def.title = "Browse Categories";
    def.kind = ui::WindowKind::kDialog;
    def.width = 330;
    def.height = 206;
    def.resizable = true;
    def.alertKeys = {kMouseLeft2, kInsertKey, kDeleteKey, kCtrlEnter};
    ex.list = def.addList({}, {6, 6, 318, 172});
    ex.insert = def.addButton("&Insert", {6, 186, 45, 14});
    ex.change = def.addButton("&Change", {55, 186, 45, 14});
    ex.remove = def.addButton("&Delete", {104, 186, 45, 14});
    ex.close = def.addButton("Cl&ose", {279, 186, 45, 14});

    BrowseDescription d;
    d.file = &data::Categories;
    d.row = {{"CAT:CATEGORY"}, {"CAT:DESCRIPTION", 1000}};
    SortOrderDescription o;
    o.key = "CAT:K_CATEGORY";
    o.locator = "CAT:CATEGORY";
    o.distribution = Distribution::kString;
    o.distributionLength = 30;
    d.orders = {o};
    d.hasUpdate = true;
    d.update = [] { (*findProcedure("UpdateCategories"))(); };
    d.format = "121L|M~Category~@s30@1020L|M~Description~@s255@";

    ui::Window w(def);
    ex.window = &w;
    BrowseList browse(w, {ex.list, 0, ex.insert, ex.change, ex.remove}, d, request);
    while (w.waitForEvent()) {
        if (browse.handleEvent()) continue;
        if (currentEvent() == kEventAccepted && acceptedControl() == ex.close) w.post(kEventCloseWindow);
        if (currentEvent() == kEventCloseWindow) ex.formatAtClose = browse.list().format();
    }
    ex.window = nullptr;
    data::releaseFile(data::Categories);
    CallResponse() = browse.engine().localResponse();
    ex.ended = true;
}

class BrowseWindow : public testing::DataDirTest {
protected:
    void SetUp() override {
        // The application first: its message box is the one put back after the test.
        ui::ensureApplication();
        DataDirTest::SetUp();
        ui::setMessageBoxResponder(nullptr);
        ui::setPopupResponder(nullptr);
        openFile(data::Categories);
        for (auto& c : kCategories) addCategory(c[0], c[1]);
        data::closeAllFiles();
        g_example = &m_example;
        registerProcedure("UpdateCategories", UpdateCategoriesExample);
        m_example.thread = ui::startProcedure(BrowseCategoriesExample, 0, "BrowseCategoriesExample");
        ASSERT_NE(m_example.thread, 0);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return m_example.window && list().rowCount() > 0; }));
    }
    void TearDown() override {
        ui::postEvent(kEventCloseWindow, 0, m_example.thread);
        EXPECT_TRUE(ui::pumpEventsUntil([&] { return m_example.ended; }));
        unregisterProcedure("UpdateCategories");
        g_example = nullptr;
        DataDirTest::TearDown();
    }
    ui::ListControl list() { return ui::ListControl(*m_example.window, m_example.list); }
    // Lets the procedure handle what the last action queued.
    void settle() { ui::pumpEventsFor(60); }
    std::string column(int c = 1) {
        std::string s;
        for (int r = 1; r <= list().rowCount(); ++r) s += (r > 1 ? "," : "") + list().cellText(r, c);
        return s;
    }
    std::string highlighted(int c = 1) { return list().cellText(list().selectedRow(), c); }
    Example m_example;
};

TEST_F(BrowseWindow, ShowsOnePageInTheFormatsColumns) {
    ui::ListControl l = list();
    const int fit = l.visibleRows();
    EXPECT_GT(fit, 5);
    EXPECT_LT(fit, int(std::size(kCategories)));
    EXPECT_EQ(l.rowCount(), fit) << "exactly the rows that fit";
    EXPECT_EQ(l.cellText(1, 1), "Arts & Culture");
    EXPECT_EQ(l.cellText(1, 2), "Museums, galleries, theatre and the performing arts");
    EXPECT_EQ(l.selectedRow(), 1);
    ASSERT_EQ(l.columnCount(), 2);
    EXPECT_GT(l.columnWidthPixels(2), l.columnWidthPixels(1) * 5);
    settle();
    EXPECT_TRUE(l.scrollBarShown());
    EXPECT_EQ(l.thumb(), 0);

    if (const char* show = std::getenv("SITEDEX_BROWSE_SHOW")) ui::pumpEventsFor(std::atoi(show));
}

TEST_F(BrowseWindow, KeysAtThePageEdgesScrollThePage) {
    ui::ListControl l = list();
    const int fit = l.visibleRows();
    l.pressKey(kDownKey);
    settle();
    EXPECT_EQ(highlighted(), "Auctions");
    const std::string pageEnd = l.cellText(fit, 1);
    l.pressKey(kPgDnKey);  // the page slides by a page; the highlight keeps its row
    settle();
    EXPECT_EQ(l.selectedRow(), 2);
    EXPECT_GT(l.cellText(1, 1), pageEnd);
    l.pressKey(kPgUpKey);  // and back
    settle();
    EXPECT_EQ(l.selectedRow(), 2);
    EXPECT_EQ(highlighted(), "Auctions");
    for (int r = 2; r < fit; ++r) l.pressKey(kDownKey);  // to the last row of the page
    settle();
    EXPECT_EQ(l.selectedRow(), fit);
    const std::string last = highlighted();
    l.pressKey(kDownKey);  // past the edge: the page slides by one
    settle();
    EXPECT_EQ(l.cellText(fit - 1, 1), last);
    EXPECT_EQ(l.cellText(1, 1), "Auctions");
    l.pressKey(kEndKey);
    settle();
    EXPECT_EQ(highlighted(), "_Before All");
    EXPECT_GT(l.thumb(), 90);
    l.pressKey(kHomeKey);
    settle();
    EXPECT_EQ(highlighted(), "Arts & Culture");
    l.pressKey('P', 'p');
    settle();
    EXPECT_EQ(highlighted(), "Pets");
    l.pressKey('p', 'p');
    settle();
    EXPECT_EQ(highlighted(), "Photography");
    l.dragThumb(100);
    settle();
    EXPECT_EQ(highlighted(), "_Before All");
}

TEST_F(BrowseWindow, UpdateProcedureAndContextMenu) {
    ui::ListControl l = list();
    l.pressKey('G', 'g');
    settle();
    EXPECT_EQ(highlighted(), "Games");
    l.pressKey(kCtrlEnter);
    settle();
    EXPECT_EQ(m_example.lastRequest, RequestChange);
    EXPECT_EQ(highlighted(), "Zoology") << "the changed record, highlighted at its new place";
    EXPECT_EQ(highlighted(2), "Game publishers, walkthroughs and online play");

    std::vector<std::string> menu;
    ui::setPopupResponder([&](const std::vector<std::string>& items) {
        menu = items;
        return 1;  // Insert
    });
    l.clickRow(2, true);
    settle();
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(m_example.lastRequest, RequestInsert);
    EXPECT_EQ(highlighted(), "Aviation");
    EXPECT_EQ(l.cellText(1, 1), "Aviation");

    l.pressKey(kDeleteKey);
    settle();
    EXPECT_EQ(m_example.lastRequest, RequestDelete);
    EXPECT_EQ(l.cellText(1, 1), "Banking");
    EXPECT_EQ(m_example.updates, 3);
}

TEST_F(BrowseWindow, FormatComesBackWithTheUsersWidths) {
    const std::string before = list().format();
    EXPECT_EQ(before, "121L|M~Category~@s30@1020L|M~Description~@s255@");
    ui::postEvent(kEventCloseWindow, 0, m_example.thread);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return m_example.ended; }));
    EXPECT_EQ(m_example.formatAtClose, before);
}

TEST(ListFormat, ColumnsOfTheProgramsLists) {
    auto c = ui::parseListFormat("107L|M~Description~@S100@89L|M~Location~@S255@60L|M~Category~@S30@25L|M~Rating~@N2@"
                                 "40L(2)|M~Keyword~L(1)@s10@");
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0].width, 107);
    EXPECT_TRUE(c[0].rightBorder);
    EXPECT_TRUE(c[0].resizable);
    EXPECT_EQ(c[0].header, "Description");
    EXPECT_EQ(c[0].picture, "@S100");
    EXPECT_EQ(c[3].picture, "@N2");
    EXPECT_EQ(c[4].indent, 2);
    EXPECT_EQ(c[4].headerAlign, 'L');
    EXPECT_EQ(c[4].headerIndent, 1);

    auto h = ui::parseListFormat("120L(2)~Type Of HTML~L(1)@s30@");
    ASSERT_EQ(h.size(), 1u);
    EXPECT_FALSE(h[0].rightBorder);
    EXPECT_FALSE(h[0].resizable);
    EXPECT_EQ(h[0].header, "Type Of HTML");

    auto q = ui::parseListFormat("120L(1)M~Category~L(0)@s30@?");
    ASSERT_EQ(q.size(), 1u);
    EXPECT_TRUE(q[0].resizable);
    q[0].width = 133;
    EXPECT_EQ(ui::listFormatText(q), "133L(1)M~Category~L(0)@s30@?");

    for (const char* bad : {"", "L~x~", "12L(~unterminated", "5@@@", "7~~~~~~"}) {
        auto cols = ui::parseListFormat(bad);  // never fails
        EXPECT_LE(cols.size(), 1u) << bad;
    }
}

}  // namespace
}  // namespace sitedex::app::maintenance
