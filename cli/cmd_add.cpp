// sitedex add: adds a location as the location form's insert does.
#include <charconv>
#include <cstdio>
#include <span>
#include <string>

#include "app/maintenance/location_rules.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/maintenance_commands.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "data/warnings.h"

namespace sitedex::cli {

namespace {

using namespace sitedex::app::maintenance;

constexpr std::string_view kUsage =
    "Usage: sitedex add LOCATION [--data-dir DIR] [--description TEXT] [--category NAME]\n"
    "                   [--rating N] [--keyword WORD] [--site-info TEXT]\n"
    "Adds a location (a web address), as the location form does:\n"
    "  - the category must exist (see sitedex categories); letter case is ignored and the\n"
    "    category's own spelling is stored;\n"
    "  - without a keyword, the keyword is the address's scheme (the text before \"://\", at most\n"
    "    10 characters), else \"mailto:\" for a mail address, else \"?\";\n"
    "  - an address that is already stored, in any letter case, is refused;\n"
    "  - the rating is a whole number from 0 to 10 (default 0).\n"
    "Sizes: location 255 bytes, description 100, category 30, keyword 10, site info 1000.\n";

}  // namespace

int runAdd(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {"description", "category", "rating", "keyword", "site-info"}, 1, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    const std::string& location = p.positional[0];
    if (location.find_first_not_of(' ') == std::string::npos) {
        return usageError("add", "LOCATION must not be blank", kUsage);
    }
    if (!fitsField("add", kUsage, "LOCATION", location, 255) ||
        !fitsField("add", kUsage, "--description", p.options["description"], 100) ||
        !fitsField("add", kUsage, "--category", p.options["category"], 30) ||
        !fitsField("add", kUsage, "--keyword", p.options["keyword"], 10) ||
        !fitsField("add", kUsage, "--site-info", p.options["site-info"], 1000))
        return kExitUsage;
    int rating = 0;
    if (p.options.count("rating")) {
        const std::string& r = p.options["rating"];
        auto [end, ec] = std::from_chars(r.data(), r.data() + r.size(), rating);
        if (ec != std::errc() || end != r.data() + r.size()) {
            return usageError("add", "--rating needs a whole number, not '" + r + "'", kUsage);
        }
    }

    DataSession session(dir, {&data::Categories, &data::SITEDX});
    return session.run([&] {
        using data::findField;
        if (rating < kRatingMin || rating > kRatingMax) {
            data::ShowWarning(10, "URL:Rating", std::to_string(kRatingMin) + " and " + std::to_string(kRatingMax));
            return kExitRefused;
        }
        data::SITEDX.clear();
        data::setString(findField("URL:LOCATION"), location);
        data::setString(findField("URL:DESCRIPTION"), p.options["description"]);
        data::setString(findField("URL:CATEGORY"), p.options["category"]);
        data::setNumber(findField("URL:RATING"), rating);
        data::setString(findField("URL:KEYWORD"), p.options["keyword"]);
        data::setMemo(data::SITEDX, 0, p.options["site-info"]);
        if (!checkLocationCategory())
            return kExitRefused;
        // As if picked from the form's list: the category as it is spelled in its own record, so
        // that renaming or deleting the category reaches this location.
        data::setString(findField("URL:CATEGORY"), data::getString(findField("CAT:CATEGORY")));
        fillKeywordForInsert();
        return InsertLocation() == InsertResult::kAdded ? kExitOk : kExitRefused;
    });
}

}  // namespace sitedex::cli
