// The Export window and the export's progress window, driven as the user would (offscreen): the
// file-name history with its upkeep, the pop-up, the blank name, the enabling rule of the category,
// the name rule, Browse, Help!, and Cancel part-way through a long export.
//
// With SITEDEX_EXPORT_SHOW=<milliseconds> each window stays up that long once filled (for a look
// at it under a real display).

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/export/export_file.h"
#include "app/export/export_main.h"
#include "app/export/export_options.h"
#include "data/views.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "tests/app/export_fixture.h"
#include "tests/app/keyboard.h"
#include "tests/app/maintenance_fixture.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::exporting {
namespace {

using namespace runtime;
using sitedex::testing::readFile;

void showForALook() {
    if (const char* show = std::getenv("SITEDEX_EXPORT_SHOW"))
        ui::pumpEventsFor(std::atoi(show));
}

struct HistoryRow {
    std::string type, contents;
    int64_t date = 0, time = 0;
    bool operator==(const HistoryRow&) const = default;
};

class ExportWindows : public testing::ExportTest {
protected:
    void SetUp() override {
        ExportTest::SetUp();
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        exportSettings() = ExportSettings{};
        ui::ensureApplication();
        ui::installWindowHooks();
        ui::setPopupResponder(nullptr);
        ui::setFileDialogResponder(nullptr);
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box);
            return int(kButtonOk);
        });
        openFile(data::History);
        // Help! is tested without the text viewer first; what is registered comes back afterwards.
        if (const ProcedureFunction* help = findProcedure("ExportHelp"))
            m_exportHelp = *help;
        unregisterProcedure("ExportHelp");
    }
    void TearDown() override {
        for (int t : m_threads)
            for (int tries = 0; tries < 5 && ui::threadRunning(t); ++tries) {
                ui::postEvent(kEventCloseWindow, 0, t);
                ui::pumpEventsUntil([&] { return !ui::threadRunning(t); }, 1000);
            }
        ui::setMessageBoxResponder(nullptr);
        ui::setPopupResponder(nullptr);
        ui::setFileDialogResponder(nullptr);
        unregisterProcedure("ExportHelp");
        if (m_exportHelp)
            registerProcedure("ExportHelp", m_exportHelp);
        ::unsetenv("SITEDEX_CONFIG_DIR");
        ExportTest::TearDown();
    }

    static void addHistory(const HistoryRow& h) {
        data::History.clear();
        data::setString(data::findField("HIS:TYPE"), h.type);
        data::setString(data::findField("HIS:FIELDCONTENTS"), h.contents);
        data::setNumber(data::findField("HIS:DATE"), double(h.date));
        data::setNumber(data::findField("HIS:TIME"), double(h.time));
        ASSERT_EQ(data::add(data::History), 0);
    }
    // The History file as it is on disk, in key order (type, newest first).
    std::vector<HistoryRow> historyOnDisk() {
        std::vector<HistoryRow> rows;
        sitedex::testing::onThread(7, [&] {
            EXPECT_EQ(data::share(data::History, data::kModeShared), 0);
            data::View v(data::History);
            v.setOrder(data::History.findKey("HIS:KEYTYPE"));
            v.seekToStart();
            while (v.next() == 0)
                rows.push_back({data::getString(data::findField("HIS:TYPE")),
                                data::getString(data::findField("HIS:FIELDCONTENTS")),
                                int64_t(data::getNumber(data::findField("HIS:DATE"))),
                                int64_t(data::getNumber(data::findField("HIS:TIME")))});
            data::close(data::History);
        });
        return rows;
    }

    int startExportMain() {
        data::closeAllFiles();
        m_thread = ui::startProcedure(ExportMain, 0, "ExportMain");
        EXPECT_NE(m_thread, 0);
        m_threads.push_back(m_thread);
        EXPECT_NE(windowNamed("EXPORTMAIN$WINDOW"), nullptr);
        showForALook();
        return m_thread;
    }
    ui::Window* windowNamed(const std::string& name, int timeout = 5000) {
        ui::Window* found = nullptr;
        ui::pumpEventsUntil(
            [&] {
                ui::Window* w = ui::currentWindow(m_thread);
                if (w && w->definition().name == name)
                    found = w;
                return found != nullptr;
            },
            timeout);
        if (found)
            ui::pumpEventsFor(40);
        return found;
    }
    ui::Window* dialog() { return windowNamed("EXPORTMAIN$WINDOW"); }
    // Presses OK and waits until the export has run and the Export window is current again.
    void pressOk() {
        dialog()->click(m_ids.ok);
        ui::pumpEventsFor(60);
        ASSERT_NE(windowNamed("EXPORTMAIN$WINDOW"), nullptr);
        ui::pumpEventsFor(60);
    }
    std::vector<std::string> boxCaptions() const {
        std::vector<std::string> c;
        for (const auto& b : m_boxes)
            c.push_back(b.caption);
        return c;
    }

    // Control numbers of the Export window (the definition does not depend on the variables).
    const ExportMainWindow m_ids = [] {
        static ExportSettings s;
        static std::string name;
        return exportMainWindow(s, name);
    }();
    int m_thread = 0;
    ProcedureFunction m_exportHelp;
    std::vector<int> m_threads;
    std::vector<ui::MessageBoxInfo> m_boxes;
};

TEST_F(ExportWindows, OkRecordsTheNameDropsTheOldestExportAndKeepsTheWindowOpen) {
    fillFixture();
    // Ten records: seven imports (never removed here) and three exports, the oldest on day 100.
    for (int i = 0; i < 7; ++i)
        addHistory({"Import", "import" + std::to_string(i) + ".htm", 300 + i, 1});
    addHistory({"Export", "oldest.htm", 100, 5});
    addHistory({"Export", "middle.htm", 200, 5});
    addHistory({"Export", "middle.htm", 150, 5});  // the same name twice: listed once
    startExportMain();
    ui::Window* w = dialog();
    EXPECT_EQ(w->choices(m_ids.fileName), (std::vector<std::string>{"middle.htm", "oldest.htm"}));

    const std::string target = m_dir.file("Links");
    w->enterText(m_ids.fileName, target);
    ui::pumpEventsFor(60);
    EXPECT_EQ(w->text(m_ids.fileName), m_dir.file("links.htm"));  // the extension once accepted
    pressOk();
    ASSERT_TRUE(std::filesystem::exists(m_dir.file("links.htm")));
    EXPECT_TRUE(readFile(m_dir.file("links.htm")).starts_with("<html><head><meta charset=\"utf-8\"><title>My Links"));

    std::vector<HistoryRow> rows = historyOnDisk();
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0].type, "Export");
    EXPECT_EQ(rows[0].contents, m_dir.file("links.htm"));
    EXPECT_EQ(rows[0].date, today());
    EXPECT_EQ(rows[1], (HistoryRow{"Export", "middle.htm", 200, 5}));
    EXPECT_EQ(rows[2], (HistoryRow{"Export", "middle.htm", 150, 5}));
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(rows[size_t(3 + i)].type, "Import");
    // The window stays open, its list refilled, newest first.
    EXPECT_EQ(w->choices(m_ids.fileName), (std::vector<std::string>{m_dir.file("links.htm"), "middle.htm"}));
    EXPECT_EQ(readSetting("Export", "Name", ""), m_dir.file("links.htm"));
    EXPECT_EQ(readSetting("Export", "Type", ""), "HTML - Table");
    EXPECT_EQ(readSetting("Export", "SiteInfo", ""), "1");

    // The same name again: a second record, still listed once.
    pressOk();
    EXPECT_EQ(historyOnDisk().size(), 10u);
    EXPECT_EQ(w->choices(m_ids.fileName), (std::vector<std::string>{m_dir.file("links.htm"), "middle.htm"}));
    EXPECT_TRUE(ui::threadRunning(m_thread));
    EXPECT_TRUE(m_boxes.empty());
}

// Keys as a person presses them: Enter in the name box exports to the name typed there, Escape closes.
TEST_F(ExportWindows, EnterInTheNameBoxExportsAndEscapeCloses) {
    fillFixture();
    startExportMain();
    ui::Window* w = dialog();
    QComboBox* box = nullptr;
    for (QWidget* widget : QApplication::allWidgets())
        if (auto* c = qobject_cast<QComboBox*>(widget); c && c->isVisible() && c->isEditable())
            box = c;
    ASSERT_NE(box, nullptr);
    box->setFocus();
    box->setEditText(QString::fromStdString(m_dir.file("Keyed")));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(box, &enter);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return std::filesystem::exists(m_dir.file("keyed.htm")); }));
    ASSERT_NE(windowNamed("EXPORTMAIN$WINDOW"), nullptr);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(w->text(m_ids.fileName), m_dir.file("keyed.htm"));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(box, &escape);
    EXPECT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }));
}

TEST_F(ExportWindows, BlankNameAsksForOneAndNothingIsSavedOrExported) {
    startExportMain();
    ui::Window* w = dialog();
    w->enterText(m_ids.fileName, "   ");
    w->click(m_ids.ok);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !m_boxes.empty(); }));
    EXPECT_EQ(m_boxes[0].caption, "Information Required");
    EXPECT_EQ(m_boxes[0].text, "You must enter an export file name.");
    ui::pumpEventsFor(60);
    EXPECT_TRUE(historyOnDisk().empty());
    EXPECT_EQ(readSetting("Export", "Type", "none"), "none");
    EXPECT_EQ(dialog(), w);
}

TEST_F(ExportWindows, CategoryIsEnabledOnlyForSelectedAndKeptForAll) {
    fillFixture();
    writeSetting("Export", "Categories", "All");
    writeSetting("Export", "Category", "Jazz");
    writeSetting("Export", "Type", "Comma-Delimited");
    startExportMain();
    ui::Window* w = dialog();
    EXPECT_FALSE(w->isEnabled(m_ids.category));
    EXPECT_FALSE(w->isEnabled(m_ids.categoryPrompt));
    EXPECT_EQ(w->text(m_ids.category), "Jazz");
    w->click(m_ids.selected);
    ui::pumpEventsFor(60);
    EXPECT_TRUE(w->isEnabled(m_ids.category));
    w->click(m_ids.all);
    ui::pumpEventsFor(60);
    EXPECT_FALSE(w->isEnabled(m_ids.category));

    // "All" with a category chosen: the category is saved all the same; the name gets ".txt".
    w->enterText(m_ids.fileName, m_dir.file("Export List"));
    pressOk();
    EXPECT_EQ(readSetting("Export", "Category", ""), "Jazz");
    EXPECT_EQ(readSetting("Export", "Categories", ""), "All");
    EXPECT_EQ(readSetting("Export", "Name", ""), m_dir.file("export list.txt"));
    EXPECT_TRUE(readFile(m_dir.file("export list.txt")).starts_with("\"Art\",\"http://art.example/\","));
}

TEST_F(ExportWindows, PopupBrowseAndHelp) {
    writeSetting("History", "Export1", "/srv/www/earlier.htm");
    startExportMain();
    ui::Window* w = dialog();

    // The menu is chosen from with the keys, as a person would: it must take them.
    QWidget* client = nullptr;
    for (QWidget* top : QApplication::allWidgets())
        if (top->isVisible() && top->windowTitle() == "Export" && top->findChild<QWidget*>())
            client = top;
    ASSERT_NE(client, nullptr);
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(4, 4), client->mapToGlobal(QPointF(4, 4)), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(client, &right);
    QMenu* menu = nullptr;
    ASSERT_TRUE(ui::pumpEventsUntil([&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<QMenu*>(top); m && m->isVisible())
                menu = m;
        return menu != nullptr;
    }));
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text().toStdString(), "/srv/www/earlier.htm");
    EXPECT_TRUE(menu->isEnabled());
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Return}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(menu, &press);
    }
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return w->text(m_ids.fileName) == "/srv/www/earlier.htm"; }));

    ui::FileDialogInfo asked;
    ui::setFileDialogResponder([&](const ui::FileDialogInfo& info) {
        asked = info;
        return m_dir.file("chosen.htm");
    });
    w->click(m_ids.browse);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return w->text(m_ids.fileName) == m_dir.file("chosen.htm"); }));
    EXPECT_EQ(asked.title, "Choose a File");
    EXPECT_EQ(asked.filter, "All Files|*.*|HTML files|*.htm|ASCII files|*.txt");
    EXPECT_EQ(asked.directory, "/srv/www");  // where the name shown lies
    EXPECT_TRUE(asked.save);                 // a new name may be typed
    bool cancelled = false;
    ui::setFileDialogResponder([&](const ui::FileDialogInfo&) {
        cancelled = true;
        return std::string();
    });
    w->click(m_ids.browse);  // cancelled: the name stays
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return cancelled; }));
    ui::pumpEventsFor(200);
    EXPECT_EQ(w->text(m_ids.fileName), m_dir.file("chosen.htm"));

    // Help! while no text viewer is part of the program: the standard warning.
    w->click(m_ids.help);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !m_boxes.empty(); }));
    EXPECT_EQ(m_boxes[0].text, "The Procedure ExportHelp has not been defined.");
    ui::pumpEventsFor(100);  // the box has gone and the window takes clicks again
    auto helped = std::make_shared<bool>(false);
    registerProcedure("ExportHelp", [helped] { *helped = true; });
    w->click(m_ids.help);
    EXPECT_TRUE(ui::pumpEventsUntil([&] { return *helped; }));
    EXPECT_EQ(m_boxes.size(), 1u);
}

TEST_F(ExportWindows, CancelPartWayLeavesACompletePage) {
    // Enough locations that the export takes several timer events.
    data::logout(1, {&data::SITEDX});
    for (int i = 0; i < 40000; ++i) {
        data::SITEDX.clear();
        char location[64];
        std::snprintf(location, sizeof location, "http://site%05d.example/", i);
        data::setString(data::findField("URL:LOCATION"), location);
        data::setString(data::findField("URL:DESCRIPTION"), std::string("Site ") + location);
        data::setString(data::findField("URL:CATEGORY"), "Group " + std::to_string(i / 1000));
        ASSERT_EQ(data::add(data::SITEDX), 0);
    }
    data::commit();
    exportSettings().name = m_dir.file("big.htm");
    data::closeAllFiles();
    m_thread = ui::startProcedure(ExportFile, 0, "ExportFile");
    m_threads.push_back(m_thread);
    ui::Window* progress = windowNamed("EXPORTFILE$PROGRESS");
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return progress->value(1) > 0; }, 20000));
    showForALook();
    progress->click(4);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }, 20000));
    EXPECT_TRUE(m_boxes.empty());
    const std::string page = readFile(m_dir.file("big.htm"));
    EXPECT_TRUE(page.ends_with("</body></html>\r\n"));
    const size_t rows = [&] {
        size_t n = 0;
        for (size_t at = 0; (at = page.find("<tr><td><li>", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }();
    EXPECT_GT(rows, 0u);
    EXPECT_LT(rows, 40000u);
    EXPECT_NE(page.find("<h2>Index</h2>"), std::string::npos);
}

}  // namespace
}  // namespace sitedex::app::exporting

namespace sitedex::app::exporting {
namespace {

// With the keyboard only: each letter of the window reaches its control, also after an export,
// when the progress window has come and gone.
TEST_F(ExportWindows, AcceleratorsReachTheirControlsBeforeAndAfterAnExport) {
    fillFixture();
    startExportMain();
    ui::Window* w = dialog();
    ui::activateWindow(*w);
    ui::pumpEventsFor(40);
    auto focusedIn = [&](int control) {
        QWidget* target = ui::widgetOfControl(*w, control);
        QWidget* focused = sitedex::testing::focusedWidget();
        return target && focused && (target == focused || target->isAncestorOf(focused));
    };
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_X, m_ids.fileName},      {Qt::Key_F, m_ids.typeRadios[2]},
                                            {Qt::Key_K, m_ids.typeRadios[5]}, {Qt::Key_T, m_ids.typeRadios[0]},
                                            {Qt::Key_S, m_ids.selected},      {Qt::Key_P, m_ids.category},
                                            {Qt::Key_X, m_ids.fileName}};
    for (const auto& [key, control] : keys) {
        ASSERT_TRUE(sitedex::testing::pressKey(key, Qt::AltModifier));
        EXPECT_TRUE(focusedIn(control)) << char(key);
    }
    // "&ASCII" and "&All" share their letter: each press goes on to the next of the two.
    for (int control : {m_ids.typeRadios[3], m_ids.all, m_ids.typeRadios[3], m_ids.all}) {
        ASSERT_TRUE(sitedex::testing::pressKey(Qt::Key_A, Qt::AltModifier));
        EXPECT_TRUE(focusedIn(control)) << control;
    }
    ASSERT_TRUE(sitedex::testing::pressKey(Qt::Key_T, Qt::AltModifier));
    ASSERT_TRUE(sitedex::testing::pressKey(Qt::Key_X, Qt::AltModifier));
    ASSERT_TRUE(sitedex::testing::pressKey(Qt::Key_A, Qt::ControlModifier));
    ASSERT_TRUE(sitedex::testing::typeText(m_dir.file("Typed")));
    ASSERT_TRUE(sitedex::testing::pressKey(Qt::Key_Return));
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return std::filesystem::exists(m_dir.file("typed.htm")); }))
        << w->text(m_ids.fileName);
    ASSERT_EQ(dialog(), w);
    ui::pumpEventsFor(100);
    for (Qt::Key key : {Qt::Key_K, Qt::Key_X}) {
        ASSERT_TRUE(sitedex::testing::pressKey(key, Qt::AltModifier));
        EXPECT_TRUE(focusedIn(key == Qt::Key_K ? m_ids.typeRadios[5] : m_ids.fileName))
            << "after the export " << char(key);
    }
    ASSERT_TRUE(sitedex::testing::pressKey(Qt::Key_A, Qt::ControlModifier));
    ASSERT_TRUE(sitedex::testing::typeText(m_dir.file("Second")));
    ASSERT_TRUE(sitedex::testing::pressKey(Qt::Key_Return));
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return std::filesystem::exists(m_dir.file("second.htm")); }));
    EXPECT_TRUE(m_boxes.empty());
}

}  // namespace
}  // namespace sitedex::app::exporting
