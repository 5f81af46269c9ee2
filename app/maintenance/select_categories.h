#pragma once
// SelectCategories: the pick list of all categories ("Select Category"), with which the locations
// browse and its form choose a category. "_Before All" and "_After All" are listed like any other.
//
// Called with CallRequest = RequestSelect and CAT:CATEGORY holding the name to position on (the
// first category at or after it is highlighted). "&Select" or a double-click puts the highlighted
// category into the Categories record buffer and answers ResponseCompleted; "Close" (or the close
// box) answers ResponseCancelled. Called with any other request it is a plain list: the Select
// button is hidden and disabled.
//
// Callers: procedures on their own thread; the window opens on that thread over the caller's.

#include "ui/window_def.h"

namespace sitedex::app::maintenance {

void SelectCategories();

struct SelectCategoriesWindow {
    ui::WindowDef def;
    int list = 0, select = 0, close = 0;
};
const SelectCategoriesWindow& selectCategoriesWindow();

}  // namespace sitedex::app::maintenance
