#pragma once
// What one export is asked to do, and the export settings the dialog keeps in SITEDX.INI.
//
// ExportOptions is what the writer (app/export/export_job.h) reads: the file, the type, which
// categories, the order and the optional columns, the body-in-frame flag and the date the pages
// are stamped with. The dialog and `sitedex export` both fill one.
//
// ExportSettings are the dialog's variables, kept in section [Export] of SITEDX.INI under the keys
// Name, Type, Categories, Category, SiteInfo, Ratings and Order. They are process-wide, like the
// other option variables of the program: the last dialog confirmed sets them for the next one.
//
// Also here: the two name rules of the dialog and the frame pages (exportFileName, frameBaseName),
// which the command line applies as well.
//
// Callers: the export procedures and the command line, on one thread at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sitedex::app::exporting {

enum class ExportType { kSimple, kTable, kFrame, kAscii, kCommaDelimited, kBookmarkFile };

// The texts the types are stored and shown as ("HTML - Table", ...); exact compare.
std::string_view typeText(ExportType type);
std::optional<ExportType> typeFromText(std::string_view text);
bool isHtmlPage(ExportType type);  // Simple, Table and Frame: the types that weave in the snippets

struct ExportOptions {
    std::string fileName;
    ExportType type = ExportType::kTable;
    bool selectedOnly = false;  // only the locations of `category` (letter case and trailing blanks ignored)
    std::string category;
    bool byDescription = false;  // order within a category; else by location
    bool siteInfo = true;
    bool ratings = true;
    bool bodyInFrame = false;  // the category pages of "HTML - Frame" carry <body>
    int64_t date = 0;          // day number shown in the pages' heading line
};

// The dialog's variables. Until the settings file says otherwise they hold the first defaults of
// the program: an "HTML - Table" file SDXEXP.HTM of all categories in location order, site info
// and ratings included.
struct ExportSettings {
    std::string name = "SDXEXP.HTM";    // Name
    std::string type = "HTML - Table";  // Type
    std::string categories = "All";     // Categories: "All" or "Selected"
    std::string category;               // Category
    int siteInfo = 1;                   // SiteInfo (0 or 1)
    int ratings = 1;                    // Ratings (0 or 1)
    std::string order = "Location";     // Order: "Location" or "Description"
};
ExportSettings& exportSettings();

// Reads the seven keys, each with the variable's present value as its default; a blank Order
// becomes "Location". Numbers are read as numbers.
void readExportSettings(ExportSettings& settings);
void writeExportSettings(const ExportSettings& settings);

// [Settings] BodyInFrame read as the number 1.
bool bodyInFrameSetting();

// The options of one export from the dialog's variables. A type text that names no type gives
// std::nullopt.
std::optional<ExportOptions> optionsFrom(const ExportSettings& settings, bool bodyInFrame, int64_t date);

// A typed export file name: one without a "." in its file-name part gets ".htm" (HTML types) or
// ".txt" (the others), and that file-name part is turned to lower case; directories stay as typed
// and a "." in them does not count. A name with a "." stays exactly as typed.
std::string exportFileName(std::string_view typed, ExportType type);

// The frame pages' base name: the export file's name up to the first "." of its file-name part;
// then, by the length of that file-name part (without directories, at "/" or "\"), its last
// character dropped when longer than 7, "_" appended when shorter, kept at exactly 7.
// Lengths count characters (UTF-8), and a character dropped is dropped whole.
std::string frameBaseName(std::string_view exportFile);

// Removes the last UTF-8 character of the text (nothing when it is empty).
void dropLastCharacter(std::string& text);

}  // namespace sitedex::app::exporting
