#pragma once
// The one way the maintenance commands (list, add, remove, categories, add-category,
// rename-category, remove-category) parse their arguments and open the data files.
//
// A DataSession makes the data directory current (the record files are named relative to it, as
// in the desktop program), installs the command line's message box and halt hooks, and opens the
// files through the use counts and OpenDataFile, which creates missing files. Everything is undone
// when it ends, so a command can run inside a test program.
//
// The message box hook writes the box's text to standard error and answers the way that loses
// nothing: "Confirm Delete" is answered OK (the command itself was the confirmation), any other
// question No or Cancel (so a key rebuild is not started unasked: the program ends instead, and
// `sitedex rebuild` repairs the file). A standard warning that ends the program makes the command
// end with exit code 1, and so does a damaged page, with a message that names the file and the
// commands that check and repair it.
//
// Callers: the maintenance commands, on thread 1, one at a time.

#include <functional>
#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/declarations.h"
#include "runtime/hooks.h"

namespace sitedex::cli {

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

// The arguments of a command after the command name: options that take a value ("--name VALUE" or
// "--name=VALUE", each at most once), "--help", and positional arguments.
struct ParsedArgs {
    bool help = false;
    std::map<std::string, std::string> options;  // without the leading "--"
    std::vector<std::string> positional;
};

// Parses args (args[0] is the command name) against the option names the command knows. On a
// usage error prints "sitedex COMMAND: <problem>" and the usage text on standard error and returns
// false.
bool parseArgs(std::span<char*> args, std::initializer_list<std::string_view> valueOptions, size_t positionals,
               std::string_view usage, ParsedArgs& out);

// Prints "sitedex COMMAND: <message>" on standard error.
void complain(std::string_view command, std::string_view message);

// Reads every record of a file in the order of `key` and calls visit with the record in the buffer.
// Records left out of the key because their key fields are blank come first (a blank value sorts
// lowest), in record order, so a listing misses none. A read error shows warning 35 naming the file
// and returns false.
bool forEachInOrder(data::FileDecl& file, data::KeyDecl& key, const std::function<void()>& visit);

// A usage error: prints "sitedex COMMAND: <message>" and the usage text on standard error; returns
// kExitUsage.
int usageError(std::string_view command, std::string_view message, std::string_view usage);

// Text option values checked against a field's size: false (after usageError) when the UTF-8 text
// does not fit, rather than storing a cut value.
bool fitsField(std::string_view command, std::string_view usage, std::string_view what, std::string_view text,
               size_t size);

// Reads the record whose `field` equals value by `key` (letter case ignored by the keys), watched
// so that a change made meanwhile by another program is noticed when it is written. Returns true
// when found; otherwise prints "no <what> '<value>'" (or shows warning 35 for a read error).
bool findRecord(std::string_view command, data::FileDecl& file, std::string_view key, std::string_view field,
                std::string_view what, std::string_view value);

class DataSession {
public:
    // REQUIRES: no other session is active.
    DataSession(const std::string& dataDir, std::initializer_list<data::FileDecl*> files);
    ~DataSession();
    DataSession(const DataSession&) = delete;
    DataSession& operator=(const DataSession&) = delete;

    // False when the data directory could not be entered (a message has been printed) or a file
    // could not be opened (the warning has been printed); the command then ends with kExitRefused.
    bool ok() const { return m_ok; }

    // Runs body; a warning that ends the program ends it early with kExitRefused.
    int run(const std::function<int()>& body);

private:
    bool m_ok = false;
    std::string m_oldDir;
    std::vector<data::FileDecl*> m_used;
    runtime::MessageBoxHook m_oldBox = nullptr;
    runtime::HaltHook m_oldHalt = nullptr;
    runtime::FatalHook m_oldFatal = nullptr;
};

}  // namespace sitedex::cli
