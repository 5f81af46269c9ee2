// sitedex categories: the categories with their descriptions, in name order.
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
    "Usage: sitedex categories [--data-dir DIR] [--format FORMAT]\n"
    "Lists the categories in name order (letter case ignored), one a line, with the columns\n"
    "category and description. \"_Before All\" and \"_After All\" hold the top and bottom HTML of\n"
    "exported pages and are listed like the others.\n"
    "  --format FORMAT   tsv (default: tab-separated, \\\\ \\t \\n \\r escaped inside fields),\n"
    "                    csv (a header line, RFC 4180 quoting) or json (an array of objects\n"
    "                    with the keys category and description)\n";

}  // namespace

int runCategories(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {"format"}, 0, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    TableFormat format = TableFormat::kTsv;
    if (p.options.count("format") && !parseTableFormat(p.options["format"], format)) {
        return usageError("categories", "unknown format '" + p.options["format"] + "' (tsv, csv, json)", kUsage);
    }
    DataSession session(dir, {&data::Categories});
    return session.run([&] {
        data::FieldRef name = data::findField("CAT:CATEGORY"), description = data::findField("CAT:DESCRIPTION");
        TableWriter out(stdout, format, {{"category"}, {"description"}});
        bool ok = forEachInOrder(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY"), [&] {
            std::string text = data::getString(description);
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            out.row({data::getString(name), text});
        });
        out.finish();
        return ok ? kExitOk : kExitRefused;
    });
}

}  // namespace sitedex::cli
