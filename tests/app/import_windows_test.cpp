// The import's windows driven as the user would (offscreen): the "Import" dialog, the progress window
// and "Category Assignment". Message boxes and the file dialog are answered through the test
// responders; what ends up on disk is read back through another thread's instance.
//
// With SITEDEX_IMPORT_SHOW=<milliseconds> each window stays up that long (for a look or a screenshot
// under a real display).

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/import/ask_category.h"
#include "app/import/import_main.h"
#include "app/maintenance/browse_categories.h"
#include "app/maintenance/update_categories.h"
#include "app/shell/globals.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/dates.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "runtime/thread_table.h"
#include "tests/app/browse_fixture.h"
#include "ui/file_dialog.h"
#include "ui/list_box.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::importing {
namespace {

using namespace runtime;

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

void showForALook() {
    if (const char* show = std::getenv("SITEDEX_IMPORT_SHOW"))
        ui::pumpEventsFor(std::atoi(show));
}

class ImportWindows : public maintenance::testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        ui::ensureApplication();
        ui::installWindowHooks();
        ui::setPopupResponder(nullptr);
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box.caption + ": " + box.text);
            if (!m_answers.empty()) {
                const int a = m_answers.front();
                m_answers.pop_front();
                return a;
            }
            return box.defaultButton ? box.defaultButton : int(kButtonOk);
        });
        openFile(data::Categories);
        openFile(data::SITEDX);
        openFile(data::CatHTML);
        openFile(data::History);
        for (const char* c : {"Music", "News", "_Before All", "_After All"})
            addCategory(c);
        data::closeAllFiles();
        maintenance::registerCategoryProcedures();
        NameImport() = "bookmark.htm";
        TypeImport() = MethodImport() = CategoryImport() = "";
    }
    void TearDown() override {
        m_answers.clear();
        ui::setFileDialogResponder(nullptr);
        ui::setMessageBoxResponder([](const ui::MessageBoxInfo& b) { return b.defaultButton ? b.defaultButton : 1; });
        for (int round = 0; round < 5 && ui::runningThreads() > 0; ++round) {
            for (int t = 2; t <= kThreadSlots; ++t)
                if (ui::threadRunning(t))
                    ui::postEvent(kEventCloseWindow, 0, t);
            ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }, 1000);
        }
        EXPECT_EQ(ui::runningThreads(), 0);
        ui::setMessageBoxResponder(nullptr);
        runtime::setCurrentThread(1);
        DataDirTest::TearDown();
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }

    int start(std::function<void()> body) {
        auto ended = std::make_shared<bool>(false);
        m_ended = ended;
        const int t = ui::startProcedure(
            [body = std::move(body), ended] {
                body();
                *ended = true;
            },
            0, "ImportTest");
        EXPECT_NE(t, 0);
        m_thread = t;
        return t;
    }
    bool waitEnded(int ms = 10000) {
        return ui::pumpEventsUntil([&] { return *m_ended; }, ms);
    }
    ui::Window* windowNamed(const std::string& name, int ms = 5000) {
        ui::Window* found = nullptr;
        ui::pumpEventsUntil(
            [&] {
                ui::Window* w = ui::currentWindow(m_thread);
                if (w && w->definition().name == name)
                    found = w;
                return found != nullptr;
            },
            ms);
        if (found)
            ui::pumpEventsFor(60);
        return found;
    }
    // Whether a box beginning with `start` has been shown (and answered); the procedure that showed it
    // is given the time to take its events again.
    bool boxShown(const std::string& start) {
        const bool shown = ui::pumpEventsUntil([&] {
            for (const std::string& b : m_boxes)
                if (b.rfind(start, 0) == 0)
                    return true;
            return false;
        });
        ui::pumpEventsFor(200);
        return shown;
    }
    std::vector<std::string> onDisk(data::FileDecl& file, std::vector<const char*> fields) {
        std::vector<std::string> rows;
        runtime::setCurrentThread(7);
        EXPECT_EQ(data::share(file, data::kModeShared), 0);
        EXPECT_EQ(data::set(file), 0);
        while (data::next(file) == 0) {
            std::string row;
            for (const char* f : fields)
                row += (row.empty() ? "" : "|") + trimmed(data::getString(data::findField(f)));
            rows.push_back(row);
        }
        data::close(file);
        runtime::setCurrentThread(1);
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    std::string writeDocument(const std::string& name, const std::string& text) {
        const std::string path = m_dir.file(name);
        sitedex::testing::writeFile(path, text);
        return path;
    }

    std::vector<std::string> m_boxes;
    std::deque<int> m_answers;
    int m_thread = 0;
    std::shared_ptr<bool> m_ended = std::make_shared<bool>(true);
};

const char* const kFourLinks =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<H1>Bookmarks</H1>\n<DL><p>\n<DT><H3>Jazz</H3>\n<DL><p>\n"
    "<DT><A HREF=\"http://one.example/\">One</A>\n"
    "<DT><A HREF=\"http://two.example/\">Two</A>\n"
    "<DT><A HREF=\"http://three.example/\">Three</A>\n"
    "<DT><A HREF=\"http://four.example/\">Four</A>\n"
    "</DL><p>\n</DL><p>\n";

// Asking for each address: Insert a category and Select it, close the dialog (New), Use Best Guess
// (the folder), then stop the import.
TEST_F(ImportWindows, AskCategoryForEachAddress) {
    NameImport() = writeDocument("ask.html", kFourLinks);
    TypeImport() = "HTML Document";
    MethodImport() = "Ask for Each URL";
    start(ImportFile);

    AskCategoryWindow aw = askCategoryWindow(nullptr, nullptr, nullptr);
    // 1: a new category through the category form, then Select.
    ui::Window* w = windowNamed(aw.def.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->definition().title, "Category Assignment");
    EXPECT_EQ(w->text(aw.location), "http://one.example/");
    EXPECT_EQ(w->text(aw.description), "One");
    EXPECT_EQ(w->text(aw.bestGuess), "Best Guess:  Jazz");
    ui::ListControl list(*w, aw.list);
    std::string shown;
    for (int r = 1; r <= list.rowCount(); ++r)
        shown += list.cellText(r, 1) + ",";
    EXPECT_EQ(shown, "Music,News,") << "the special categories are left out";
    showForALook();
    w->enterText(aw.description, "One, as I call it");
    w->click(aw.insert);
    ui::Window* form = windowNamed("UPDATECATEGORIESNOMDI$WINDOW");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->definition().title, "Category Will Be Added");
    form->enterText(2, "Bebop");                               // the "&Category:" entry
    form->click(int(form->definition().controls.size()) - 1);  // OK (Cancel is the last control)
    w = windowNamed(aw.def.name);
    ASSERT_NE(w, nullptr);
    ui::pumpEventsUntil([&] { return list.selectedRow() > 0 && list.cellText(list.selectedRow(), 1) == "Bebop"; });
    EXPECT_EQ(list.cellText(list.selectedRow(), 1), "Bebop") << "the new category is highlighted";
    w->click(aw.select);

    // 2: closed without a choice: "New". The list opens on the category the last address got.
    ui::pumpEventsUntil([&] {
        ui::Window* now = ui::currentWindow(m_thread);
        return now && now->definition().name == aw.def.name && now->text(aw.location) == "http://two.example/";
    });
    w = windowNamed(aw.def.name);
    ASSERT_NE(w, nullptr);
    ui::ListControl list2(*w, aw.list);
    ASSERT_GT(list2.selectedRow(), 0);
    EXPECT_EQ(list2.cellText(list2.selectedRow(), 1), "Bebop");
    w->post(kEventCloseWindow);

    // 3: the folder's name, as the document suggests it.
    ui::pumpEventsUntil([&] {
        ui::Window* now = ui::currentWindow(m_thread);
        return now && now->definition().name == aw.def.name && now->text(aw.location) == "http://three.example/";
    });
    w = windowNamed(aw.def.name);
    ASSERT_NE(w, nullptr);
    w->click(aw.useBestGuess);

    // 4: stop: the fourth address is not added.
    ui::pumpEventsUntil([&] {
        ui::Window* now = ui::currentWindow(m_thread);
        return now && now->definition().name == aw.def.name && now->text(aw.location) == "http://four.example/";
    });
    w = windowNamed(aw.def.name);
    ASSERT_NE(w, nullptr);
    w->click(aw.stop);
    ASSERT_TRUE(waitEnded());

    EXPECT_EQ(onDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY"}),
              (std::vector<std::string>{"http://one.example/|One, as I call it|Bebop",
                                        "http://three.example/|Three|Jazz", "http://two.example/|Two|New"}));
    EXPECT_EQ(onDisk(data::Categories, {"CAT:CATEGORY"}),
              (std::vector<std::string>{"Bebop", "Jazz", "Music", "New", "News", "_After All", "_Before All"}));
    ASSERT_FALSE(m_boxes.empty());
    EXPECT_EQ(m_boxes.back().rfind("Import Cancelled: 4 addresses found", 0), 0u) << m_boxes.back();
}

TEST_F(ImportWindows, AskCategoryContextMenu) {
    std::vector<std::vector<std::string>> menus;
    ui::setPopupResponder([&](const std::vector<std::string>& items) {
        menus.push_back(items);
        return 2;  // Select
    });
    std::string chosen;
    long response = 0;
    start([&] {
        data::useFile(data::SITEDX);
        data::useFile(data::Categories);
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), "http://x.example/");
        data::Categories.clear();
        data::setString(data::findField("CAT:CATEGORY"), "News");
        CallRequest() = RequestSelect;
        AskCategory("Guess");
        response = CallResponse();
        chosen = trimmed(data::getString(data::findField("CAT:CATEGORY")));
        data::releaseFile(data::Categories);
        data::releaseFile(data::SITEDX);
    });
    AskCategoryWindow aw = askCategoryWindow(nullptr, nullptr, nullptr);
    ui::Window* w = windowNamed(aw.def.name);
    ASSERT_NE(w, nullptr);
    ui::ListControl list(*w, aw.list);
    EXPECT_EQ(list.cellText(list.selectedRow(), 1), "News") << "opened on the category in the buffer";
    list.clickRow(1, true);  // right click on Music
    ASSERT_TRUE(waitEnded());
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0], (std::vector<std::string>{"&Insert", "&Select"}));
    EXPECT_EQ(response, ResponseCompleted);
    EXPECT_EQ(chosen, "Music");
}

TEST_F(ImportWindows, DialogImportsRemembersAndStaysOpen) {
    const std::string doc = writeDocument("links.html", kFourLinks);
    // Ten History records already: the oldest "Import" entry gives way to the new one.
    openFile(data::History);
    for (int i = 0; i < 10; ++i) {
        data::History.clear();
        data::setString(data::findField("HIS:TYPE"), i < 6 ? "Export" : "Import");
        data::setString(data::findField("HIS:FIELDCONTENTS"), "/old/file" + std::to_string(i));
        data::setInteger(*data::History.findField("HIS:DATE"), data::History.record(), 70000 + i);
        data::setInteger(*data::History.findField("HIS:TIME"), data::History.record(), 100);
        ASSERT_EQ(data::add(data::History), 0);
    }
    data::closeAllFiles();
    registerImportProcedures();
    start(ImportMain);
    ImportMainWindow mw = importMainWindow(nullptr);
    ui::Window* w = windowNamed(mw.def.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->definition().title, "Import");
    EXPECT_EQ(w->choices(mw.file), (std::vector<std::string>{"/old/file9", "/old/file8", "/old/file7", "/old/file6"}));
    EXPECT_EQ(w->text(mw.file), "bookmark.htm");
    EXPECT_EQ(w->choices(mw.category), (std::vector<std::string>{"Music", "News", "_Before All", "_After All"}));
    // Best guess is the default: the category to import into does not apply.
    EXPECT_FALSE(w->isEnabled(mw.category));
    EXPECT_FALSE(w->isEnabled(mw.categoryPrompt));
    w->click(mw.selected);
    ui::pumpEventsFor(60);
    EXPECT_TRUE(w->isEnabled(mw.category));
    w->click(mw.guess);
    ui::pumpEventsFor(60);
    EXPECT_FALSE(w->isEnabled(mw.category));
    showForALook();

    // Blank name: asked for one, nothing else.
    w->enterText(mw.file, "");
    w->click(mw.ok);
    ASSERT_TRUE(boxShown("Information Required: You must enter an Import file name."));

    // Browse picks the file.
    std::string startedAt;
    ui::setFileDialogResponder([&](const ui::FileDialogInfo& info) {
        startedAt = info.title + " for '" + info.filter + "'";
        return doc;
    });
    w->click(mw.browse);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return w->text(mw.file) == doc; })) << startedAt << " / " << w->text(mw.file);
    EXPECT_EQ(startedAt, "Choose a File for 'All Files|*.*|HTML files|*.htm|ASCII files|*.txt'");

    m_boxes.clear();
    w->click(mw.ok);
    ASSERT_TRUE(boxShown("Import Completed: 4 addresses found in " + doc));
    EXPECT_EQ(m_boxes.back(), "Import Completed: 4 addresses found in " + doc +
                                  ":\n  4 added (1 new category)\n  0 already present\n  0 passed over");
    // The dialog is still there, the name first in its list, the keys written.
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return w->choices(mw.category).size() == 5; }));
    ui::pumpEventsFor(200);
    EXPECT_EQ(w->choices(mw.file), (std::vector<std::string>{doc, "/old/file9", "/old/file8", "/old/file7"}));
    EXPECT_EQ(w->choices(mw.category),
              (std::vector<std::string>{"Music", "News", "_Before All", "_After All", "Jazz"}));
    EXPECT_EQ(readSetting("Import", "Name", "?"), doc);
    EXPECT_EQ(readSetting("Import", "Type", "?"), "HTML Document");
    EXPECT_EQ(readSetting("Import", "Categories", "?"), "Make Best Guess");
    EXPECT_EQ(readSetting("Import", "Category", "?"), "Music");
    EXPECT_EQ(onDisk(data::History, {"HIS:TYPE", "HIS:FIELDCONTENTS"}).size(), 10u);
    EXPECT_EQ(onDisk(data::SITEDX, {"URL:CATEGORY"}), (std::vector<std::string>{"Jazz", "Jazz", "Jazz", "Jazz"}));

    // Help! names the help text's procedure, which comes with the text viewer.
    m_boxes.clear();
    w->click(mw.help);
    ASSERT_TRUE(boxShown("Procedure not defined: The Procedure ImportHelp has not been defined."));
    w->click(mw.cancel);
    ASSERT_TRUE(waitEnded());
}

TEST_F(ImportWindows, ProblemsAreShownAndCancelKeepsWhatWasAdded) {
    registerImportProcedures();
    // A document that cannot be read: said so, no progress window.
    NameImport() = m_dir.file("missing.html");
    TypeImport() = "HTML Document";
    MethodImport() = "Make Best Guess";
    start(ImportFile);
    ASSERT_TRUE(waitEnded());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0], "Import: Cannot import " + m_dir.file("missing.html") + ": the file does not exist.");

    // A long document, cancelled while it runs.
    std::string doc = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    for (int i = 0; i < 30000; ++i)
        doc += "<DT><A HREF=\"http://site" + std::to_string(i) + ".example/\" ICON=\"data:image/png;base64," +
               std::string(400, 'Q') + "\">Site " + std::to_string(i) + "</A>\n<DD>About site " + std::to_string(i) +
               "\n";
    NameImport() = writeDocument("large.html", doc);
    m_boxes.clear();
    start(ImportFile);
    ProgressWindow pw = importProgressWindow(nullptr);
    ui::Window* w = windowNamed(pw.def.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->definition().title, "Processing Records");
    ui::pumpEventsUntil([&] { return w->value(pw.bar) >= 1; });
    EXPECT_EQ(w->text(pw.text), "Importing");
    EXPECT_NE(w->text(pw.percent).find("% Completed"), std::string::npos) << w->text(pw.percent);
    showForALook();
    w->click(pw.cancel);
    ASSERT_TRUE(waitEnded());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].rfind("Import Cancelled: ", 0), 0u) << m_boxes[0];
    const size_t added = onDisk(data::SITEDX, {"URL:LOCATION"}).size();
    EXPECT_GT(added, 0u);
    EXPECT_LT(added, 30000u);
    EXPECT_NE(m_boxes[0].find("\n  " + std::to_string(added) + " added"), std::string::npos) << m_boxes[0];
}

TEST_F(ImportWindows, AskCategoryRefusesALocationTooLongForItsField) {
    std::string location;
    long response = 0;
    start([&] {
        data::useFile(data::SITEDX);
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), "http://x.example/");
        CallRequest() = RequestSelect;
        AskCategory("Guess");
        response = CallResponse();
        location = trimmed(data::getString(data::findField("URL:LOCATION")));
        data::releaseFile(data::SITEDX);
    });
    AskCategoryWindow aw = askCategoryWindow(nullptr, nullptr, nullptr);
    ui::Window* w = windowNamed(aw.def.name);
    ASSERT_NE(w, nullptr);
    w->enterText(aw.location, "http://x.example/" + std::string(250, 'a'));
    w->click(aw.useBestGuess);
    ASSERT_TRUE(boxShown("Location Too Long: The location is longer than the 255 bytes its field holds."));
    EXPECT_EQ(ui::currentWindow(m_thread), w) << "the dialog stays open";
    w->enterText(aw.location, "http://x.example/shorter");
    w->click(aw.useBestGuess);
    ASSERT_TRUE(waitEnded());
    EXPECT_EQ(response, ResponseCompleted);
    EXPECT_EQ(location, "http://x.example/shorter");
}

}  // namespace
}  // namespace sitedex::app::importing
