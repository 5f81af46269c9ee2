#pragma once
// What a window tells the browse engine about one of its lists: the data file and the view, the row
// layout, the sort orders (key, filter, reset fields, locator, thumb distribution), how the current
// order is chosen, the buttons and the update procedure. Every list of the program is one of these
// plus its window; the behaviour they share lives in the engine (app/maintenance/browse.h).
//
// Names are full field names ("URL:DESCRIPTION", "CAT:Category") and key names ("URL:K_DESCRIPTION"),
// compared without regard to case; the engine resolves them when it starts and refuses a description
// that names something unknown (a programming error, reported by BrowseEngine's constructor).
//
// Callers: the list procedures build one (usually in a function of their own) and hand it to a
// BrowseEngine; tests build small ones over real files.

#include <functional>
#include <string>
#include <vector>

#include "data/declarations.h"

namespace sitedex::app::maintenance {

// A variable whose change forces the sort order to start again (a category chosen elsewhere). The
// engine keeps the saved copy and binds it for the filter under `savedName`.
struct ResetField {
    std::string field;      // "CAT:CATEGORY"
    std::string savedName;  // "BRW1::Sort2:Reset:CAT:Category"
};

enum class Distribution {
    kNone,
    kString,   // marks over the first `distributionLength` characters of the distribution field
    kNumeric,  // linear marks; the thumb scans from 100 down (the order runs from high to low)
};

struct SortOrderDescription {
    std::string key;     // "URL:K_DESCRIPTION"
    std::string filter;  // a filter expression, empty for none
    std::vector<ResetField> resetFields;
    std::string locator;                   // the field the first-letter locator types into
    std::vector<std::string> locatorClears;  // further key fields cleared before a locate on value
    Distribution distribution = Distribution::kNone;
    std::string distributionField;  // defaults to the locator
    int distributionLength = 0;     // string marks: characters compared
    // Runs right before a locate on a typed letter or a thumb position (sets further key fields,
    // e.g. the category of a category-limited order).
    std::function<void()> primeLocate;
};

// A row value: a record field (its bytes) or the first `memoLimit` bytes of a memo.
struct RowField {
    std::string name;    // "CAT:CATEGORY" or a memo name "CAT:DESCRIPTION"
    size_t memoLimit = 0;  // memos only; 0 = whole memo
};

struct BrowseDescription {
    data::FileDecl* file = nullptr;
    // Row layout: the values shown in the list's columns, in column order (then the position).
    std::vector<RowField> row;
    std::vector<SortOrderDescription> orders;  // sort order n is orders[n - 1]
    // The current sort order (a tab); empty for a single order. 0 counts as 1.
    std::function<int()> chooseOrder;

    bool hasSelect = false;  // a Select button (honoured only when opened with a select request)
    bool hasUpdate = false;  // Insert, Change and Delete buttons
    // The update procedure: called with CallRequest set; edits and writes the record itself and
    // answers in CallResponse.
    std::function<void()> update;
    // Runs after the record buffer is cleared for an insert (a category-limited list primes the
    // record's category).
    std::function<void()> primeInsert;

    std::string format;  // the list format ("107L|M~Description~@S100@...")
};

}  // namespace sitedex::app::maintenance
