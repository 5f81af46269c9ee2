#pragma once
// Test helpers for the maintenance procedures: a fresh data directory with the Locations,
// Categories and CatHTML files open on thread 1 through the use counts, a message box hook that
// records every box shown, reading the files back through another thread's instance (so the test
// sees what is on disk), and a second program: a forked child that opens the files on its own and
// holds a record or a file lock until the test lets it go.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::testing {

struct ShownBox {
    std::string text;
    std::string caption;
};

inline std::vector<ShownBox>& shownBoxes() {
    static std::vector<ShownBox> boxes;
    return boxes;
}

inline int recordingMessageBox(std::string_view text, std::string_view caption, int, int buttons, int def) {
    shownBoxes().push_back({std::string(text), std::string(caption)});
    if (def)
        return def;
    return buttons & runtime::kButtonOk ? runtime::kButtonOk : buttons & -buttons;
}

// Runs body with another thread current, then comes back to thread 1.
inline void onThread(int thread, const std::function<void()>& body) {
    runtime::setCurrentThread(thread);
    body();
    runtime::setCurrentThread(1);
}

inline std::string field(const char* name) {
    return data::getString(data::findField(name));
}
inline void setField(const char* name, const std::string& value) {
    data::setString(data::findField(name), value);
}

// Every record of a file as "field|field|..." in record order, read through thread 7's own instance.
inline std::vector<std::string> rowsOnDisk(data::FileDecl& file, std::vector<const char*> fields) {
    std::vector<std::string> rows;
    onThread(7, [&] {
        EXPECT_EQ(data::share(file, data::kModeShared), 0);
        EXPECT_EQ(data::set(file), 0);
        while (data::next(file) == 0) {
            std::string row;
            for (const char* f : fields)
                row += (row.empty() ? "" : "|") + field(f);
            rows.push_back(row);
        }
        EXPECT_EQ(data::errorCode(), 33);
        data::close(file);
    });
    std::sort(rows.begin(), rows.end());
    return rows;
}

// A second copy of the program: a forked child that opens the files with instances of its own
// (thread 9's, so fresh open files whose locks conflict with ours), runs `take` (which holds a record
// or locks a file and answers whether it succeeded), tells the parent through a pipe, and keeps what
// it took until the object is destroyed.
class SecondProgram {
public:
    explicit SecondProgram(const std::function<bool()>& take) {
        int ready[2], release[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(release), 0);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            runtime::setCurrentThread(9);
            char ok = take() ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(release[0], &c, 1);  // end of file when the parent lets go
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char c = '0';
        m_ready = ::read(ready[0], &c, 1) == 1 && c == '1';
        ::close(ready[0]);
    }
    ~SecondProgram() {
        ::close(m_release);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    bool ready() const { return m_ready; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_ready = false;
};

// A fresh data directory, current while the test runs, with the three files open on thread 1.
class MaintenanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        runtime::setCurrentThread(1);
        m_oldBox = runtime::setMessageBoxHook(recordingMessageBox);
        m_oldHalt = runtime::setHaltHook(throwingHalt);
        shownBoxes().clear();
        data::useFile(data::Categories);
        data::useFile(data::CatHTML);
        data::useFile(data::SITEDX);
    }
    void TearDown() override {
        runtime::setCurrentThread(1);
        data::closeAllFiles();
        for (data::FileDecl* f : {&data::Categories, &data::CatHTML, &data::SITEDX})
            data::useCount(*f) = 0;
        runtime::setMessageBoxHook(m_oldBox);
        runtime::setHaltHook(m_oldHalt);
        ASSERT_EQ(::chdir(m_old), 0);
    }

    void addCategory(const std::string& name, const std::string& description = "") {
        data::Categories.clear();
        setField("CAT:CATEGORY", name);
        data::setMemo(data::Categories, 0, description);
        ASSERT_EQ(data::add(data::Categories), 0) << name;
    }
    void addSnippet(const std::string& category, const std::string& type, const std::string& html = "<hr>") {
        data::CatHTML.clear();
        setField("HTM:CATEGORY", category);
        setField("HTM:TYPEOFHTML", type);
        data::setMemo(data::CatHTML, 0, html);
        ASSERT_EQ(data::add(data::CatHTML), 0) << category << "/" << type;
    }
    void addLocation(const std::string& url, const std::string& description, const std::string& category,
                     int rating = 0, const std::string& keyword = "") {
        data::SITEDX.clear();
        setField("URL:LOCATION", url);
        setField("URL:DESCRIPTION", description);
        setField("URL:CATEGORY", category);
        data::setNumber(data::findField("URL:RATING"), rating);
        setField("URL:KEYWORD", keyword);
        ASSERT_EQ(data::add(data::SITEDX), 0) << url;
    }
    // Reads a record by key value into thread 1's buffer, watched like a form's read.
    void readCategory(const std::string& name) {
        data::Categories.clear();
        setField("CAT:CATEGORY", name);
        ASSERT_EQ(data::watch(data::Categories), 0);
        ASSERT_EQ(data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY")), 0) << name;
    }
    void readLocation(const std::string& url) {
        data::SITEDX.clear();
        setField("URL:LOCATION", url);
        ASSERT_EQ(data::watch(data::SITEDX), 0);
        ASSERT_EQ(data::get(data::SITEDX, *data::SITEDX.findKey("URL:K_LOCATION")), 0) << url;
    }

    std::vector<std::string> categoriesOnDisk() { return rowsOnDisk(data::Categories, {"CAT:CATEGORY"}); }
    std::vector<std::string> snippetsOnDisk() {
        return rowsOnDisk(data::CatHTML, {"HTM:CATEGORY", "HTM:TYPEOFHTML", "HTM:HTMLTOADD"});
    }
    std::vector<std::string> locationsOnDisk() {
        return rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:CATEGORY", "URL:DESCRIPTION"});
    }

    TempDir m_dir;
    char m_old[4096];
    runtime::MessageBoxHook m_oldBox = nullptr;
    runtime::HaltHook m_oldHalt = nullptr;
};

}  // namespace sitedex::testing
