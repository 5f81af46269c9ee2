#pragma once
// Test helpers for the merge and the upgrade: a fresh data folder (the working directory) with a
// settings folder of its own, a message box hook that records every box and answers it with its
// default button, writers of record files in any folder under any declaration (the old layouts
// included: the test writes them with our own driver), and readers that look at a file through an
// instance of another thread, as another window would.

#include <sys/wait.h>
#include <unistd.h>

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

struct Box {
    std::string caption, text;
};

inline std::vector<Box>& recordedBoxes() {
    static std::vector<Box> boxes;
    return boxes;
}

inline int recordBoxAnswerDefault(std::string_view text, std::string_view caption, int, int buttons, int def) {
    recordedBoxes().push_back({std::string(caption), std::string(text)});
    if (def)
        return def;
    return buttons & runtime::kButtonOk ? runtime::kButtonOk : buttons & -buttons;
}

inline void setText(const char* name, const std::string& value) {
    data::setString(data::findField(name), value);
}
inline std::string text(const char* name) {
    return data::getString(data::findField(name));
}

// Runs body in `folder` on thread `thread`, then goes back.
inline void inFolder(const std::string& folder, int thread, const std::function<void()>& body) {
    char here[4096];
    ASSERT_EQ(::getcwd(here, sizeof here), here);
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    const int was = runtime::currentThread();
    runtime::setCurrentThread(thread);
    body();
    runtime::setCurrentThread(was);
    ASSERT_EQ(::chdir(here), 0);
}

// Makes the file (empty) in the folder under its declaration and adds a record for each fill.
inline void writeRecords(const std::string& folder, data::FileDecl& file, int count,
                         const std::function<void(int)>& fill) {
    inFolder(folder, 8, [&] {
        ASSERT_EQ(data::create(file), 0) << file.name();
        ASSERT_EQ(data::open(file, data::kModeShared), 0);
        for (int i = 0; i < count; ++i) {
            file.clear();
            fill(i);
            ASSERT_EQ(data::add(file), 0) << file.name() << " " << i;
        }
        data::close(file);
    });
}

// Every record of the file in the folder, in record order, as fields joined by "|" (memo names
// allowed among the fields).
inline std::vector<std::string> recordsIn(const std::string& folder, data::FileDecl& file,
                                          std::vector<const char*> fields) {
    std::vector<std::string> rows;
    inFolder(folder, 9, [&] {
        EXPECT_EQ(data::open(file, data::kAccessRead | data::kShareDenyNone), 0) << file.name();
        EXPECT_EQ(data::set(file), 0);
        while (data::next(file) == 0) {
            std::string row;
            for (size_t i = 0; i < fields.size(); ++i)
                row += (i ? "|" : "") + data::getString(data::findField(fields[i]));
            rows.push_back(row);
        }
        EXPECT_EQ(data::errorCode(), 33);
        data::close(file);
    });
    return rows;
}

// A fresh data folder as the working directory, its own settings folder, boxes recorded.
class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_data.path().c_str()), 0);
        ::setenv("SITEDEX_CONFIG_DIR", m_config.path().c_str(), 1);
        runtime::setCurrentThread(1);
        recordedBoxes().clear();
        m_oldBox = runtime::setMessageBoxHook(recordBoxAnswerDefault);
        m_oldHalt = runtime::setHaltHook(throwingHalt);
    }
    void TearDown() override {
        runtime::setCurrentThread(1);
        data::closeAllFiles();
        for (data::FileDecl* f : {&data::SITEDX, &data::Categories, &data::CatHTML, &data::History})
            data::useCount(*f) = 0;
        runtime::setMessageBoxHook(m_oldBox);
        runtime::setHaltHook(m_oldHalt);
        ::unsetenv("SITEDEX_CONFIG_DIR");
        ASSERT_EQ(::chdir(m_old), 0);
    }
    std::string here(const std::string& name) const { return m_data.file(name); }
    bool boxShown(const std::string& caption) const {
        for (const Box& b : recordedBoxes())
            if (b.caption == caption)
                return true;
        return false;
    }

    TempDir m_data, m_config;
    char m_old[4096];
    runtime::MessageBoxHook m_oldBox = nullptr;
    runtime::HaltHook m_oldHalt = nullptr;
};

}  // namespace sitedex::testing
