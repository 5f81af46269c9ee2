#pragma once
// The category forms.
//
// UpdateCategories ("Update the Categories File"), an MDI child: the name, and on tabs the
// description, the category's HTML snippets and the category's locations. Both inner lists follow
// the name as typed: moving on from the name rebuilds them for it (a new name shows empty lists), and
// their Insert buttons give new snippets and locations that name. The snippet buttons call
// UpdateCatHTML, the location buttons the procedure registered as "UpdateSITEDX". Whatever those do
// to the Categories record buffer, the form's own record (and the file's current record, which a
// change writes back) is put back when they return.
//
// UpdateCategoriesNoMDI: the same form without the inner lists, as a dialog of its own (the import
// asks for a new category with it).
//
// Requests (CallRequest): RequestInsert (the buffer cleared or primed by the caller), RequestChange
// (the buffer holds the record, read with watch), RequestDelete (not shown: "Confirm Delete", then
// EraseCategory, which removes the category's snippets and locations with it; UpdateCategories
// only). OK on an insert adds the category (a name equal to another but for letter case is refused
// with "Duplicate Key Error" for "Category" and the form stays); on a change it writes only when
// the record or its description differ from what was loaded, through WriteCategory, which carries
// a new name to the snippets and locations. Answers ResponseCompleted when something was written
// or deleted, else ResponseCancelled.
//
// Callers: BrowseCategories (and the import), on their own thread.

#include <string>

#include "ui/window_def.h"

namespace sitedex::app::maintenance {

void UpdateCategories();
void UpdateCategoriesNoMDI();

struct UpdateCategoriesWindow {
    ui::WindowDef def;
    int category = 0;  // the name's entry
    int sheet = 0, generalTab = 0, htmlTab = 0, locationsTab = 0;
    int description = 0;
    int htmlList = 0, htmlInsert = 0, htmlChange = 0, htmlDelete = 0;
    int locationList = 0, locationInsert = 0, locationChange = 0, locationDelete = 0;
    int ok = 0, cancel = 0;
};
// The variables the form's controls show while it runs (the name and the description).
struct CategoryFormFields {
    std::string category;
    std::string description;
};
// The form's definition over the variables (which must outlive the window); `withLists` false gives
// the plain form (a dialog; the inner lists' and tabs' numbers 0).
UpdateCategoriesWindow updateCategoriesWindow(CategoryFormFields& fields, bool withLists);

}  // namespace sitedex::app::maintenance
