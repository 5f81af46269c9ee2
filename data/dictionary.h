#pragma once
// The application's data files, their per-thread use counts, and OpenDataFile.
//
// The declarations (labels, prefixes, disk names, drivers, attributes, layouts, memos and keys) are
// the files the program stores and reads:
//   SITEDX (URL, "URL_L"), Categories (CAT, "URL_C"), CatHTML (HTM, "URL_H"), History (HIS, "URL_Y"),
//   the three old files read by the upgrade, the Import source (ILOC, the Locations layout under a
//   variable name), the Output and Input text files and the three viewer text files.
// Record-file files use the driver "VELOX", text files "ASCII".
//
// A procedure that uses a shared file calls useFile when it starts and releaseFile when it ends: the
// first use on a thread opens the file through OpenDataFile, the last release closes it. Use counts
// are per thread, like the record buffers.
//
// Callers: every procedure. OpenDataFile may end the program through a standard warning.

#include "data/declarations.h"

#include <string>

namespace sitedex::data {

// Disk-name variables (their declared lengths: 255, 255, and 80 for the viewers).
extern std::string NameExport;      // Output text file
extern std::string NameAscii;       // Input text file and Import source file
extern std::string NameWhatsNew;    // viewer files
extern std::string NameExportHelp;
extern std::string NameImportHelp;

extern FileDecl SITEDX;
extern FileDecl Categories;
extern FileDecl CatHTML;
extern FileDecl History;
extern FileDecl OldLocations;   // prefix OL, "SITEDX"
extern FileDecl OldCatHTML;     // prefix OH, "CATHTML"
extern FileDecl OldCategories;  // prefix OC, "CATEGORI"
extern FileDecl ImportSource;   // prefix ILOC
extern FileDecl OutputText;     // prefix OUT
extern FileDecl InputText;      // prefix ASC
extern FileDecl WhatsNewText;   // viewer files, prefix ASC1 (one unnamed field)
extern FileDecl ExportHelpText;
extern FileDecl ImportHelpText;

// Opens a data file in mode 66 (read/write, deny none), retrying once with "Recover=10" when it is
// locked, creating it when missing (mayCreate; a file another program makes meanwhile is kept),
// offering a key rebuild when its keys are damaged. While another program's change keeps the file
// locked, a "File In Use" box offers Retry and Cancel. Failures show standard warnings 1-5, 22 or
// 30; all of them end the program ("Disk Error" after 30, and after Cancel).
void OpenDataFile(FileDecl& file, bool mayCreate = true);

// The current thread's use count of a shared file (the files above without the viewer files).
// REQUIRES: file is one of the shared files.
int32_t& useCount(FileDecl& file);
// Opens the file on the first use of this thread, then counts the use.
void useFile(FileDecl& file);
// Counts one use off; closes the file when none is left. A count already at 0 stays 0.
void releaseFile(FileDecl& file);

}  // namespace sitedex::data
