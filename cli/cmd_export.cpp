// sitedex export: the locations written out as web pages, a bookmark file or text, by the writer
// of the desktop program's Export window.
#include <unistd.h>

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "app/export/export_job.h"
#include "app/export/export_options.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/export_commands.h"
#include "cli/progress.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/dates.h"

namespace sitedex::cli {

namespace {

using app::exporting::ExportType;

constexpr std::string_view kUsage =
    "Usage: sitedex export FILE [--data-dir DIR] [--type TYPE] [--category NAME] [--order ORDER]\n"
    "                      [--no-site-info] [--no-rating]\n"
    "Writes the locations, category by category, to FILE as web pages, a bookmark file or text.\n"
    "  --type TYPE       table (default: a table per category), simple (a list), frame (a page per\n"
    "                    category in a frameset, written beside FILE as BASEc.htm (contents),\n"
    "                    BASEm.htm, BASE1.htm... (the categories) and BASEb.htm (banner)),\n"
    "                    ascii (fixed columns), csv (comma-delimited, quoted) or bookmarks (the\n"
    "                    bookmark file that web browsers import, a folder per category)\n"
    "  --category NAME   only the locations of that category (letter case ignored)\n"
    "  --order ORDER     location (default) or description: the order within a category\n"
    "  --no-site-info    leave out the site information\n"
    "  --no-rating       leave out the ratings\n"
    "The web pages use the category snippets, and the frame pages [Settings] BodyInFrame, of the\n"
    "settings file. FILE is written as named; it is replaced only once the whole export has\n"
    "succeeded, so a failed export leaves an earlier file as it was. Ctrl+C stops the export and\n"
    "still writes a complete file of the locations written so far.\n";

struct TypeName {
    std::string_view name;
    ExportType type;
};
constexpr TypeName kTypes[] = {{"table", ExportType::kTable},        {"simple", ExportType::kSimple},
                               {"frame", ExportType::kFrame},        {"ascii", ExportType::kAscii},
                               {"csv", ExportType::kCommaDelimited}, {"bookmarks", ExportType::kBookmarkFile}};

// Whether a category of that name (letter case ignored) is in the Categories file.
bool categoryExists(const std::string& name) {
    data::Categories.clear();
    data::setString(data::findField("CAT:CATEGORY"), name);
    return data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY")) == 0;
}

}  // namespace

int runExport(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    // The two switches take no value; parseArgs knows options with values only.
    bool siteInfo = true, ratings = true;
    std::vector<char*> rest;
    for (char* a : args) {
        const std::string_view s = a;
        if (s == "--no-site-info")
            siteInfo = false;
        else if (s == "--no-rating")
            ratings = false;
        else
            rest.push_back(a);
    }
    ParsedArgs p;
    if (!parseArgs(rest, {"type", "category", "order"}, 1, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;

    app::exporting::ExportOptions o;
    o.siteInfo = siteInfo;
    o.ratings = ratings;
    bool known = !p.options.count("type");
    for (const TypeName& t : kTypes)
        if (p.options.count("type") && p.options["type"] == t.name) {
            o.type = t.type;
            known = true;
        }
    if (!known)
        return usageError(
            "export", "unknown type '" + p.options["type"] + "' (table, simple, frame, ascii, csv, bookmarks)", kUsage);
    if (p.options.count("order")) {
        const std::string& order = p.options["order"];
        if (order != "location" && order != "description")
            return usageError("export", "unknown order '" + order + "' (location, description)", kUsage);
        o.byDescription = order == "description";
    }
    if (p.options.count("category")) {
        o.selectedOnly = true;
        o.category = p.options["category"];
        if (!fitsField("export", kUsage, "the category", o.category, 30))
            return kExitUsage;
    }
    const std::string& file = p.positional[0];
    if (file.empty())
        return usageError("export", "the file name is empty", kUsage);
    // The data folder becomes the working directory: a relative name means the folder it was typed in.
    o.fileName = file;
    if (file[0] != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here))
            o.fileName = std::string(here) + "/" + file;
    }
    o.bodyInFrame = app::exporting::bodyInFrameSetting();
    o.date = runtime::today();

    DataSession session(dir, {&data::SITEDX, &data::Categories, &data::CatHTML});
    return session.run([&] {
        if (o.selectedOnly && !categoryExists(o.category)) {
            complain("export", "no category '" + o.category + "'");
            return kExitRefused;
        }
        app::exporting::ExportJob job(o);
        if (!job.start()) {
            complain("export", job.error());
            return kExitRefused;
        }
        runToEnd(job, "Exporting");
        if (!job.succeeded()) {
            if (!job.readFailed())
                complain("export", job.error());
            return kExitRefused;
        }
        if (job.cancelled()) {
            complain("export",
                     "stopped: " + file + " holds the " + std::to_string(job.exported()) + " locations written before");
            return kExitRefused;
        }
        std::printf("%s: %lld locations exported\n", file.c_str(), static_cast<long long>(job.exported()));
        return kExitOk;
    });
}

}  // namespace sitedex::cli
