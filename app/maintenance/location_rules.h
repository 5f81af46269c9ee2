#pragma once
// The rules of the location form that do not depend on its window, shared by the form and the
// command line. They work on the current thread's Locations and Categories record buffers.
//
//   - keyword from the scheme: on insert, a blank keyword takes the text before "://" (at most its
//     first 10 characters), else "mailto:" when the address contains it, else "?". A keyword the
//     user typed stays; a change never sets the keyword.
//   - the category must exist: URL:CATEGORY is looked up by CAT:K_CATEGORY (letter case ignored),
//     which also loads that category record; a miss shows warning 11 ("URL:Category", "Categories").
//   - insert: the record is added; a second address equal to another but for letter case is a
//     duplicate of URL:K_LOCATION and shows warning 24 naming "Site Location"; any other error
//     warning 14. Nothing is written on failure.
//   - the rating is entered from 0 to 10.
//   - the address must not be blank (the command line refuses it too).
//
// REQUIRES: Locations (SITEDX) and Categories are open on the current thread.

#include <string>
#include <string_view>

namespace sitedex::app::maintenance {

constexpr int kRatingMin = 0;
constexpr int kRatingMax = 10;

// The keyword the scheme rule gives for an address.
std::string keywordFromLocation(std::string_view location);

// True when an address is blank (empty or blanks only): a location is never saved without one.
bool locationMissing(std::string_view location);
// Tells the user that the Location field needs the site's address.
void ShowLocationRequired();

// Insert only: when URL:KEYWORD is blank, sets it from URL:LOCATION by the scheme rule.
void fillKeywordForInsert();

// True when URL:CATEGORY names an existing category (the Categories buffer then holds it); else
// shows warning 11 and returns false.
bool checkLocationCategory();

enum class InsertResult {
    kAdded,
    kDuplicate,  // warning 24 shown
    kFailed,     // warning 14 shown
};

// Adds the record in the Locations buffer (with its site information memo).
InsertResult InsertLocation();

// True for the two categories that hold the page's top and bottom snippets ("_Before All",
// "_After All"), letter case and trailing blanks ignored. The location form's category list and the
// best-guess chooser leave them out.
bool isSpecialCategory(std::string_view name);

}  // namespace sitedex::app::maintenance
