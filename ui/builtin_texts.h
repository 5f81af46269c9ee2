#pragma once
// The text files the program carries inside itself (resources/texts/): "whatsnew.txt" (what is new
// in this release) and "Export.Txt" (how to export and import). The viewers show a file of that name
// from the data folder when there is one, so a user may put their own there; otherwise they show the
// program's own copy.
//
// Callers: the text viewers.

#include <string>

namespace sitedex::ui {

// The path of a readable copy of the program's own text of that name, made once per run in a private
// folder that goes away when the program ends; "" when the program has no text of that name.
std::string builtInTextFile(const std::string& name);

}  // namespace sitedex::ui
