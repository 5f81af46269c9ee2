#include "app/maintenance/category_rules.h"

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"

namespace sitedex::app::maintenance {

namespace {

using namespace sitedex::data;

constexpr SnippetType kSnippetTypes[] = {
    {"&Replace Title", "Replace Title"},
    {"&Before Category", "Before Category"},
    {"Before &Category Title", "Before Category Title"},
    {"After Category &Title", "After Category Title"},
    {"&After Category", "After Category"},
};

InsertResult insertInto(FileDecl& file, std::string_view keyDescription) {
    int32_t e = add(file);
    if (e == 0)
        return InsertResult::kAdded;
    // Each of these files has one key, and it is unique.
    if (e == kErrDuplicateKey) {
        ShowWarning(24, keyDescription);
        return InsertResult::kDuplicate;
    }
    ShowWarning(14);
    return InsertResult::kFailed;
}

}  // namespace

std::span<const SnippetType> snippetTypes() {
    return kSnippetTypes;
}

std::string_view findSnippetType(std::string_view name) {
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    for (const SnippetType& t : kSnippetTypes)
        if (sameName(t.value, name))
            return t.value;
    return {};
}

InsertResult InsertCategory() {
    return insertInto(Categories, "Category");
}

void primeNewSnippet() {
    CatHTML.clear();
    setString(findField("HTM:CATEGORY"), getString(findField("CAT:CATEGORY")));
    setString(findField("HTM:TYPEOFHTML"), kDefaultSnippetType);
}

InsertResult InsertCatHTML() {
    return insertInto(CatHTML, "Category - Add HTML");
}

}  // namespace sitedex::app::maintenance
