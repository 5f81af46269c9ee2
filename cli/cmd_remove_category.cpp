// sitedex remove-category: deletes a category with its snippets and locations.
#include <span>
#include <string>

#include "app/maintenance/integrity.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/maintenance_commands.h"
#include "data/dictionary.h"

namespace sitedex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: sitedex remove-category NAME [--data-dir DIR]\n"
    "Deletes the category NAME (letter case ignored) together with its HTML snippets and its\n"
    "locations, in one transaction: all of them or, when one cannot be deleted, none.\n"
    "Snippets and locations whose category differs from the stored spelling, even only in letter\n"
    "case, are kept. The command is the confirmation; nothing is asked.\n";

}  // namespace

int runRemoveCategory(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {}, 1, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    DataSession session(dir, {&data::Categories});
    return session.run([&] {
        if (!findRecord("remove-category", data::Categories, "CAT:K_CATEGORY", "CAT:CATEGORY", "category",
                        p.positional[0]))
            return kExitRefused;
        return app::maintenance::EraseCategory() == app::maintenance::kWriteOk ? kExitOk : kExitRefused;
    });
}

}  // namespace sitedex::cli
