#include "cli/data_session.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/commands.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "drivers/record/velox_driver.h"

namespace sitedex::cli {

namespace {

struct CommandHalted {};

int answerSafely(std::string_view text, std::string_view caption, int, int buttons, int) {
    if (caption == "File In Use") {
        // Nobody is there to press Retry: the command has waited what --wait allows.
        std::string name(text.substr(0, text.find(' ')));
        std::fprintf(stderr, "sitedex: %s is in use: another program is changing it (waited %d s; --wait SECONDS waits longer)\n",
                     name.c_str(), waitSeconds());
        return runtime::kButtonCancel;
    }
    // There is no OK to press here: the command ends by itself.
    constexpr std::string_view kPressOk = "  Press OK to end this application.";
    if (size_t at = text.find(kPressOk); at != std::string_view::npos && at + kPressOk.size() == text.size())
        text = text.substr(0, at);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    if (buttons == runtime::kButtonOk || buttons == 0)
        return runtime::kButtonOk;
    if (caption == "Confirm Delete" && (buttons & runtime::kButtonOk))
        return runtime::kButtonOk;
    for (int safe : {runtime::kButtonNo, runtime::kButtonCancel, runtime::kButtonIgnore})
        if (buttons & safe)
            return safe;
    return buttons & -buttons;
}

// A damaged page ends the desktop program with the internal error; a command names the file and
// what to do about it, and ends with exit code 1 (a problem found), not 2 (a usage error). Nothing
// is unwound: whatever the command had begun and not committed is left undone, as by a crash.
void damagedFile(std::string_view text) {
    std::string name = std::filesystem::path(record::veloxDamagedFile()).filename().string();
    if (name.empty()) name = "a data file";
    std::fprintf(stderr,
                 "sitedex: %s is damaged (%.*s). `sitedex check` shows what is damaged; `sitedex rebuild %s` "
                 "saves every record it can read (it keeps the damaged file as a backup).\n",
                 name.c_str(), int(text.size()), text.data(), name.c_str());
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(kExitRefused);
}

void haltCommand(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    throw CommandHalted{};
}

void printUsage(std::string_view usage, FILE* to) {
    std::fwrite(usage.data(), 1, usage.size(), to);
}

}  // namespace

void complain(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "sitedex %.*s: %.*s\n", int(command.size()), command.data(), int(message.size()),
                 message.data());
}

bool parseArgs(std::span<char*> args, std::initializer_list<std::string_view> valueOptions, size_t positionals,
               std::string_view usage, ParsedArgs& out) {
    std::string_view command = args.empty() ? "" : args[0];
    auto fail = [&](const std::string& problem) {
        complain(command, problem);
        printUsage(usage, stderr);
        return false;
    };
    bool onlyPositional = false;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string_view a = args[i];
        if (onlyPositional || a.size() < 2 || a.substr(0, 2) != "--") {
            if (!a.empty() && a[0] == '-' && a.size() > 1 && !onlyPositional)
                return fail("unknown option '" + std::string(a) + "'");
            out.positional.emplace_back(a);
            continue;
        }
        if (a == "--") {
            onlyPositional = true;
            continue;
        }
        if (a == "--help") {
            out.help = true;
            continue;
        }
        std::string name(a.substr(2));
        std::string value;
        bool inlineValue = false;
        if (size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        bool known = false;
        for (std::string_view o : valueOptions)
            known = known || o == name;
        if (!known)
            return fail("unknown option '--" + name + "'");
        if (!inlineValue) {
            if (i + 1 >= args.size())
                return fail("--" + name + " needs a value");
            value = args[++i];
        }
        if (!out.options.emplace(name, value).second)
            return fail("--" + name + " is given twice");
    }
    if (out.help) {
        printUsage(usage, stdout);
        return true;
    }
    if (out.positional.size() != positionals)
        return fail(out.positional.size() < positionals ? "missing argument" : "too many arguments");
    return true;
}

namespace {

bool blankInKey(data::FileDecl& file, const data::KeyDecl& key) {
    for (int c : key.components) {
        const data::FieldDecl& f = file.fields()[size_t(c < 0 ? -c : c) - 1];
        const char* p = file.record() + f.offset;
        char blank = f.type == data::kTypeString ? ' ' : '\0';
        for (uint32_t i = 0; i < f.size; ++i)
            if (p[i] != blank)
                return false;
    }
    return true;
}

bool readFailed(data::FileDecl& file) {
    if (data::errorCode() == data::kErrRecordNotAvailable)
        return false;
    data::ShowWarning(35, file.label());
    return true;
}

}  // namespace

bool forEachInOrder(data::FileDecl& file, data::KeyDecl& key, const std::function<void()>& visit) {
    if (key.attributes & data::kKeyExcludeBlank) {
        if (data::set(file) != 0)
            return !readFailed(file);
        while (data::next(file) == 0)
            if (blankInKey(file, key))
                visit();
        if (readFailed(file))
            return false;
    }
    if (data::set(key) != 0)
        return !readFailed(file);
    while (data::next(file) == 0)
        visit();
    return !readFailed(file);
}

int usageError(std::string_view command, std::string_view message, std::string_view usage) {
    complain(command, message);
    printUsage(usage, stderr);
    return kExitUsage;
}

bool fitsField(std::string_view command, std::string_view usage, std::string_view what, std::string_view text,
               size_t size) {
    if (text.size() <= size)
        return true;
    usageError(command, std::string(what) + " is longer than the " + std::to_string(size) + " bytes it may have",
               usage);
    return false;
}

bool findRecord(std::string_view command, data::FileDecl& file, std::string_view key, std::string_view field,
                std::string_view what, std::string_view value) {
    file.clear();
    data::setString(*file.findField(field), file.record(), value);
    data::watch(file);
    int32_t e = data::get(file, *file.findKey(key));
    if (e == 0)
        return true;
    if (e == data::kErrRecordNotFound)
        complain(command, "no " + std::string(what) + " '" + std::string(value) + "'");
    else
        data::ShowWarning(35, file.label());
    return false;
}

DataSession::DataSession(const std::string& dataDir, std::initializer_list<data::FileDecl*> files) {
    char here[4096];
    if (!::getcwd(here, sizeof here)) {
        std::fprintf(stderr, "sitedex: cannot tell the working directory: %s\n", std::strerror(errno));
        return;
    }
    m_oldDir = here;
    if (::chdir(dataDir.c_str()) != 0) {
        std::fprintf(stderr, "sitedex: cannot use the data folder %s: %s\n", dataDir.c_str(), std::strerror(errno));
        m_oldDir.clear();
        return;
    }
    m_oldBox = runtime::setMessageBoxHook(answerSafely);
    m_oldHalt = runtime::setHaltHook(haltCommand);
    m_oldFatal = runtime::setFatalHook(damagedFile);
    try {
        for (data::FileDecl* f : files) {
            data::useFile(*f);
            m_used.push_back(f);
        }
    } catch (const CommandHalted&) {
        return;
    }
    m_ok = true;
}

DataSession::~DataSession() {
    if (m_oldDir.empty())
        return;
    try {
        if (data::transactionActive())
            data::rollback();
        for (auto f = m_used.rbegin(); f != m_used.rend(); ++f)
            data::releaseFile(**f);
        // A warning that ended the command may have left a file open outside the use counts.
        data::closeAllFiles();
    } catch (const CommandHalted&) {
    }
    for (data::FileDecl* f : {&data::SITEDX, &data::Categories, &data::CatHTML, &data::History})
        data::useCount(*f) = 0;
    runtime::setMessageBoxHook(m_oldBox);
    runtime::setHaltHook(m_oldHalt);
    runtime::setFatalHook(m_oldFatal);
    (void)!::chdir(m_oldDir.c_str());
}

int DataSession::run(const std::function<int()>& body) {
    if (!m_ok)
        return kExitRefused;
    try {
        return body();
    } catch (const CommandHalted&) {
        return kExitRefused;
    }
}

}  // namespace sitedex::cli
