// sitedex list: the locations, one a line, in the order of one of the browse keys.
#include <cstdio>
#include <span>
#include <string>

#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/maintenance_commands.h"
#include "cli/table_output.h"
#include "data/dictionary.h"
#include "data/fields.h"

namespace sitedex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: sitedex list [--data-dir DIR] [--order ORDER] [--category NAME] [--format FORMAT]\n"
    "Lists the locations, one a line, with the columns description, location, category, rating,\n"
    "keyword and site info (trailing blanks removed).\n"
    "  --order ORDER     description (default), location, category (then description), rating\n"
    "                    (highest first, then description and location) or keyword (then\n"
    "                    description and location); letter case is ignored\n"
    "  --category NAME   only the locations of that category (letter case ignored)\n"
    "  --format FORMAT   tsv (default: tab-separated, \\\\ \\t \\n \\r escaped inside fields),\n"
    "                    csv (a header line, RFC 4180 quoting) or json (an array of objects\n"
    "                    with the keys description, location, category, rating (a number),\n"
    "                    keyword and siteInfo)\n";

struct Order {
    std::string_view name;
    std::string_view key;
};
constexpr Order kOrders[] = {{"description", "URL:K_DESCRIPTION"},
                             {"location", "URL:K_LOCATION"},
                             {"category", "URL:K_CATEGORY"},
                             {"rating", "URL:K_RATING"},
                             {"keyword", "URL:K_KEYWORD"}};

}  // namespace

int runList(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {"order", "category", "format"}, 0, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    std::string_view keyName;
    std::string order = p.options.count("order") ? p.options["order"] : "description";
    for (const Order& o : kOrders)
        if (o.name == order)
            keyName = o.key;
    if (keyName.empty()) {
        return usageError("list", "unknown order '" + order + "' (description, location, category, rating, keyword)",
                          kUsage);
    }
    TableFormat format = TableFormat::kTsv;
    if (p.options.count("format") && !parseTableFormat(p.options["format"], format)) {
        return usageError("list", "unknown format '" + p.options["format"] + "' (tsv, csv, json)", kUsage);
    }
    bool filtered = p.options.count("category") != 0;
    std::string category = p.options["category"];
    while (!category.empty() && category.back() == ' ')
        category.pop_back();

    DataSession session(dir, {&data::SITEDX});
    return session.run([&] {
        using data::findField;
        data::FieldRef fDescription = findField("URL:DESCRIPTION"), fLocation = findField("URL:LOCATION"),
                       fCategory = findField("URL:CATEGORY"), fRating = findField("URL:RATING"),
                       fKeyword = findField("URL:KEYWORD"), fSiteInfo = findField("URL:SITEINFO");
        TableWriter out(stdout, format,
                        {{"description"}, {"location"}, {"category"}, {"rating", true}, {"keyword"}, {"siteInfo"}});
        bool ok = forEachInOrder(data::SITEDX, *data::SITEDX.findKey(keyName), [&] {
            std::string cat = data::getString(fCategory);
            if (filtered && !data::sameName(cat, category))
                return;
            std::string info = data::getString(fSiteInfo);
            while (!info.empty() && info.back() == ' ')
                info.pop_back();
            out.row({data::getString(fDescription), data::getString(fLocation), cat,
                     std::to_string(int64_t(data::getNumber(fRating))), data::getString(fKeyword), info});
        });
        out.finish();
        return ok ? kExitOk : kExitRefused;
    });
}

}  // namespace sitedex::cli
