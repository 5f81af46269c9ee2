// sitedex add-category: adds a category as the category form's insert does.
#include <span>
#include <string>

#include "app/maintenance/category_rules.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/maintenance_commands.h"
#include "data/dictionary.h"
#include "data/fields.h"

namespace sitedex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: sitedex add-category NAME [--data-dir DIR] [--description TEXT]\n"
    "Adds a category. A name that exists already, in any letter case, is refused.\n"
    "Sizes: name 30 bytes, description 1000.\n";

}  // namespace

int runAddCategory(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {"description"}, 1, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    const std::string& name = p.positional[0];
    if (name.find_first_not_of(' ') == std::string::npos) {
        return usageError("add-category", "NAME must not be blank", kUsage);
    }
    if (!fitsField("add-category", kUsage, "NAME", name, 30) ||
        !fitsField("add-category", kUsage, "--description", p.options["description"], 1000))
        return kExitUsage;
    DataSession session(dir, {&data::Categories});
    return session.run([&] {
        data::Categories.clear();
        data::setString(data::findField("CAT:CATEGORY"), name);
        data::setMemo(data::Categories, 0, p.options["description"]);
        return app::maintenance::InsertCategory() == app::maintenance::InsertResult::kAdded ? kExitOk : kExitRefused;
    });
}

}  // namespace sitedex::cli
