// sitedex remove: deletes one location.
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
    "Usage: sitedex remove LOCATION [--data-dir DIR]\n"
    "Deletes the location with that address (letter case ignored). The command is the\n"
    "confirmation; nothing is asked.\n";

}  // namespace

int runRemove(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {}, 1, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    const std::string& location = p.positional[0];
    if (location.find_first_not_of(' ') == std::string::npos) {
        return usageError("remove", "LOCATION must not be blank", kUsage);
    }
    DataSession session(dir, {&data::SITEDX});
    return session.run([&] {
        if (!findRecord("remove", data::SITEDX, "URL:K_LOCATION", "URL:LOCATION", "location", location))
            return kExitRefused;
        return app::maintenance::EraseLocation() == app::maintenance::kWriteOk ? kExitOk : kExitRefused;
    });
}

}  // namespace sitedex::cli
