#pragma once
// UpdateCatHTML ("Add HTML"): the form of one HTML snippet of a category: its type, one of five
// radio buttons, and the HTML itself (up to 1000 characters).
//
// Requests (CallRequest) on the CatHTML record buffer: RequestInsert (the snippet belongs to the
// category in CAT:CATEGORY and starts as "Before Category"; a second snippet of the same type for
// the category is refused with "Duplicate Key Error" for "Category - Add HTML" and the form goes
// back to the type), RequestChange (written through WriteCatHTML only when the record or the HTML
// changed), RequestDelete (not shown: "Confirm Delete", then EraseCatHTML). Answers
// ResponseCompleted when something was written or deleted, else ResponseCancelled.
//
// Callers: the category form's snippet list, on its thread.

#include <string>

#include "ui/window_def.h"

namespace sitedex::app::maintenance {

void UpdateCatHTML();

struct SnippetFormFields {
    std::string type;  // the stored value of the chosen type
    std::string html;
};

struct UpdateCatHTMLWindow {
    ui::WindowDef def;
    int sheet = 0, tab = 0, type = 0;
    int radios[5] = {};
    int caption1 = 0, caption2 = 0, html = 0;
    int ok = 0, cancel = 0;
};
UpdateCatHTMLWindow updateCatHTMLWindow(SnippetFormFields& fields);

}  // namespace sitedex::app::maintenance
