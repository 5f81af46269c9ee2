#pragma once
// UpdateSITEDX: the form that adds, changes or deletes one location.
//
// Called with CallRequest set to RequestInsert, RequestChange or RequestDelete and the Locations
// record buffer holding the record (cleared, or with its category primed, for an insert; read with
// watch for a change or delete). Answers ResponseCompleted in CallResponse when it wrote, else
// ResponseCancelled: an OK on a change that edited nothing writes nothing and answers cancelled.
//
//   - Delete shows no form: warning 32 asks, EraseLocation deletes, warning 18 offers retries.
//   - The category list holds every category but the two export-only ones ("_Before All",
//     "_After All", any letter case), sorted by name. A category that is not on file is refused with
//     warning 11 and the focus goes back to it.
//   - On insert a blank keyword takes the address's scheme ("http"), "mailto:" or "?".
//   - An address already on file is refused with warning 24 ("Site Location").
//   - The 17 controls keep their share of the window: their places are kept in SITEDX.INI as
//     thousandths of the window ([UpdateSITEDX] Ctrl1Size .. Ctrl17Size, WindowScaled) and applied
//     again on every resize.
//
// Opens Locations and Categories through the use counts and releases them on return.
// Callers: the location lists (same thread), the category form's locations list (by name).

#include "ui/window_def.h"

namespace sitedex::app::maintenance {

void UpdateSITEDX();

struct LocationFormWindow {
    ui::WindowDef def;
    int sheet, generalTab;
    int locationPrompt, location, descriptionPrompt, description, categoryPrompt, category;
    int ratingPrompt, rating, keywordPrompt, keyword;
    int siteInfoTab, siteInfoPrompt, siteInfo;
    int ok, cancel;
};
const LocationFormWindow& locationFormWindow();

// The value of WindowScaled once the proportional layout is saved.
inline constexpr const char* kWindowScaledSignature = "714334612808";

}  // namespace sitedex::app::maintenance
