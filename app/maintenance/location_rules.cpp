#include "app/maintenance/location_rules.h"

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/hooks.h"

namespace sitedex::app::maintenance {

namespace {

using namespace sitedex::data;

constexpr size_t kKeywordSize = 10;

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::string keywordFromLocation(std::string_view location) {
    size_t scheme = location.find("://");
    if (scheme != std::string_view::npos)
        return std::string(utf8Prefix(location.substr(0, scheme), kKeywordSize));
    if (location.find("mailto:") != std::string_view::npos)
        return "mailto:";
    return "?";
}

bool locationMissing(std::string_view location) {
    return location.find_first_not_of(' ') == std::string_view::npos;
}

void ShowLocationRequired() {
    runtime::messageBox("The Location field cannot be blank: enter the site's address.", "Location Required",
                        runtime::kIconAsterisk, runtime::kButtonOk, runtime::kButtonOk);
}

void fillKeywordForInsert() {
    FieldRef keyword = findField("URL:KEYWORD");
    if (!getString(keyword).empty())
        return;
    setString(keyword, keywordFromLocation(getString(findField("URL:LOCATION"))));
}

bool checkLocationCategory() {
    std::string category = getString(findField("URL:CATEGORY"));
    Categories.clear();
    setString(findField("CAT:CATEGORY"), category);
    if (get(Categories, *Categories.findKey("CAT:K_CATEGORY")) == 0)
        return true;
    ShowWarning(11, "URL:Category", "Categories");
    return false;
}

InsertResult InsertLocation() {
    int32_t e = add(SITEDX);
    if (e == 0)
        return InsertResult::kAdded;
    // URL:K_LOCATION is the only unique key of the file.
    if (e == kErrDuplicateKey) {
        ShowWarning(24, "Site Location");
        return InsertResult::kDuplicate;
    }
    ShowWarning(14);
    return InsertResult::kFailed;
}

bool isSpecialCategory(std::string_view name) {
    name = trimRight(name);
    return sameName(name, "_Before All") || sameName(name, "_After All");
}

}  // namespace sitedex::app::maintenance
