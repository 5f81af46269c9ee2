// The text viewers: the search rules (a table of cases), loading lines through the text driver, and
// the viewers in real windows (offscreen) over real files: the search window, Find Next and the
// questions at the ends, Cancel while loading, a missing and an empty file, the program's own texts.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <deque>
#include <fstream>

#include "app/viewer/text_load_job.h"
#include "app/viewer/text_search.h"
#include "app/viewer/text_viewer.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "tests/support/data_fixtures.h"
#include "ui/list_box.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"
#include "ui/window_private.h"

namespace sitedex::app::viewer {
namespace {

using namespace runtime;
using sitedex::testing::TempDir;
using sitedex::testing::writeFile;

TEST(TextSearch, FindsLinesByTheViewersRules) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        int current;
        SearchSettings settings;
        std::vector<bool> answers;  // to "start again?", in turn
        int found;
        std::vector<std::string> asked;  // the directions asked about
    };
    const std::vector<std::string> three = {"first line", "second line", "the needle is here"};
    const Case cases[] = {
        {"one line: asks, then finds it again", {"the quick brown fox"}, 1, {"quick"}, {true}, 1, {"Down"}},
        {"a match in the last line", three, 1, {"needle"}, {}, 3, {}},
        {"up from the first line wraps to the end",
         {"x needle", "b", "c"},
         1,
         {"needle", false, false, "Up"},
         {true},
         1,
         {"Up"}},
        {"up finds the nearest line above",
         {"needle 1", "needle 2", "c"},
         3,
         {"needle", false, false, "Up"},
         {},
         2,
         {}},
        {"not in the file: asks until No", three, 1, {"absent"}, {true, true, false}, 0, {"Down", "Down", "Down"}},
        {"case ignored", three, 0, {"NEEDLE"}, {}, 3, {}},
        {"match case", three, 0, {"NEEDLE", false, true}, {false}, 0, {"Down"}},
        {"trailing blanks of the search text do not count", three, 0, {"needle   "}, {}, 3, {}},
        {"whole word: in parentheses it is no word", {"see (export) here"}, 0, {"export", true}, {false}, 0, {"Down"}},
        {"whole word: a full stop after it at the line's end",
         {"we export."},
         0,
         {"export", true},
         {false},
         0,
         {"Down"}},
        {"whole word: at the line's end", {"we export"}, 0, {"export", true}, {}, 1, {}},
        {"whole word: trailing blanks after it", {"we export   "}, 0, {"export", true}, {}, 1, {}},
        {"whole word: at the line's start", {"export now"}, 0, {"export", true}, {}, 1, {}},
        {"whole word: a later occurrence in the line", {"reexport export now"}, 0, {"export", true}, {}, 1, {}},
        {"part of a word without whole word", {"reexporting"}, 0, {"export"}, {}, 1, {}},
        {"nothing to search for", three, 1, {""}, {}, 0, {}},
        {"no lines", {}, 0, {"x"}, {}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::deque<bool> answers(c.answers.begin(), c.answers.end());
        std::vector<std::string> asked;
        const int found = searchLines(c.lines, c.current, c.settings, [&](const std::string& direction) {
            asked.push_back(direction);
            if (answers.empty())
                return false;
            bool a = answers.front();
            answers.pop_front();
            return a;
        });
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(asked, c.asked);
    }
}

class TextViewer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        setCurrentThread(1);
        ui::ensureApplication();
        ui::installWindowHooks();
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box.caption + ": " + box.text);
            if (!m_answers.empty()) {
                int a = m_answers.front();
                m_answers.pop_front();
                return a;
            }
            return box.defaultButton ? box.defaultButton : int(kButtonOk);
        });
        registerViewerProcedures();
    }
    void TearDown() override {
        for (int round = 0; round < 5 && ui::runningThreads() > 0; ++round) {
            for (int t = 2; t <= kThreadSlots; ++t)
                if (ui::threadRunning(t))
                    ui::postEvent(kEventCloseWindow, 0, t);
            ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }, 1000);
        }
        ui::setMessageBoxResponder(nullptr);
        setCurrentThread(1);
        ::unsetenv("SITEDEX_CONFIG_DIR");
        ASSERT_EQ(::chdir(m_old), 0);
    }

    void start(std::function<void()> procedure) {
        m_thread = ui::startProcedure(std::move(procedure), 0, "ViewerTest");
        ASSERT_NE(m_thread, 0);
    }
    ui::Window* window(const std::string& name) {
        ui::Window* w = ui::currentWindow(m_thread);
        return w && w->definition().name == name ? w : nullptr;
    }
    // Waits for the view window with its lines loaded.
    ui::Window* viewer(const ViewerDesign& design) {
        ui::Window* w = nullptr;
        EXPECT_TRUE(ui::pumpEventsUntil([&] { return (w = window(design.windowName)) != nullptr; }, 10000));
        ui::pumpEventsFor(60);
        return w;
    }
    ui::ListControl list(ui::Window* w, const ViewerDesign& d) { return ui::ListControl(*w, viewWindow(d).list); }
    std::string highlighted(ui::Window* w, const ViewerDesign& d) {
        auto l = list(w, d);
        return l.cellText(l.selectedRow(), 1);
    }
    void find(ui::Window* w, const ViewerDesign& d, const std::string& text, bool wholeWord = false,
              bool byKey = false) {
        if (byKey) {
            // Ctrl+F: Alt+F opens the frame's File menu.
            QKeyEvent press(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier, "f");
            QApplication::sendEvent(w->internals()->widgetOf(viewWindow(d).list), &press);
        } else {
            w->click(viewWindow(d).find);
        }
        const SearchWindow sw = searchWindow(d);
        ui::Window* s = nullptr;
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return (s = window(sw.def.name)) != nullptr; }));
        EXPECT_EQ(s->definition().title, "Searching Text...");
        EXPECT_EQ(s->text(sw.findWhat), "") << "the field is empty each time";
        s->enterText(sw.findWhat, text);
        if (wholeWord != (s->value(sw.wholeWord) != 0))
            s->click(sw.wholeWord);
        s->click(sw.find);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return window(d.windowName) != nullptr; }));
        ui::pumpEventsFor(40);
    }

    char m_old[4096];
    TempDir m_dir;
    int m_thread = 0;
    std::vector<std::string> m_boxes;
    std::deque<int> m_answers;
};

TEST_F(TextViewer, LoadsLinesOfEitherLineEndCutToTheRecord) {
    const std::string longLine(300, 'x');
    // "é" as its last two bytes straddle byte 255: the half character is not kept.
    const std::string straddling = std::string(254, 'y') + "\xC3\xA9" + "tail";
    const std::string content =
        "first\r\nsecond with blanks   \r\nunix line\n" + longLine + "\r\n" + straddling + "\r\nlast";
    writeFile("whatsnew.txt", content);
    data::NameWhatsNew = "whatsnew.txt";
    ASSERT_EQ(data::open(data::WhatsNewText, data::kAccessRead | data::kShareDenyAll), 0);
    std::vector<std::string> lines;
    TextLoadJob job(data::WhatsNewText, lines);
    job.start();
    while (job.step()) {
    }
    data::close(data::WhatsNewText);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second with blanks", "unix line", std::string(255, 'x'),
                                               std::string(254, 'y'), "last"}));
    EXPECT_EQ(job.total(), int64_t(content.size()));
    EXPECT_EQ(job.processed(), job.total());
    EXPECT_EQ(job.percent(), 100);
    EXPECT_EQ(loadingPercentText(whatsNewDesign(), 42, 1234), " 42% Completed (1234) bytes");
    EXPECT_EQ(loadingPercentText(exportHelpDesign(), 100, 1234), "100% Completed");
}

TEST_F(TextViewer, FindSearchesFromTheHighlightAndAsksAtTheEnd) {
    writeFile("whatsnew.txt",
              "Line one\r\nThe (export) word in parentheses\r\nWe export.\r\nexport at the start\r\nfiller\r\n"
              "and the last line says export\r\n");
    start(WhatsNew);
    ui::Window* w = viewer(whatsNewDesign());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->definition().title, "What's New");
    EXPECT_EQ(list(w, whatsNewDesign()).cellText(1, 1), "Line one");
    EXPECT_EQ(highlighted(w, whatsNewDesign()), "Line one");
    EXPECT_FALSE(w->isEnabled(viewWindow(whatsNewDesign()).findNext));

    find(w, whatsNewDesign(), "export", true);  // whole word: not in parentheses, not before a full stop
    EXPECT_EQ(highlighted(w, whatsNewDesign()), "export at the start");
    EXPECT_TRUE(w->isEnabled(viewWindow(whatsNewDesign()).findNext));
    w->click(viewWindow(whatsNewDesign()).findNext);
    ui::pumpEventsFor(40);
    EXPECT_EQ(highlighted(w, whatsNewDesign()), "and the last line says export");
    m_answers = {kButtonYes};  // at the end: start again from the beginning
    w->click(viewWindow(whatsNewDesign()).findNext);
    ui::pumpEventsFor(60);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0],
              "End of File Error: The end of the viewed file was encountered.  Do you want to start again from the "
              "beginning?");
    EXPECT_EQ(highlighted(w, whatsNewDesign()), "export at the start");

    find(w, whatsNewDesign(), "EXPORT", false, true);  // any part of a word, letter case ignored
    EXPECT_EQ(highlighted(w, whatsNewDesign()), "and the last line says export");
    m_answers = {kButtonNo};
    find(w, whatsNewDesign(), "nowhere to be found");
    EXPECT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(highlighted(w, whatsNewDesign()), "and the last line says export") << "a No leaves the highlight";
}

TEST_F(TextViewer, CancelWhileLoadingKeepsTheLinesReadSoFar) {
    {
        std::ofstream out("Export.Txt", std::ios::binary);
        for (int i = 1; i <= 300000; ++i)
            out << "This is line number " << i << " of a long help text.\r\n";
    }
    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "answered OK: stops" : "answered Cancel: goes on");
        start(ImportHelp);
        const LoadingWindow lw = loadingWindow(importHelpDesign());
        ui::Window* loading = nullptr;
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return (loading = window(lw.def.name)) != nullptr; }, 10000));
        EXPECT_EQ(loading->definition().title, "Reading File");
        EXPECT_EQ(loading->text(lw.line), "Help About Exporting");
        m_boxes.clear();
        m_answers = {stop ? kButtonOk : kButtonCancel};
        ui::postEvent(kEventAccepted, lw.cancel, m_thread);
        ui::Window* w = viewer(importHelpDesign());
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->definition().title, "Using Sitedex");
        ASSERT_FALSE(m_boxes.empty());
        EXPECT_EQ(m_boxes[0], "Cancel Request: Are you certain you want to stop loading Export.Txt?");
        auto l = list(w, importHelpDesign());
        EXPECT_EQ(l.cellText(1, 1), "This is line number 1 of a long help text.");
        // Scroll to the end: the last line read shows there.
        l.pressKey(kEndKey);
        ui::pumpEventsFor(60);
        const std::string last = l.cellText(l.selectedRow(), 1);
        if (stop)
            EXPECT_NE(last, "This is line number 300000 of a long help text.") << "loading stopped";
        else
            EXPECT_EQ(last, "This is line number 300000 of a long help text.");
        EXPECT_NE(last.find("This is line number "), std::string::npos);
        w->click(viewWindow(importHelpDesign()).close);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }));
    }
}

TEST_F(TextViewer, MissingAndEmptyFilesGiveTheirWarningsAndAnEmptyList) {
    ViewerDesign design = whatsNewDesign();
    design.builtInCopy = false;  // as if the program carried no text of its own
    struct Case {
        bool exists;
        const char* box;
    };
    const Case cases[] = {
        {false, "File Load Error: whatsnew.txt File Load Error.  Error: File Not Found (2)."},
        {true, "File Load Error: whatsnew.txt File Load Error.  The file you've requested contains no text."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        ::unlink("whatsnew.txt");
        if (c.exists)
            writeFile("whatsnew.txt", "");
        m_boxes.clear();
        start([&design] { runTextViewer(design); });
        ui::Window* w = viewer(design);
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_EQ(m_boxes[0], c.box);
        EXPECT_EQ(list(w, design).rowCount(), 0);
        w->click(viewWindow(design).close);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }));
    }
}

TEST_F(TextViewer, WithoutAFileInTheDataFolderTheProgramsOwnTextIsShown) {
    struct Case {
        void (*procedure)();
        const ViewerDesign& design;
        const char* firstLine;
    };
    const Case cases[] = {
        {WhatsNew, whatsNewDesign(), "What's New in Sitedex 1.5"},
        {ExportHelp, exportHelpDesign(), "Using Sitedex: Exporting and Importing"},
        {ImportHelp, importHelpDesign(), "Using Sitedex: Exporting and Importing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.design.procedure);
        m_boxes.clear();
        start(c.procedure);
        ui::Window* w = viewer(c.design);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(m_boxes.empty());
        EXPECT_EQ(list(w, c.design).cellText(1, 1), c.firstLine);
        EXPECT_GT(list(w, c.design).rowCount(), 5);
        w->click(viewWindow(c.design).close);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }));
        // Each viewer keeps its own placement.
        EXPECT_NE(readSetting(c.design.placement, "Width", ""), "") << c.design.placement;
    }
    EXPECT_NE(findProcedure("ExportHelp"), nullptr);
    EXPECT_NE(findProcedure("ImportHelp"), nullptr);
}

}  // namespace
}  // namespace sitedex::app::viewer
