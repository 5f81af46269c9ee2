#pragma once
// The browse descriptions of the category windows' lists: the category list (of SelectCategories
// and BrowseCategories) and the two inner lists of the category form, the category's snippets and
// the category's locations. The inner lists follow CAT:CATEGORY through their reset fields, saved in
// the variables the filters name (BRW2::Sort1:Reset:CAT:Category, BRW4::Sort1:Reset:CAT:Category),
// and compare the names without regard to case.
//
// Callers: the category window procedures, which add the buttons' update procedures.

#include "app/maintenance/browse_description.h"

namespace sitedex::app::maintenance {

// All categories in CAT:K_CATEGORY order; the browse's list format differs a little from the pick
// list's (its description column is resizable).
BrowseDescription categoryListDescription(bool forBrowse);

// The snippets of the category in CAT:CATEGORY, by type.
BrowseDescription categorySnippetsDescription();

// The locations of the category in CAT:CATEGORY, by description.
BrowseDescription categoryLocationsDescription();

}  // namespace sitedex::app::maintenance
