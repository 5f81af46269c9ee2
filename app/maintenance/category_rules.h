#pragma once
// The rules of the category and snippet forms that do not depend on their windows, shared by the
// forms and the command line. They work on the current thread's Categories and CatHTML buffers.
//
//   - insert of a category: a name equal to another but for letter case is a duplicate of
//     CAT:K_CATEGORY and shows warning 24 naming "Category"; other errors warning 14.
//   - insert of a snippet: one snippet per category and type; a second one shows warning 24 naming
//     "Category - Add HTML"; other errors warning 14.
//   - a new snippet belongs to the category in the Categories buffer and is of type "Before
//     Category" until the user picks another of the five types.
//   - changes and deletes go through the integrity procedures (integrity.h), after the
//     unchanged-record rule (record_copy.h).
//
// REQUIRES: the files named are open on the current thread.

#include <span>
#include <string_view>

#include "app/maintenance/location_rules.h"

namespace sitedex::app::maintenance {

// The kinds of snippet: the radio text of the snippet form (with its accelerator mark) and the
// value stored in HTM:TYPEOFHTML.
struct SnippetType {
    std::string_view radioText;
    std::string_view value;
};
std::span<const SnippetType> snippetTypes();
constexpr std::string_view kDefaultSnippetType = "Before Category";

// The stored value of a type named by its value (letter case and trailing blanks ignored), or
// empty when it is none of the five.
std::string_view findSnippetType(std::string_view name);

// Adds the category in the Categories buffer (with its description memo).
InsertResult InsertCategory();

// Prepares the CatHTML buffer for a new snippet of the category in the Categories buffer.
void primeNewSnippet();

// Adds the snippet in the CatHTML buffer (with its HTML memo).
InsertResult InsertCatHTML();

}  // namespace sitedex::app::maintenance
