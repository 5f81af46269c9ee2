#pragma once
// The plain-text scanner: addresses written out anywhere in a text.
//
// An address starts at "https://", "http://", "ftp://", "telnet://", "news://" or "gopher://" (in
// this letter case) and runs to a blank, a comma, "<", ">", a double quote, a control character or
// the end of the line, at most 1096 characters; punctuation that ends a sentence right after it
// (".", ";", ")" without its "(" and the like) is not part of it. "a href" (any letter case) starts
// a link written in HTML: its value is the address. The text after an address up to the next one
// is its description. Several addresses on a line are read in order. Plain text suggests no category.
//
// Callers: the import job (through makeScanner), tests, the fuzz target.

#include <vector>

#include "app/import/scanner.h"

namespace sitedex::app::importing {

class TextScanner : public DocumentScanner {
public:
    void scanLine(std::string_view line, std::vector<ScannedLink>& out) override;
};

}  // namespace sitedex::app::importing
