#pragma once
// The two lists of locations and the procedures the program starts by name for them:
//
//   - BrowseSITEDX: every location, in five orders on tabs (Description, Location, Category limited
//     to one category picked through SelectCategories, Rating, Keyword); copies a field of the
//     highlighted location to the clipboard; keeps the user's column widths in SITEDX.INI
//     ([BrowseSITEDX] ?Browse:1) and lays its controls out in proportion when resized.
//   - BrowseURL_K_Category: the locations of the category in CAT:CATEGORY when it is called
//     (registered as "BrowseURL:K_Category").
//
// Both are browse descriptions run by the browse engine; adding, changing and deleting go through
// UpdateSITEDX. The category a list shows is the one the caller or SelectCategories put in the
// Categories record buffer: the form reads categories through the same buffer, so the lists put the
// buffer back after each call to it.
//
// Callers: the main frame (by name, on a thread of their own), BrowseCategories (by name, on its
// thread). registerLocationProcedures enters BrowseSITEDX, BrowseURL:K_Category and UpdateSITEDX
// in the procedure registry.

#include <string>

#include "app/maintenance/browse_description.h"
#include "ui/window_def.h"

namespace sitedex::app::maintenance {

void BrowseSITEDX();
void BrowseURL_K_Category();

void registerLocationProcedures();

// The windows, with the numbers of their controls (tests drive them by these).
struct LocationsBrowseWindow {
    ui::WindowDef def;
    int sheet, descriptionTab, locationTab, categoryTab, ratingTab, keywordTab;
    int list, selectCategory, clipboardChoice, toClipboard, insert, change, remove, close;
};
const LocationsBrowseWindow& locationsBrowseWindow();

struct CategoryLocationsWindow {
    ui::WindowDef def;
    int categoryPrompt, category, list, insert, change, remove, close;
};
const CategoryLocationsWindow& categoryLocationsWindow();

// The design list formats, and the clipboard choices of BrowseSITEDX. The category list's Rating
// column is 30 units wide, not the 8 of its first design, which showed its header as "Ra".
inline constexpr const char* kLocationsListFormat =
    "107L|M~Description~@S100@89L|M~Location~@S255@60L|M~Category~@S30@25L|M~Rating~@N2@40L(2)|M~Keyword~L(1)@s10@";
inline constexpr const char* kCategoryLocationsListFormat =
    "60L(0)|M~Location~@S60@60L(0)|M~Description~@S60@60L(0)|M~Category~@S15@30L(0)|M~Rating~@N2@40L(0)|M~Keyword~@s10@";

// The text "-> Clipboard" puts on the clipboard for a choice, from the Locations record buffer, with
// trailing blanks removed ("URL", "Description", "Category", "Keyword", "Rating", "Site Information";
// anything else gives the location).
std::string clipboardTextFor(const std::string& choice);

}  // namespace sitedex::app::maintenance
