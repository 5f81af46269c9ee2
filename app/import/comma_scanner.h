#pragma once
// The comma scanner: the lines of the program's own "Comma-Delimited" export, one location a line:
//
//     "category","location","description","site info",rating
//
// Values are in double quotes; a quote inside a value is written twice (a single quote that is not
// followed by a comma is taken as part of the value, as older exports wrote them). The export's
// shorter forms are read field by field: without site information and rating (three values), with
// one of the two (a fourth value in quotes is the site information, a bare number the rating).
// A quoted value that does not end on its line (site information of several lines) goes on on the
// next ones. Leading and trailing blanks of the values are dropped. The first value is the category
// the line suggests; a line of fewer than two values holds no location and is passed over.
//
// Callers: the import job (through makeScanner), tests, the fuzz target.

#include <string>
#include <vector>

#include "app/import/scanner.h"

namespace sitedex::app::importing {

class CommaScanner : public DocumentScanner {
public:
    void scanLine(std::string_view line, std::vector<ScannedLink>& out) override;
    void finish(std::vector<ScannedLink>& out) override;

private:
    // Parses m_record; false when a quoted value is still open at its end (and `force` is off).
    bool parse(bool force, std::vector<ScannedLink>& out);

    std::string m_record;  // a record whose quoted value runs on over lines
    int m_lines = 0;
};

}  // namespace sitedex::app::importing
