#pragma once
// The files one export run writes: the export file and, for "HTML - Frame", its pages.
//
// Each file is written through the line text driver under a temporary name in the folder of its
// final name (".sitedex-<random>.tmp", created afresh and only by us), and it takes its final name
// only when the whole run has succeeded: commit() then renames every file of the run over its
// final name (keeping the permissions of a file it replaces). An export that fails part-way —
// disk full, folder removed, no permission — therefore leaves the earlier files of those names as
// they were; discard() (also run by the destructor of an uncommitted set) removes the temporaries.
//
// Lines are written whole, as given: the declaration's record is far longer than any line the
// writer builds, the driver's own trailing-blank removal is off, and write() removes the trailing
// blanks itself, so a line on disk is the line less its trailing blanks and the line end (CR LF).
//
// The first failure is kept as the set's error message, in the program's words ("Error opening
// NAME: ...", "Error adding to NAME: ...", with the final name), and every later call fails at
// once, so a full disk gives one message rather than one per line.
//
// Callers: the export writer, on the thread that runs it.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::data {
class FileDecl;
}

namespace sitedex::app::exporting {

class OutputFiles;

// One line file of the set; opened again for each page of a frame export.
class LineFile {
public:
    explicit LineFile(OutputFiles& set);
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // Closes the file open now (if any), then creates a fresh temporary beside finalName and opens
    // it. False on failure (the set's error says why).
    bool create(const std::string& finalName);
    // Adds one line. False on failure, or when the set has failed before.
    bool write(std::string_view line);
    // Writes out what is buffered and closes the file; false when that fails. Nothing when closed.
    bool close();
    bool isOpen() const { return m_open; }
    const std::string& finalName() const { return m_final; }

    // The longest line write() takes, in bytes.
    static constexpr size_t kMaxLine = 60000;

private:
    bool fail(const char* what);

    OutputFiles& m_set;
    std::string m_final;
    std::string m_temporary;  // the declaration's name variable
    std::unique_ptr<data::FileDecl> m_decl;
    bool m_open = false;
};

class OutputFiles {
public:
    OutputFiles() = default;
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }
    // Records the first failure only.
    void setError(std::string message);

    // Puts every file written in place. REQUIRES: every LineFile of the set is closed. False when
    // the set had failed or a rename fails (the files not yet renamed are then removed).
    bool commit();
    // Removes the temporaries of every file of the set.
    void discard();
    // The final names of the files put in place by commit(), in the order they were created.
    const std::vector<std::string>& committed() const { return m_committed; }

private:
    friend class LineFile;
    struct Pending {
        std::string temporary;
        std::string final;
    };
    std::vector<Pending> m_pending;
    std::vector<std::string> m_committed;
    std::string m_error;
};

}  // namespace sitedex::app::exporting
