#pragma once
// BrowseCategories: the category list ("Browse Categories"), an MDI child started from the frame's
// Browse menu. Insert, Change and Delete call UpdateCategories; "Locations for this Category" shows
// the locations of the highlighted category through the procedure registered as
// "BrowseURL:K_Category" (called with CAT:CATEGORY holding that category). Regaining focus rebuilds
// the page, so changes made in other windows show.
//
// Also here: the registration of the category procedures in the procedure registry.
//
// Callers: the frame (by name, on a thread of its own).

#include "ui/window_def.h"

namespace sitedex::app::maintenance {

void BrowseCategories();

struct BrowseCategoriesWindow {
    ui::WindowDef def;
    int sheet = 0, tab = 0, header = 0, list = 0;
    int firstTip = 0, lastTip = 0;
    int insert = 0, change = 0, remove = 0, locations = 0, close = 0;
};
const BrowseCategoriesWindow& browseCategoriesWindow();

// Registers SelectCategories, BrowseCategories, UpdateCategories, UpdateCatHTML and
// UpdateCategoriesNoMDI under their names, leaving a name that is already registered as it is.
void registerCategoryProcedures();

}  // namespace sitedex::app::maintenance
