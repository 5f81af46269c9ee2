// The program as a person meets it (offscreen): Main with its frame, the browses as child windows
// of the frame, real keys and clicks. Focus and refresh between windows, accelerators, the list's
// context menu, Enter and Escape, window sizes and placement, the splash with About, leaving with
// unsaved edits, and a walk through the program with the keyboard alone.

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <filesystem>

#include "app/maintenance/select_categories.h"
#include "app/maintenance/update_sitedx.h"
#include "app/shell/main_frame.h"
#include "runtime/settings_file.h"
#include "tests/app/keyboard.h"
#include "tests/app/windows_fixture.h"
#include "ui/desktop.h"

namespace sitedex::app::maintenance {
namespace {

using namespace runtime;
using sitedex::testing::clickWidget;
using sitedex::testing::focusedWidget;
using sitedex::testing::pressKey;
using sitedex::testing::typeText;
namespace fs = std::filesystem;

constexpr const char* kBrowse = "BROWSESITEDX$WINDOW";
constexpr const char* kForm = "UPDATESITEDX$WINDOW";

const shell::FrameDefinition& frame() { return shell::frameDefinition(); }
const LocationsBrowseWindow& lw() { return locationsBrowseWindow(); }
const LocationFormWindow& fw() { return locationFormWindow(); }

QMainWindow* frameWidget() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMainWindow*>(w); m && m->isVisible())
            return m;
    return nullptr;
}

bool inside(QWidget* ancestor, QWidget* w) { return ancestor && w && (ancestor == w || ancestor->isAncestorOf(w)); }

class ProgramWindows : public testing::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        openFile(data::Categories);
        openFile(data::SITEDX);
        addCategory("Cat");
        addCategory("News");
        for (int n = 1; n <= 6; ++n)
            addLocation("https://site" + std::to_string(n) + ".example", "Site " + std::to_string(n), "Cat", n);
        data::closeAllFiles();
    }
    void TearDown() override {
        while (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            ui::pumpEventsFor(20);
        }
        if (ui::threadRunning(1)) {
            ui::setMessageBoxResponder([](const ui::MessageBoxInfo& b) {
                return b.caption == "Update Cancelled" ? int(kButtonNo) : b.defaultButton ? b.defaultButton : 1;
            });
            for (const auto& box : ui::openMessageBoxes())
                ui::answerMessageBox(box.thread, box.defaultButton);
            ui::requestCloseDown();
            EXPECT_TRUE(ui::pumpEventsUntil([] { return !ui::threadRunning(1); }, 5000));
        }
        WindowsTest::TearDown();
    }

    // Starts the program (Main), closes its splash as a click would, and waits for the locations
    // browse that follows; returns the browse's thread.
    int startProgram(bool closeSplash = true) {
        shell::registerApplicationProcedures();
        EXPECT_TRUE(ui::startFrameProcedure(shell::Main));
        int splash = 0;
        EXPECT_TRUE(ui::pumpEventsUntil([&] {
            splash = threadNamed("Splash");
            return ui::frameWindow() && splash && ui::currentWindow(splash);
        }));
        m_splash = splash;
        if (!closeSplash)
            return 0;
        ui::postEvent(kEventCloseWindow, 0, splash);
        return waitForBrowse();
    }
    static int threadNamed(const std::string& name, int after = 0) {
        for (int t = after + 1; t <= kThreadSlots; ++t)
            if (threadInUse(t) && threadSlot(t).procedure == name)
                return t;
        return 0;
    }
    // Waits for a locations browse on a thread not in `known`; returns its thread.
    int waitForBrowse(std::vector<int> known = {}) {
        int found = 0;
        ui::pumpEventsUntil([&] {
            for (int t = 2; t <= kThreadSlots && !found; ++t)
                if (std::find(known.begin(), known.end(), t) == known.end() && showing(t, kBrowse) &&
                    ui::ListControl(*ui::currentWindow(t), lw().list).rowCount() > 0)
                    found = t;
            return found != 0;
        });
        settle();
        return found;
    }
    ui::Window& browseOf(int t) { return *ui::currentWindow(t); }
    ui::ListControl listOf(int t) { return ui::ListControl(browseOf(t), lw().list); }
    std::string highlighted(int t, int c = 1) { return listOf(t).cellText(listOf(t).selectedRow(), c); }
    QWidget* widget(ui::Window& w, int control) { return ui::widgetOfControl(w, control); }

    int m_splash = 0;
};

// ---- focus and refresh ---------------------------------------------------------------------------

TEST_F(ProgramWindows, ABrowseShowsOtherWindowsAndProgramsChangesWhenItGetsTheFocusBack) {
    const int a = startProgram();
    ASSERT_NE(a, 0);
    ASSERT_EQ(column(listOf(a)), "Site 1,Site 2,Site 3,Site 4,Site 5,Site 6");
    ui::frameWindow()->click(frame().browseLocations);
    const int b = waitForBrowse({a});
    ASSERT_NE(b, 0);

    // In B: delete Site 5. Another program adds Site 7 and renames the category.
    ASSERT_TRUE(clickRowShowing(listOf(b), "Site 5"));
    settle();
    m_answers["Confirm Delete"] = {kButtonOk};
    browseOf(b).click(lw().remove);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return listOf(b).rowCount() == 5; }));
    std::string out;
    ASSERT_EQ(sitedex("add https://site7.example --description 'Site 7' --category Cat", &out), 0) << out;
    ASSERT_EQ(sitedex("rename-category Cat Kat", &out), 0) << out;
    EXPECT_EQ(column(listOf(a)), "Site 1,Site 2,Site 3,Site 4,Site 5,Site 6") << "A has not looked yet";

    ui::activateWindow(browseOf(a));  // the user clicks A's title bar
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return column(listOf(a)).find("Site 5") == std::string::npos; }, 2000))
        << column(listOf(a));
    EXPECT_EQ(column(listOf(a)), "Site 1,Site 2,Site 3,Site 4,Site 6,Site 7");
    EXPECT_EQ(column(listOf(a), 3), "Kat,Kat,Kat,Kat,Kat,Kat");
}

// A dialog of its own (Import) is a window beside the frame: when it closes and the frame is active
// again, the browse that was active in it looks at the files again, as it does for a click on it.
TEST_F(ProgramWindows, ABrowseLooksAgainWhenTheFrameIsActiveAgainAfterADialog) {
    const int a = startProgram();
    ASSERT_NE(a, 0);
    ui::frameWindow()->click(frame().fileImport);
    QPointer<QWidget> dialog;  // the window is deleted when it closes
    ASSERT_TRUE(ui::pumpEventsUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == "Import")
                dialog = w;
        return dialog != nullptr;
    }));
    settle();
    std::string out;
    ASSERT_EQ(sitedex("add https://site7.example --description 'Site 7' --category Cat", &out), 0) << out;
    dialog->activateWindow();
    ui::pumpEventsFor(30);
    ASSERT_TRUE(pressKey(Qt::Key_Escape));
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !dialog || !dialog->isVisible(); }, 3000)) << "Escape left Import open";
    frameWidget()->activateWindow();  // what the window manager does when the dialog has gone
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return column(listOf(a)).find("Site 7") != std::string::npos; }, 2000))
        << column(listOf(a));
}

TEST_F(ProgramWindows, KeyboardFocusGoesWhereTheUserWillType) {
    const int a = startProgram();
    ASSERT_NE(a, 0);
    // The browse opens with the focus in its list: arrows and letters work at once.
    EXPECT_TRUE(inside(widget(browseOf(a), lw().list), focusedWidget()));
    ASSERT_TRUE(pressKey(Qt::Key_Down));
    EXPECT_EQ(highlighted(a), "Site 2");
    ASSERT_TRUE(typeText("s"));
    EXPECT_EQ(highlighted(a), "Site 3") << "the letter walks through the records that start with it";

    // After a form closes the arrows move the highlight again.
    ASSERT_TRUE(pressKey(Qt::Key_Insert));
    ASSERT_TRUE(windowOf(a, kForm) != nullptr);
    EXPECT_TRUE(inside(widget(*ui::currentWindow(a), fw().location), focusedWidget()));
    ASSERT_TRUE(pressKey(Qt::Key_Escape));  // Escape cancels the form
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return showing(a, kBrowse); }));
    settle();
    EXPECT_TRUE(inside(widget(browseOf(a), lw().list), focusedWidget()));
    ASSERT_TRUE(pressKey(Qt::Key_Down));
    EXPECT_EQ(highlighted(a), "Site 4");

    // The status bar tells what the focused list is for.
    ASSERT_NE(frameWidget(), nullptr);
    EXPECT_EQ(frameWidget()->statusBar()->currentMessage().toStdString(), "Browsing Records");

    // Select Category: focus in its list, Enter selects, Escape closes.
    browseOf(a).chooseTab(lw().sheet, 3);
    settle();
    browseOf(a).click(lw().selectCategory);
    const SelectCategoriesWindow& sw = selectCategoriesWindow();
    ui::Window* pick = windowOf(a, sw.def.name);
    ASSERT_NE(pick, nullptr);
    EXPECT_TRUE(inside(widget(*pick, sw.list), focusedWidget()));
    ASSERT_TRUE(pressKey(Qt::Key_Escape));
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return showing(a, kBrowse); }));
    settle();
    EXPECT_EQ(listOf(a).rowCount(), 0) << "nothing picked: no category shown";
    browseOf(a).click(lw().selectCategory);
    ASSERT_NE(windowOf(a, sw.def.name), nullptr);
    ASSERT_TRUE(typeText("c"));
    ASSERT_TRUE(pressKey(Qt::Key_Return));
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return showing(a, kBrowse); }));
    settle();
    EXPECT_EQ(listOf(a).rowCount(), 6) << "Cat picked with Enter";
}

TEST_F(ProgramWindows, AChildWindowsAcceleratorsComeBeforeTheMenuBars) {
    const int a = startProgram();
    ASSERT_NE(a, 0);
    ASSERT_TRUE(pressKey(Qt::Key_Return, Qt::ControlModifier));  // Change
    ui::Window* form = windowOf(a, kForm);
    ASSERT_NE(form, nullptr);
    for (auto [key, control] : {std::pair{Qt::Key_R, fw().rating}, std::pair{Qt::Key_K, fw().keyword},
                                std::pair{Qt::Key_D, fw().description}, std::pair{Qt::Key_L, fw().location}}) {
        ASSERT_TRUE(pressKey(key, Qt::AltModifier));
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no menu of the frame opened";
        EXPECT_TRUE(inside(widget(*form, control), focusedWidget())) << char(key);
    }
    ASSERT_TRUE(pressKey(Qt::Key_Escape));
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return showing(a, kBrowse); }));
    settle();
    // Letters the child window does not use still open the frame's menus.
    ASSERT_TRUE(pressKey(Qt::Key_R, Qt::AltModifier));
    EXPECT_NE(qobject_cast<QMenu*>(QApplication::activePopupWidget()), nullptr) << "the Reports menu";
    ASSERT_TRUE(pressKey(Qt::Key_Escape));
    ASSERT_TRUE(pressKey(Qt::Key_Escape));
}

// ---- the list's context menu ----------------------------------------------------------------------

TEST_F(ProgramWindows, TheListsContextMenuWorksWithMouseAndKeyboard) {
    ui::setPopupResponder(nullptr);  // the real menu
    const int a = startProgram();
    ASSERT_NE(a, 0);
    auto* view = qobject_cast<QTableView*>(widget(browseOf(a), lw().list)->findChild<QTableView*>());
    ASSERT_NE(view, nullptr);
    auto openMenu = [&](const std::function<void()>& how) -> QMenu* {
        how();
        QMenu* menu = nullptr;
        ui::pumpEventsUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; },
                            1000);
        return menu;
    };
    auto texts = [](QMenu* m) {
        std::string s;
        for (QAction* a : m->actions())
            s += (s.empty() ? "" : ",") + std::string(a->isEnabled() ? "" : "~") + a->text().toStdString();
        return s;
    };
    // A right click on the third row: the menu stays up once the button is released.
    const QPoint row3 = view->visualRect(view->model()->index(2, 0)).center();
    QMenu* menu = openMenu([&] { QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier, row3); });
    ASSERT_NE(menu, nullptr);
    ui::pumpEventsFor(100);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(texts(menu), "&Insert,&Change,&Delete");
    EXPECT_EQ(highlighted(a), "Site 3") << "the row under the mouse";
    // Clicking an item chooses it: Change opens the form on that row.
    QAction* change = menu->actions().at(1);
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(change).center());
    ui::Window* form = windowOf(a, kForm);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(fw().description), "Site 3");
    form->click(fw().cancel);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return showing(a, kBrowse); }));
    settle();
    EXPECT_EQ(highlighted(a), "Site 3") << "the row the menu was for stays highlighted";

    // Shift+F10 and the Menu key open it at the highlighted row; Escape closes it.
    for (auto [key, mods] : {std::pair{Qt::Key_F10, Qt::KeyboardModifiers(Qt::ShiftModifier)},
                             std::pair{Qt::Key_Menu, Qt::KeyboardModifiers(Qt::NoModifier)}}) {
        view->setFocus();
        menu = openMenu([&] { pressKey(key, mods); });
        ASSERT_NE(menu, nullptr) << key;
        EXPECT_EQ(texts(menu), "&Insert,&Change,&Delete");
        ASSERT_TRUE(pressKey(Qt::Key_Escape));
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return QApplication::activePopupWidget() == nullptr; }));
        settle();
    }
    // A list with no rows offers Insert only; Enter on it opens the form.
    browseOf(a).chooseTab(lw().sheet, 3);  // no category picked: no rows
    settle();
    ASSERT_EQ(listOf(a).rowCount(), 0);
    view->setFocus();
    menu = openMenu([&] { pressKey(Qt::Key_Menu); });
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), "&Insert,~&Change,~&Delete");
    ASSERT_TRUE(pressKey(Qt::Key_Down));
    ASSERT_TRUE(pressKey(Qt::Key_Return));
    form = windowOf(a, kForm);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->definition().title, "Adding Location");
    form->click(fw().cancel);
}

// ---- paging ----------------------------------------------------------------------------------------

TEST_F(ProgramWindows, PageDownSlidesThePageAndTabDoesNotMoveTheHighlight) {
    openFile(data::SITEDX);
    for (int n = 10; n <= 60; ++n)
        addLocation("https://more" + std::to_string(n) + ".example", "Site " + std::to_string(n), "Cat");
    data::closeAllFiles();
    const int a = startProgram();
    ASSERT_NE(a, 0);
    ui::ListControl list = listOf(a);
    const int page = list.rowCount();
    ASSERT_GT(page, 3);
    ASSERT_EQ(list.selectedRow(), 1);
    const std::string below = list.cellText(page, 1);
    ASSERT_TRUE(pressKey(Qt::Key_PageDown));
    EXPECT_EQ(list.selectedRow(), 1) << "the page slides, the highlight keeps its row";
    EXPECT_NE(highlighted(a), "Site 1");
    EXPECT_EQ(list.cellText(1, 1) > below, true) << list.cellText(1, 1) << " follows " << below;
    const std::string now = highlighted(a);
    // Tab out of the list and back into it: the highlight stays on the same record.
    ASSERT_TRUE(pressKey(Qt::Key_Tab));
    EXPECT_FALSE(inside(widget(browseOf(a), lw().list), focusedWidget()));
    ASSERT_TRUE(pressKey(Qt::Key_Backtab));
    EXPECT_TRUE(inside(widget(browseOf(a), lw().list), focusedWidget()));
    EXPECT_EQ(highlighted(a), now);
    EXPECT_EQ(list.selectedRow(), 1);
}

// ---- sizes and placement ---------------------------------------------------------------------------

TEST_F(ProgramWindows, ARestoredSizeLaysTheControlsOutAndNothingShrinksBelowTheDesign) {
    // A first run records the designed proportions.
    int a = startProgram();
    ASSERT_NE(a, 0);
    ui::Window* w = &browseOf(a);
    const ui::Rect list0 = w->controlGeometry(lw().list), close0 = w->controlGeometry(lw().close);
    const int width0 = w->clientWidth(), height0 = w->clientHeight();
    const double listShare = double(list0.width) / width0;
    const int placedWidth = w->placementWidth(), placedHeight = w->placementHeight();
    w->click(lw().close);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(a); }));

    struct Case {
        const char* what;
        bool maximized;
    };
    for (const Case& c : {Case{"restored larger", false}, Case{"restored maximised, then normal", true}}) {
        SCOPED_TRACE(c.what);
        writeSetting("BrowseSITEDX", "XPosit", "12");
        writeSetting("BrowseSITEDX", "YPosit", "10");
        writeSetting("BrowseSITEDX", "Width", std::to_string(placedWidth * 3 / 2));
        writeSetting("BrowseSITEDX", "Height", std::to_string(placedHeight * 5 / 4));
        writeSetting("BrowseSITEDX", "Maximize", c.maximized ? "Yes" : "No");
        ui::frameWindow()->click(frame().browseLocations);
        a = waitForBrowse();
        ASSERT_NE(a, 0);
        w = &browseOf(a);
        if (c.maximized) {
            ASSERT_TRUE(w->isMaximized());
            w->showNormalState();
            ui::pumpEventsFor(150);
        }
        ASSERT_GT(w->clientWidth(), width0);
        const ui::Rect list1 = w->controlGeometry(lw().list), close1 = w->controlGeometry(lw().close);
        EXPECT_NEAR(double(list1.width) / w->clientWidth(), listShare, 0.02) << "the list keeps its share";
        EXPECT_GT(list1.height, list0.height);
        EXPECT_EQ(close1.height, close0.height) << "buttons keep a sensible size";
        EXPECT_LE(close1.x + close1.width, w->clientWidth());
        EXPECT_LE(close1.y + close1.height, w->clientHeight());
        EXPECT_GT(listOf(a).visibleRows(), 0);
        // Smaller than designed is not possible: nothing would fit.
        w->setPlacement(w->placementX(), w->placementY(), 60, 40);
        ui::pumpEventsFor(100);
        EXPECT_GE(w->clientWidth(), width0);
        EXPECT_GE(w->clientHeight(), height0);
        w->click(lw().close);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(a); }));
    }
}

TEST_F(ProgramWindows, PlacementFromTheSettingsIsKeptOnTheScreen) {
    writeSetting("Main", "XPosit", "10");
    writeSetting("Main", "YPosit", "10");
    writeSetting("Main", "Width", "2000000000");
    writeSetting("Main", "Height", "2000000000");
    writeSetting("Main", "Maximize", "No");
    writeSetting("BrowseSITEDX", "XPosit", "-900000");
    writeSetting("BrowseSITEDX", "YPosit", "99999999");
    writeSetting("BrowseSITEDX", "Width", "2000000000");
    writeSetting("BrowseSITEDX", "Height", "-5");
    const int a = startProgram();
    ASSERT_NE(a, 0);
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    ui::Window* f = ui::frameWindow();
    EXPECT_LE(f->placementWidth(), screen.width());
    EXPECT_LE(f->placementHeight(), screen.height());
    ui::Window& b = browseOf(a);
    EXPECT_GE(b.placementX(), 0);
    EXPECT_GE(b.placementY(), 0);
    EXPECT_LE(b.placementWidth(), screen.width());
    EXPECT_GT(b.clientHeight(), 0);
    ui::requestCloseDown();
    ASSERT_TRUE(ui::pumpEventsUntil([] { return !ui::threadRunning(1); }, 5000));
    EXPECT_LE(settingNumber(readSetting("Main", "Width")), screen.width()) << "saved back within the screen";
    EXPECT_LE(settingNumber(readSetting("BrowseSITEDX", "Width")), screen.width());
}

// ---- the splash, About, leaving -------------------------------------------------------------------

TEST_F(ProgramWindows, AboutWhileTheSplashShowsStillLeadsToTheBrowse) {
    startProgram(false);
    ui::frameWindow()->click(frame().helpAbout);
    ui::Window* about = windowOf(1, "ABOUT$WINDOW");
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return threadNamed("Splash") == 0; }));
    QWidget* box = widget(*about, 1)->window();
    EXPECT_FALSE(box->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    ASSERT_TRUE(pressKey(Qt::Key_Return));  // Enter is its OK
    EXPECT_NE(waitForBrowse(), 0) << "the browse opens once About has closed";
}

TEST_F(ProgramWindows, ExitWithUnsavedEditsAsksFirst) {
    struct Case {
        int answer;
        bool ends;
        const char* description;  // on disk afterwards
    };
    for (const Case& c : {Case{kButtonCancel, false, "Site 1"}, Case{kButtonNo, true, "Site 1"},
                          Case{kButtonYes, true, "Site 1 typed"}}) {
        SCOPED_TRACE(c.answer);
        m_boxes.clear();
        const int a = startProgram();
        ASSERT_NE(a, 0);
        ASSERT_TRUE(pressKey(Qt::Key_Return, Qt::ControlModifier));
        ASSERT_NE(windowOf(a, kForm), nullptr);
        ASSERT_TRUE(pressKey(Qt::Key_D, Qt::AltModifier));
        ASSERT_TRUE(pressKey(Qt::Key_End));
        ASSERT_TRUE(typeText(" typed"));  // the cursor stays in the field
        m_answers["Update Cancelled"] = {c.answer};
        ui::frameWindow()->click(frame().fileExit);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return boxShown("Update Cancelled"); }, 2000)) << boxes();
        EXPECT_EQ(m_boxes.back().text, "Do you want to save the changes to this record?");
        EXPECT_EQ(ui::pumpEventsUntil([] { return !ui::threadRunning(1); }, 2000), c.ends);
        if (!c.ends) {
            EXPECT_TRUE(showing(a, kForm)) << "the form stays with its edit";
            EXPECT_EQ(ui::currentWindow(a)->text(fw().description), "Site 1 typed");
            ui::currentWindow(a)->click(fw().cancel);
            ui::requestCloseDown();
            ASSERT_TRUE(ui::pumpEventsUntil([] { return !ui::threadRunning(1); }, 5000));
        }
        const auto rows = onDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION"});
        EXPECT_NE(std::find(rows.begin(), rows.end(), std::string("https://site1.example|") + c.description),
                  rows.end())
            << ::testing::PrintToString(rows);
    }
}

// ---- smaller things --------------------------------------------------------------------------------

TEST_F(ProgramWindows, MessageBoxesAreDialogsAndGiveTheFocusBackToTheForm) {
    const int a = startProgram();
    ASSERT_NE(a, 0);
    ui::frameWindow()->click(frame().browseLocations);  // a second browse the focus could jump to
    const int b = waitForBrowse({a});
    ASSERT_NE(b, 0);
    ui::activateWindow(browseOf(a));
    ASSERT_TRUE(pressKey(Qt::Key_Return, Qt::ControlModifier));
    ui::Window* form = windowOf(a, kForm);
    ASSERT_NE(form, nullptr);
    // Another window changes the record meanwhile: OK meets the conflict.
    setCurrentThread(61);
    ASSERT_EQ(data::share(data::SITEDX, data::kModeShared), 0);
    data::setString(data::findField("URL:LOCATION"), "https://site1.example");
    ASSERT_EQ(data::get(data::SITEDX, *data::SITEDX.findKey("URL:K_LOCATION")), 0);
    data::setString(data::findField("URL:DESCRIPTION"), "Site 1 elsewhere");
    ASSERT_EQ(data::put(data::SITEDX), 0);
    data::close(data::SITEDX);
    setCurrentThread(1);

    bool plainDialog = false;
    ui::setMessageBoxResponder([&](const ui::MessageBoxInfo& info) {
        m_boxes.push_back(info);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->windowTitle().toStdString() == info.caption)
                plainDialog = !(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        return int(kButtonOk);
    });
    ASSERT_TRUE(pressKey(Qt::Key_D, Qt::AltModifier));
    ASSERT_TRUE(typeText(" mine"));
    ASSERT_TRUE(pressKey(Qt::Key_O, Qt::AltModifier));
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !m_boxes.empty(); }));
    settle();
    EXPECT_EQ(m_boxes.back().caption, "Update Operation Error");
    EXPECT_TRUE(plainDialog) << "no minimise or maximise on a message box";
    ASSERT_TRUE(showing(a, kForm));
    QWidget* formClient = widget(*form, fw().ok)->parentWidget();
    EXPECT_TRUE(inside(formClient, focusedWidget())) << "the focus is back in the form";
    EXPECT_EQ(form->text(fw().description), "Site 1 elsewhere");
}

TEST_F(ProgramWindows, TheCategoryBrowsesRatingHeaderIsReadable) {
    start(+[] {
        data::setString(data::findField("CAT:CATEGORY"), "Cat");
        BrowseURL_K_Category();
    });
    const CategoryLocationsWindow& cw = categoryLocationsWindow();
    ui::Window* w = nullptr;
    ASSERT_TRUE(ui::pumpEventsUntil([&] {
        for (int t = 2; t <= kThreadSlots && !w; ++t)
            if (showing(t, cw.def.name))
                w = ui::currentWindow(t);
        return w != nullptr;
    }));
    settle();
    auto* view = widget(*w, cw.list)->findChild<QTableView*>();
    ASSERT_NE(view, nullptr);
    QHeaderView* header = view->horizontalHeader();
    for (int c = 0; c < header->count(); ++c) {
        const QString text = view->model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(c), header->fontMetrics().horizontalAdvance(text) + 4) << text.toStdString();
    }
}

TEST_F(ProgramWindows, TheLocatorAndTheThumbKnowLettersBeyondAscii) {
    data::closeAllFiles();
    fs::remove(m_dir.file("URL_L.VLX"));
    openFile(data::SITEDX);
    const char* const words[] = {"Арбуз",   "Банан", "Википедия", "Вконтакте", "Гора",   "Дом",   "Ель",
                                 "Жук",     "Звезда", "Игла",     "Кот",       "Лес",    "Молоко", "Нос",
                                 "Окно",    "Пирог", "Река",      "Сад",       "Трава",  "Утро",  "Фонарь",
                                 "Хлеб",    "Цветок", "Чай",      "Шар",       "Щука",   "Эхо",   "Юла",
                                 "Яблоко",  "Ёж"};
    int n = 0;
    for (const char* w : words)
        addLocation("https://ru" + std::to_string(++n) + ".example", w, "Cat");
    data::closeAllFiles();
    const int t = start(BrowseSITEDX);
    ASSERT_NE(windowOf(t, kBrowse), nullptr);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return listOf(t).rowCount() > 3; }));
    ui::activateWindow(browseOf(t));
    widget(browseOf(t), lw().list)->setFocus();
    ASSERT_TRUE(typeText("в"));
    EXPECT_EQ(highlighted(t), "Википедия");
    ASSERT_TRUE(typeText("в"));
    EXPECT_EQ(highlighted(t), "Вконтакте") << "the same letter walks on";
    ASSERT_TRUE(typeText("м"));
    ASSERT_EQ(highlighted(t), "Молоко");
    const int thumb = listOf(t).thumb();
    EXPECT_GT(thumb, 20) << "a record in the middle has its thumb in the middle";
    EXPECT_LT(thumb, 70);
    ASSERT_TRUE(typeText("я"));
    EXPECT_EQ(highlighted(t), "Яблоко");
    EXPECT_GT(listOf(t).thumb(), thumb);
}

// ---- the keyboard alone ----------------------------------------------------------------------------

TEST_F(ProgramWindows, AWalkThroughTheProgramWithTheKeyboardAlone) {
    const int a = startProgram();
    ASSERT_NE(a, 0);
    auto waitFor = [&](const std::string& name) { return windowOf(a, name) != nullptr; };
    auto keys = [&](std::initializer_list<std::pair<Qt::Key, Qt::KeyboardModifiers>> list) {
        for (auto [k, m] : list)
            ASSERT_TRUE(pressKey(k, m));
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier, alt = Qt::AltModifier, ctrl = Qt::ControlModifier;

    // Insert: the form opens on the address; Tab goes on to the description; Alt+C to the category.
    keys({{Qt::Key_Insert, none}});
    ASSERT_TRUE(waitFor(kForm));
    ASSERT_TRUE(typeText("https://walk.example/"));
    keys({{Qt::Key_Tab, none}});
    ASSERT_TRUE(typeText("Walked in"));
    keys({{Qt::Key_C, alt}});
    ASSERT_TRUE(typeText("News"));
    keys({{Qt::Key_O, alt}});
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return showing(a, kBrowse); })) << boxes();
    settle();
    EXPECT_EQ(highlighted(a), "Walked in");

    // Change: Ctrl+Enter, Alt+D, a new description, Enter.
    keys({{Qt::Key_Return, ctrl}});
    ASSERT_TRUE(waitFor(kForm));
    keys({{Qt::Key_D, alt}, {Qt::Key_A, ctrl}});
    ASSERT_TRUE(typeText("Walked on"));
    keys({{Qt::Key_Return, none}});
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return showing(a, kBrowse); })) << boxes();
    settle();
    EXPECT_EQ(highlighted(a), "Walked on");

    // Delete: the Delete key, then OK in the box (Tab moves from Cancel, its default, to OK... by
    // Shift+Tab; Enter presses it).
    ui::setMessageBoxResponder([&](const ui::MessageBoxInfo& box) {
        m_boxes.push_back(box);
        return 0;  // the keyboard answers
    });
    keys({{Qt::Key_Delete, none}});
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::openMessageBoxes().empty(); }));
    settle();
    EXPECT_EQ(ui::openMessageBoxes().front().caption, "Confirm Delete");
    keys({{Qt::Key_Backtab, none}, {Qt::Key_Return, none}});
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return ui::openMessageBoxes().empty(); }));
    settle();
    auto rows = onDisk(data::SITEDX, {"URL:DESCRIPTION"});
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "Walked on"), 0) << ::testing::PrintToString(rows);

    // Category pick: Shift+Tab to the tabs, Right twice to Category, Tab past the list to "Select
    // Category", Enter; in the pick list a letter and Enter.
    keys({{Qt::Key_Backtab, none}, {Qt::Key_Right, none}, {Qt::Key_Right, none}});
    settle();
    EXPECT_EQ(browseOf(a).choice(lw().sheet), 3);
    keys({{Qt::Key_Tab, none}, {Qt::Key_Tab, none}, {Qt::Key_Return, none}});
    ASSERT_TRUE(waitFor(selectCategoriesWindow().def.name));
    ASSERT_TRUE(typeText("c"));
    keys({{Qt::Key_Return, none}});
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return showing(a, kBrowse); }));
    settle();
    EXPECT_EQ(column(listOf(a)), "Site 1,Site 2,Site 3,Site 4,Site 5,Site 6");

    // Exit: Alt+F, X.
    ui::activateWindow(*ui::frameWindow());
    keys({{Qt::Key_F, alt}, {Qt::Key_X, none}});
    EXPECT_TRUE(ui::pumpEventsUntil([] { return !ui::threadRunning(1); }, 5000));
}

}  // namespace
}  // namespace sitedex::app::maintenance
