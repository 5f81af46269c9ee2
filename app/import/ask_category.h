#pragma once
// AskCategory: "Category Assignment", the dialog the import shows for each address when the user
// chose to be asked. It shows the address and its description (both editable: what the user types
// there is what the import stores), the list of categories ("_Before All" and "_After All" left
// out) opened on the category the previous address received, and the category the document
// suggests after "Best Guess:  ".
//
//   - "&Select" (or a double-click): the highlighted category; ResponseCompleted with it in the
//     Categories record buffer;
//   - "&Insert" (or the Insert key): a new category through UpdateCategoriesNoMDI; the list then
//     highlights it, and Select takes it;
//   - "&Use Best Guess": the suggestion, as it stands (the import creates it when missing);
//     ResponseCompleted with it in CAT:CATEGORY;
//   - the close box or Escape: ResponseCancelled (the import files the address under "New");
//   - "Sto&p Import": ResponseCancelled, and the import ends without adding this address.
// The context menu of the list offers "&Insert" and "&Select". A location edited to more than the
// 255 bytes of its field is refused ("Location Too Long") and the dialog stays open.
//
// Called with CallRequest = RequestSelect, with URL:LOCATION and URL:DESCRIPTION of the current
// thread holding the address; the entries write back into them when the dialog closes. Opens the
// Categories and Locations files through the use counts and releases them on return. Placement
// "AskCategory".
//
// Callers: the import run (ImportFile), on its thread; the window opens over the caller's.

#include <string_view>

#include "ui/window_def.h"

namespace sitedex::app::importing {

enum class AskOutcome { kAnswered, kStopImport };

AskOutcome AskCategory(std::string_view bestGuess);

struct AskCategoryWindow {
    ui::WindowDef def;
    int location = 0, description = 0, sheet = 0, tab = 0, list = 0;
    int insert = 0, select = 0, useBestGuess = 0, stop = 0, bestGuess = 0;
};
// The window, its entries bound to the given variables.
AskCategoryWindow askCategoryWindow(std::string* location, std::string* description, std::string* bestGuess);

}  // namespace sitedex::app::importing
