// A row that another window or program deleted while a list still showed it: the user opens it to
// change it, or deletes it. Whatever the user does then, no other record may change, and the user is
// told. The deleting is done as a user would do it: in a second browse, or by the built program
// running `sitedex remove` / `sitedex remove-category` on the same data folder.

#include <cstdlib>
#include <filesystem>

#include "app/maintenance/browse_categories.h"
#include "app/maintenance/browse_sitedx.h"
#include "app/maintenance/update_categories.h"
#include "app/maintenance/update_cathtml.h"
#include "app/maintenance/update_sitedx.h"
#include "tests/app/windows_fixture.h"

namespace sitedex::app::maintenance {
namespace {

using namespace runtime;
namespace fs = std::filesystem;

constexpr const char* kGoneCaption = "Record Deleted";

class StaleRows : public testing::WindowsTest {
protected:
    static const LocationsBrowseWindow& lw() { return locationsBrowseWindow(); }
    static const LocationFormWindow& fw() { return locationFormWindow(); }

    // Six locations https://siteN.example, "Site N", "info of site N" in category Cat; with
    // `blankAddress` a seventh whose address is blank (the form used to save such records).
    void seedLocations(bool blankAddress) {
        data::closeAllFiles();
        fs::remove(m_dir.file("URL_L.VLX"));
        fs::remove(m_dir.file("URL_C.VLX"));
        openFile(data::Categories);
        openFile(data::SITEDX);
        addCategory("Cat");
        for (int n = 1; n <= 6; ++n) {
            addLocation("https://site" + std::to_string(n) + ".example", "Site " + std::to_string(n), "Cat");
            data::setMemo(data::SITEDX, 0, "info of site " + std::to_string(n));
            ASSERT_EQ(data::put(data::SITEDX), 0);
        }
        if (blankAddress) {
            addLocation("", "Site 0 without address", "Cat");
            data::setMemo(data::SITEDX, 0, "info of site 0");
            ASSERT_EQ(data::put(data::SITEDX), 0);
        }
        data::closeAllFiles();
    }
    std::vector<std::string> locations() { return onDisk(data::SITEDX, {"URL:DESCRIPTION", "URL:LOCATION", "URL:SITEINFO"}); }

    void closeThread(int t) {
        for (int i = 0; i < 4 && ui::threadRunning(t); ++i) {
            ui::postEvent(kEventCloseWindow, 0, t);
            ui::pumpEventsUntil([&] { return !ui::threadRunning(t); }, 1000);
        }
        ASSERT_FALSE(ui::threadRunning(t));
    }
};

TEST_F(StaleRows, ChangeOrDeleteOfALocationGoneElsewhereTouchesNoOtherRecord) {
    enum class By { kProgram, kSecondBrowse };
    struct Case {
        const char* what;
        By deletedBy;
        bool change;           // else delete
        const char* row;       // the description of the stale row
        const char* location;  // its address (for sitedex remove)
        const char* next;      // the row highlighted afterwards
    };
    const Case cases[] = {
        {"change, removed by another program", By::kProgram, true, "Site 5", "https://site5.example", "Site 6"},
        {"change, deleted in a second browse", By::kSecondBrowse, true, "Site 5", "https://site5.example", "Site 6"},
        {"delete, removed by another program", By::kProgram, false, "Site 3", "https://site3.example", "Site 4"},
        {"delete of a blank address, deleted in a second browse", By::kSecondBrowse, false, "Site 0 without address",
         "", "Site 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_boxes.clear();
        seedLocations(true);
        const std::vector<std::string> before = locations();

        const int a = start(BrowseSITEDX);
        ui::Window* browseA = windowOf(a, "BROWSESITEDX$WINDOW");
        ASSERT_NE(browseA, nullptr);
        ui::ListControl listA(*browseA, lw().list);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return listA.rowCount() == 7; }));

        if (c.deletedBy == By::kProgram) {
            std::string out;
            ASSERT_EQ(sitedex(std::string("remove ") + c.location, &out), 0) << out;
        } else {
            const int b = start(BrowseSITEDX);
            ui::Window* browseB = windowOf(b, "BROWSESITEDX$WINDOW");
            ASSERT_NE(browseB, nullptr);
            ui::ListControl listB(*browseB, lw().list);
            ASSERT_TRUE(ui::pumpEventsUntil([&] { return listB.rowCount() == 7; }));
            ASSERT_TRUE(clickRowShowing(listB, c.row));
            settle();
            m_answers["Confirm Delete"] = {kButtonOk};
            browseB->click(lw().remove);
            ASSERT_TRUE(ui::pumpEventsUntil([&] { return listB.rowCount() == 6; }));
            closeThread(b);
        }
        std::vector<std::string> expected;
        for (const std::string& r : before)
            if (r.rfind(std::string(c.row) + "|", 0) != 0)
                expected.push_back(r);
        ASSERT_EQ(locations(), expected) << "the other program or window deleted the row";
        m_boxes.clear();

        // Browse A still shows the row: the user picks it and acts on it as the user did.
        ASSERT_TRUE(clickRowShowing(listA, c.row)) << "A still shows the deleted row";
        settle();
        m_answers["Confirm Delete"] = {kButtonOk};
        browseA->click(c.change ? lw().change : lw().remove);
        settle();
        if (ui::Window* form = windowOf(a, "UPDATESITEDX$WINDOW", 300)) {
            form->enterText(fw().description, std::string(c.row) + " EDITED");
            form->click(fw().ok);
            settle();
            if (showing(a, "UPDATESITEDX$WINDOW"))
                form->click(fw().cancel);
            settle();
        }
        EXPECT_EQ(locations(), expected) << "no other record changed or went; " << boxes();
        EXPECT_TRUE(boxShown(kGoneCaption)) << boxes();
        EXPECT_FALSE(boxShown("Confirm Delete")) << "nothing to confirm: the record is gone";
        EXPECT_EQ(column(listA).find(c.row), std::string::npos) << "the list shows what is on file now";
        EXPECT_EQ(listA.cellText(listA.selectedRow(), 1), c.next) << "the record after it is highlighted";
        closeThread(a);
    }
}

TEST_F(StaleRows, ChangeOrDeleteOfACategoryGoneElsewhereTouchesNoOtherCategory) {
    const BrowseCategoriesWindow& bw = browseCategoriesWindow();
    CategoryFormFields dummy;
    const UpdateCategoriesWindow cw = updateCategoriesWindow(dummy, true);
    for (bool change : {true, false}) {
        SCOPED_TRACE(change ? "change" : "delete");
        m_boxes.clear();
        data::closeAllFiles();
        for (const char* f : {"URL_L.VLX", "URL_C.VLX", "URL_H.VLX"})
            fs::remove(m_dir.file(f));
        openFile(data::Categories);
        openFile(data::SITEDX);
        for (const char* name : {"Alpha", "Beta", "Gamma"}) {
            addCategory(name, std::string("About ") + name);
            addLocation(std::string("https://") + name + ".example", std::string("Site of ") + name, name);
        }
        data::closeAllFiles();

        const int t = start(BrowseCategories);
        ui::Window* w = windowOf(t, bw.def.name);
        ASSERT_NE(w, nullptr);
        ui::ListControl list(*w, bw.list);
        ASSERT_EQ(column(list), "Alpha,Beta,Gamma");
        std::string out;
        ASSERT_EQ(sitedex("remove-category Beta", &out), 0) << out;
        const auto categories = onDisk(data::Categories, {"CAT:CATEGORY", "CAT:DESCRIPTION"});
        const auto sites = onDisk(data::SITEDX, {"URL:DESCRIPTION", "URL:CATEGORY"});
        ASSERT_EQ(categories, (std::vector<std::string>{"Alpha|About Alpha", "Gamma|About Gamma"}));

        ASSERT_TRUE(clickRowShowing(list, "Beta"));
        settle();
        m_answers["Confirm Delete"] = {kButtonOk};
        w->click(change ? bw.change : bw.remove);
        settle();
        if (ui::Window* form = windowOf(t, cw.def.name, 300)) {
            form->enterText(cw.description, "Beta EDITED");
            form->click(cw.ok);
            settle();
            if (showing(t, cw.def.name))
                form->click(cw.cancel);
            settle();
        }
        EXPECT_EQ(onDisk(data::Categories, {"CAT:CATEGORY", "CAT:DESCRIPTION"}), categories) << boxes();
        EXPECT_EQ(onDisk(data::SITEDX, {"URL:DESCRIPTION", "URL:CATEGORY"}), sites);
        EXPECT_TRUE(boxShown(kGoneCaption)) << boxes();
        EXPECT_EQ(column(list), "Alpha,Gamma");
        closeThread(t);
    }
}

TEST_F(StaleRows, ChangeOfASnippetGoneElsewhereTouchesNoOtherSnippet) {
    openFile(data::Categories);
    openFile(data::CatHTML);
    addCategory("Music");
    for (const char* type : {"Before Category", "Replace Title", "After Category"}) {
        data::CatHTML.clear();
        data::setString(data::findField("HTM:CATEGORY"), "Music");
        data::setString(data::findField("HTM:TYPEOFHTML"), type);
        data::setMemo(data::CatHTML, 0, std::string("<p>") + type + "</p>");
        ASSERT_EQ(data::add(data::CatHTML), 0);
    }
    data::closeAllFiles();

    const int t = start([] {
        data::useFile(data::Categories);
        data::Categories.clear();
        data::setString(data::findField("CAT:CATEGORY"), "Music");
        data::watch(data::Categories);
        data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY"));
        CallRequest() = RequestChange;
        UpdateCategories();
        data::releaseFile(data::Categories);
    });
    CategoryFormFields dummy;
    const UpdateCategoriesWindow cw = updateCategoriesWindow(dummy, true);
    ui::Window* w = windowOf(t, cw.def.name);
    ASSERT_NE(w, nullptr);
    w->chooseTab(cw.sheet, 2);
    settle();
    ui::ListControl html(*w, cw.htmlList);
    ASSERT_EQ(column(html), "After Category,Before Category,Replace Title");

    // Another window deletes one of the snippets (an instance and record buffer of its own).
    setCurrentThread(61);
    ASSERT_EQ(data::share(data::CatHTML, data::kModeShared), 0);
    data::CatHTML.clear();
    data::setString(data::findField("HTM:CATEGORY"), "Music");
    data::setString(data::findField("HTM:TYPEOFHTML"), "Before Category");
    ASSERT_EQ(data::get(data::CatHTML, *data::CatHTML.findKey("HTM:KEYCATEGORYHTML")), 0);
    ASSERT_EQ(data::deleteRecord(data::CatHTML), 0);
    data::close(data::CatHTML);
    setCurrentThread(1);
    const auto snippets = onDisk(data::CatHTML, {"HTM:TYPEOFHTML", "HTM:HTMLTOADD"});
    ASSERT_EQ(snippets.size(), 2u);

    ASSERT_TRUE(clickRowShowing(html, "Before Category"));
    settle();
    w->click(cw.htmlChange);
    settle();
    SnippetFormFields fields;
    const UpdateCatHTMLWindow hw = updateCatHTMLWindow(fields);
    if (ui::Window* h = windowOf(t, hw.def.name, 300)) {
        h->enterText(hw.html, "<p>EDITED</p>");
        h->click(hw.ok);
        settle();
        if (showing(t, hw.def.name))
            h->click(hw.cancel);
        settle();
    }
    EXPECT_EQ(onDisk(data::CatHTML, {"HTM:TYPEOFHTML", "HTM:HTMLTOADD"}), snippets) << boxes();
    EXPECT_TRUE(boxShown(kGoneCaption)) << boxes();
    EXPECT_EQ(column(html), "After Category,Replace Title");
}

// Underneath the windows: a re-get of a record that is gone leaves no record current, so the put or
// delete that a caller might still try answers 33 instead of landing on the record read before it.
TEST_F(StaleRows, PutOrDeleteAfterARegetOfAGoneRecordWritesNothing) {
    for (bool put : {true, false}) {
        SCOPED_TRACE(put ? "put" : "delete");
        seedLocations(false);
        openFile(data::SITEDX);
        data::KeyDecl& byLocation = *data::SITEDX.findKey("URL:K_LOCATION");
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), "https://site5.example");
        ASSERT_EQ(data::get(data::SITEDX, byLocation), 0);
        const std::string position5 = data::position(byLocation);
        ASSERT_EQ(sitedex("remove https://site5.example"), 0);
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), "https://site2.example");
        ASSERT_EQ(data::get(data::SITEDX, byLocation), 0);  // the record read last
        const auto before = locations();

        EXPECT_EQ(data::reget(byLocation, position5), 35);
        data::setString(data::findField("URL:DESCRIPTION"), "Site 5 EDITED");
        EXPECT_EQ(put ? data::put(data::SITEDX) : data::deleteRecord(data::SITEDX), 33);
        EXPECT_EQ(locations(), before);
        data::closeAllFiles();
    }
}

}  // namespace
}  // namespace sitedex::app::maintenance
