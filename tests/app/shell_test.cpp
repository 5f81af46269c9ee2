// Main, the frame, the splash and About, on real windows (offscreen).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QMenuBar>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTextBrowser>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <memory>

#include "app/shell/globals.h"
#include "app/shell/main_frame.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "ui/desktop.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::shell {
namespace {

using namespace runtime;
namespace fs = std::filesystem;

const char* const kMenuProcedures[] = {
    "ImportMain",           "MonitorClipboard",    "ExportMain",          "ImportSITEDX",
    "BrowseSITEDX",         "BrowseCategories",    "PrintURL:K_Description", "PrintURL:K_Location",
    "PrintURL:K_Category",  "PrintURL:K_Rating",   "PrintURL:K_Keyword",  "PrintCAT:K_Category",
    "WhatsNew",
};

// A procedure with a child window that closes when asked (or refuses `refusals` times).
void childWindowProcedure(const char* title, int refusals = 0) {
    ui::WindowDef def;
    def.name = "TEST$WINDOW";
    def.title = title;
    def.width = 120;
    def.height = 60;
    def.resizable = true;
    def.addButton("OK", {10, 10, 40, 14});
    ui::Window w(def);
    while (w.waitForEvent())
        if (currentEvent() == kEventCloseWindow && refusals-- > 0) w.keepOpen();
}

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sitedex-shell-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.c_str(), 1);
        ui::ensureApplication();
        ui::setMessageBoxResponder(nullptr);
        for (const char* name : kMenuProcedures) unregisterProcedure(name);
    }
    void TearDown() override {
        if (ui::threadRunning(1)) {
            ui::setMessageBoxResponder([](const ui::MessageBoxInfo&) { return kButtonOk; });
            for (const auto& box : ui::openMessageBoxes()) ui::answerMessageBox(box.thread, kButtonOk);
            ui::requestCloseDown();
            EXPECT_TRUE(ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }, 5000));
        }
        for (const char* name : kMenuProcedures) unregisterProcedure(name);
        ui::setMessageBoxResponder(nullptr);
        fs::remove_all(m_dir);
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }

    // Starts Main as the frame's thread and waits for its frame and splash.
    int startMain() {
        EXPECT_TRUE(ui::startFrameProcedure(Main));
        int splash = 0;
        EXPECT_TRUE(ui::pumpEventsUntil([&] {
            splash = threadNamed("Splash");
            return ui::frameWindow() && splash && ui::currentWindow(splash);
        }));
        return splash;
    }
    static int threadNamed(const std::string& name) {
        for (int t = 2; t <= kThreadSlots; ++t)
            if (threadInUse(t) && threadSlot(t).procedure == name) return t;
        return 0;
    }
    static void choose(int FrameDefinition::*item) { ui::frameWindow()->click(frameDefinition().*item); }
    static QMainWindow* frameWidget() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<QMainWindow*>(w); m && m->isVisible()) return m;
        return nullptr;
    }
    void closeFrame() {
        ui::requestCloseDown();
        ASSERT_TRUE(ui::pumpEventsUntil([] { return !ui::threadRunning(1); }));
    }

    fs::path m_dir;
};

TEST_F(Shell, FirstStartRecordsTheVersionAndTheSplashOpensTheBrowse) {
    auto browseThread = std::make_shared<int>(0);
    registerProcedure("BrowseSITEDX", [browseThread] {
        *browseThread = currentThread();
        childWindowProcedure("Locations");
    });
    int splash = startMain();
    ASSERT_NE(splash, 0);
    EXPECT_EQ(readSetting("System", "Version"), "1.5");
    EXPECT_EQ(versionText(), "1.5");
    EXPECT_EQ(importDocumentName(), "bookmark.htm");
    EXPECT_EQ(ui::frameWindow()->definition().title, "Sitedex 97");
    EXPECT_EQ(ui::currentWindow(splash)->text(2), "Version 1.5");
    EXPECT_EQ(ui::currentWindow(splash)->timer(), 300);

    // The splash goes after three seconds and the locations browse follows on a thread of its own.
    EXPECT_FALSE(ui::pumpEventsUntil([&] { return *browseThread != 0; }, 2500));
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return *browseThread != 0; }, 2000));
    EXPECT_NE(*browseThread, 1);
    EXPECT_EQ(threadSlot(*browseThread).requestedStack, 0u);  // the default stack
    EXPECT_TRUE(ui::pumpEventsUntil([&] { return threadNamed("Splash") == 0; }));

    closeFrame();  // the frame closes the browse first
    EXPECT_FALSE(ui::threadRunning(*browseThread));
    EXPECT_EQ(readSetting("Main", "Maximize"), "No");
    EXPECT_NE(settingNumber(readSetting("Main", "Width")), 0);
    EXPECT_NE(readSetting("Main", "XPosit", "missing"), "missing");
}

TEST_F(Shell, AMenuCommandClosesTheSplashAtOnceAndTheBrowseStillOpens) {
    auto started = std::make_shared<std::vector<std::string>>();
    registerProcedure("BrowseSITEDX", [started] { started->push_back("BrowseSITEDX"); });
    registerProcedure("BrowseCategories", [started] { started->push_back("BrowseCategories"); });
    int splash = startMain();
    choose(&FrameDefinition::browseCategories);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return started->size() == 2; }, 1000));
    EXPECT_FALSE(ui::threadRunning(splash));
    EXPECT_EQ(*started, (std::vector<std::string>{"BrowseCategories", "BrowseSITEDX"}));
}

TEST_F(Shell, AClickOnTheSplashClosesItAndTheBrowseOpens) {
    auto opened = std::make_shared<bool>(false);
    registerProcedure("BrowseSITEDX", [opened] { *opened = true; });
    int splash = startMain();
    QWidget* picture = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (w->windowFlags() & Qt::SplashScreen) == Qt::SplashScreen) picture = w;
    ASSERT_NE(picture, nullptr);
    QPoint middle(picture->width() / 2, picture->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, middle, picture->mapToGlobal(middle), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(picture->childAt(middle) ? picture->childAt(middle) : picture, &press);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return *opened; }, 1000));  // well before the three seconds
    EXPECT_NE(threadSlot(splash).procedure, "Splash");
}

TEST_F(Shell, CommandsWithoutTheirProcedureShowWarning6) {
    registerProcedure("BrowseSITEDX", [] {});
    auto boxes = std::make_shared<std::vector<ui::MessageBoxInfo>>();
    ui::setMessageBoxResponder([boxes](const ui::MessageBoxInfo& info) {
        boxes->push_back(info);
        return kButtonOk;
    });
    startMain();
    const std::vector<std::pair<int FrameDefinition::*, const char*>> commands = {
        {&FrameDefinition::fileImport, "ImportMain"},
        {&FrameDefinition::fileExport, "ExportMain"},
        {&FrameDefinition::fileMerge, "ImportSITEDX"},
        {&FrameDefinition::printByKeyword, "PrintURL:K_Keyword"},
        {&FrameDefinition::printCategories, "PrintCAT:K_Category"},
        {&FrameDefinition::helpWhatsNew, "WhatsNew"},
    };
    for (const auto& [item, name] : commands) {
        boxes->clear();
        choose(item);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return !boxes->empty(); })) << name;
        const ui::MessageBoxInfo& box = boxes->front();
        EXPECT_EQ(box.text, std::string("The Procedure ") + name + " has not been defined.");
        EXPECT_EQ(box.caption, "Procedure not defined");
        EXPECT_EQ(box.icon, kIconAsterisk);
        EXPECT_EQ(box.buttons, kButtonOk);
        EXPECT_EQ(box.thread, 1);  // shown by the frame, which waits for it
    }
}

TEST_F(Shell, CommandsStartTheirProceduresWithTheStackTheyRequest) {
    auto stacks = std::make_shared<std::map<std::string, std::size_t>>();
    for (const char* name : kMenuProcedures)
        registerProcedure(name, [stacks, name] { (*stacks)[name] = threadSlot(currentThread()).requestedStack; });
    startMain();
    const FrameDefinition& f = frameDefinition();
    for (int item : {f.fileImport, f.fileClipboardMonitor, f.fileExport, f.fileMerge, f.browseLocations,
                     f.browseCategories, f.printByDescription, f.printByLocation, f.printByCategory,
                     f.printByRating, f.printByKeyword, f.printCategories, f.helpWhatsNew}) {
        ui::frameWindow()->click(item);
    }
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return stacks->size() == std::size(kMenuProcedures); }));
    for (const char* name : {"ImportMain", "MonitorClipboard", "ExportMain", "ImportSITEDX", "WhatsNew"})
        EXPECT_EQ(stacks->at(name), kSmallStack) << name;
    for (const char* name : {"BrowseCategories", "PrintURL:K_Description", "PrintURL:K_Location",
                             "PrintURL:K_Category", "PrintURL:K_Rating", "PrintURL:K_Keyword", "PrintCAT:K_Category"})
        EXPECT_EQ(stacks->at(name), kLargeStack) << name;
}

TEST_F(Shell, ChoosingBrowseTwiceOpensTwoIndependentWindows) {
    auto threads = std::make_shared<std::vector<int>>();
    registerProcedure("BrowseSITEDX", [threads] {
        threads->push_back(currentThread());
        childWindowProcedure("Locations");
    });
    startMain();
    choose(&FrameDefinition::browseLocations);  // closes the splash, which starts one more
    choose(&FrameDefinition::browseLocations);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return threads->size() == 3; }));
    std::set<int> distinct(threads->begin(), threads->end());
    EXPECT_EQ(distinct.size(), 3u);
    for (int t : *threads) EXPECT_TRUE(ui::currentWindow(t) != nullptr);
    auto* area = frameWidget()->findChild<QMdiArea*>();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->subWindowList().size(), 3);  // children of the frame

    choose(&FrameDefinition::windowTile);
    ui::pumpEventsFor(100);
    auto subs = area->subWindowList();
    for (int i = 0; i < subs.size(); ++i)
        for (int j = i + 1; j < subs.size(); ++j) EXPECT_FALSE(subs[i]->geometry().intersects(subs[j]->geometry()));
}

TEST_F(Shell, BodyInFrameIsOnOnlyForTheNumberOne) {
    struct Case {
        const char* stored;  // nullptr: no key
        int expected;
    } cases[] = {{"1", 1}, {"1.0", 1}, {" 1 ", 1}, {"yes", 0}, {"", 0}, {"2", 0}, {"0", 0}, {nullptr, 0}};
    for (const Case& c : cases) {
        if (c.stored) writeSetting("Settings", "BodyInFrame", c.stored);
        else writeSetting("Settings", "BodyInFrame", std::nullopt);
        bodyInFrame() = -1;
        startMain();
        EXPECT_EQ(bodyInFrame(), c.expected) << (c.stored ? c.stored : "(missing)");
        closeFrame();
    }
}

TEST_F(Shell, TheFrameReopensWhereItWasAndRemembersBeingMaximised) {
    writeSetting("Main", "XPosit", "30");
    writeSetting("Main", "YPosit", "40");
    writeSetting("Main", "Width", "700");
    writeSetting("Main", "Height", "500");
    writeSetting("Main", "Maximize", "No");
    startMain();
    ui::Window* frame = ui::frameWindow();
    EXPECT_EQ(frame->placementX(), 30);
    EXPECT_EQ(frame->placementY(), 40);
    EXPECT_EQ(frame->placementWidth(), 700);
    EXPECT_EQ(frame->placementHeight(), 500);
    frame->showMaximizedState();
    closeFrame();
    EXPECT_EQ(readSetting("Main", "Maximize"), "Yes");
    EXPECT_EQ(readSetting("Main", "Width"), "700");  // the normal size, not the maximised one
    EXPECT_EQ(readSetting("Main", "XPosit"), "30");
}

TEST_F(Shell, ExitWaitsForChildWindowsAndStaysWhenOneRefuses) {
    registerProcedure("BrowseSITEDX", [] { childWindowProcedure("Locations", 1); });
    startMain();
    choose(&FrameDefinition::browseLocations);  // one browse, and one more as the splash closes
    auto browses = [] {
        std::vector<int> found;
        for (int t = 2; t <= kThreadSlots; ++t)
            if (threadInUse(t) && threadSlot(t).procedure == "BrowseSITEDX" && ui::currentWindow(t)) found.push_back(t);
        return found;
    };
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return browses().size() == 2 && !threadNamed("Splash"); }));
    choose(&FrameDefinition::fileExit);
    ui::pumpEventsFor(300);
    EXPECT_TRUE(ui::threadRunning(1));  // the browses refused to close, so the frame stays
    EXPECT_EQ(browses().size(), 2u);
    choose(&FrameDefinition::fileExit);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(1); }));
    EXPECT_TRUE(browses().empty());
    EXPECT_EQ(CallResponse(), 0);  // the test's own stack keeps its own response
}

TEST_F(Shell, ExitClosesAFormCalledFromABrowseAndThenTheBrowse) {
    auto formOpen = std::make_shared<bool>(false);
    registerProcedure("BrowseSITEDX", [formOpen] {
        ui::WindowDef def;
        def.title = "Locations";
        ui::Window browse(def);
        while (browse.waitForEvent()) {
            if (currentEvent() != kEventOpenWindow || *formOpen) continue;
            *formOpen = true;
            childWindowProcedure("Update");  // a form called on the browse's thread
        }
    });
    startMain();
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return *formOpen; }, 5000));
    choose(&FrameDefinition::fileExit);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(1); }));
    EXPECT_EQ(threadNamed("BrowseSITEDX"), 0);
}

TEST_F(Shell, AboutRunsOnTheFramesThreadUntilOK) {
    registerProcedure("BrowseSITEDX", [] {});
    startMain();
    choose(&FrameDefinition::helpAbout);
    ASSERT_TRUE(ui::pumpEventsUntil([] { return ui::currentWindow(1) != ui::frameWindow(); }));
    ui::Window* about = ui::currentWindow(1);
    EXPECT_EQ(about->definition().title, "About");
    EXPECT_EQ(about->text(2), "Version 1.5");
    EXPECT_EQ(about->text(3), "&OK");
    EXPECT_FALSE(frameWidget()->menuBar()->isEnabled());  // the frame takes no command meanwhile
    about->click(3);
    ASSERT_TRUE(ui::pumpEventsUntil([] { return ui::currentWindow(1) == ui::frameWindow(); }));
    EXPECT_TRUE(frameWidget()->menuBar()->isEnabled());
}

TEST_F(Shell, HelpContentsOpensTheProgramsHelp) {
    registerProcedure("BrowseSITEDX", [] {});
    startMain();
    choose(&FrameDefinition::helpContents);
    QTextBrowser* viewer = nullptr;
    ASSERT_TRUE(ui::pumpEventsUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QTextBrowser*>(w); b && b->isVisible()) viewer = b;
        return viewer != nullptr;
    }));
    EXPECT_EQ(viewer->documentTitle(), "Sitedex Help");
    EXPECT_TRUE(viewer->toPlainText().contains("Categories"));
    viewer->close();
}

// SIGTERM, and the session ending (the application told to quit), close the frame as File > Exit
// does: Main saves its placement and the program ends with 0. The request comes from a procedure
// of the program once the frame is up, so that it cannot arrive before the program listens.
void desktopEndedFromOutside(const fs::path& dir, bool bySignal) {
    ::setenv("SITEDEX_CONFIG_DIR", dir.c_str(), 1);
    // A loaded machine may let the splash close before the request comes; the browse it starts must
    // then not stop the frame with an unanswered "not defined" box.
    registerProcedure("BrowseSITEDX", [] {});
    char name[] = "sitedex";
    char* argv[] = {name, nullptr};
    int code = ui::runDesktop(1, argv, [bySignal] {
        ui::startProcedure([bySignal] {
            ui::waitUntil([] { return ui::frameWindow() != nullptr; }, 20);
            if (bySignal)
                ::raise(SIGTERM);
            else
                QCoreApplication::quit();
        });
        Main();
    });
    std::fprintf(stderr, "exit code %d, saved XPosit=%s\n", code, readSetting("Main", "XPosit", "none").c_str());
    std::fflush(stderr);
    std::_Exit(code == 0 ? 42 : 1);
}

TEST(ShutDown, SigtermOrTheSessionEndingClosesTheFrameAsExitDoes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (bool bySignal : {true, false}) {
        char pattern[] = "/tmp/sitedex-shutdown-XXXXXX";
        fs::path dir = ::mkdtemp(pattern);
        EXPECT_EXIT(desktopEndedFromOutside(dir, bySignal), ::testing::ExitedWithCode(42),
                    "exit code 0, saved XPosit=[-0-9]+")
            << (bySignal ? "SIGTERM" : "session end");
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace sitedex::app::shell
