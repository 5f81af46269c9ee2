// sitedex rename-category: renames a category; its snippets and locations follow.
#include <span>
#include <string>

#include "app/maintenance/integrity.h"
#include "app/maintenance/record_copy.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/maintenance_commands.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"

namespace sitedex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: sitedex rename-category OLD NEW [--data-dir DIR]\n"
    "Renames the category OLD (letter case ignored) to NEW. Its HTML snippets and its locations\n"
    "take the new name in the same transaction: all of them or, when one cannot be written,\n"
    "none. Snippets and locations whose category differs from OLD's stored spelling, even only in\n"
    "letter case, keep their category. NEW may not name another existing category.\n";

}  // namespace

int runRenameCategory(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {}, 2, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    const std::string& newName = p.positional[1];
    if (newName.find_first_not_of(' ') == std::string::npos) {
        return usageError("rename-category", "NEW must not be blank", kUsage);
    }
    if (!fitsField("rename-category", kUsage, "NEW", newName, 30))
        return kExitUsage;
    DataSession session(dir, {&data::Categories});
    return session.run([&] {
        // A name another category has is refused before anything is written or opened: the
        // rename would open (and so make) the snippet and location files only to be refused.
        int64_t holder = 0;
        data::Categories.clear();
        data::setString(data::findField("CAT:CATEGORY"), newName);
        int32_t e = data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY"));
        if (e == 0) {
            holder = data::pointer(data::Categories);
        } else if (e != data::kErrRecordNotFound) {
            data::ShowWarning(35, data::Categories.label());
            return kExitRefused;
        }
        if (!findRecord("rename-category", data::Categories, "CAT:K_CATEGORY", "CAT:CATEGORY", "category",
                        p.positional[0]))
            return kExitRefused;
        if (holder != 0 && holder != data::pointer(data::Categories)) {
            // The refusal the write itself would have met, in the same words.
            data::SavedError& saved = data::savedError();
            saved.code = data::kErrDuplicateKey;
            saved.text = data::errorTextFor(data::kErrDuplicateKey);
            data::ShowWarning(15, data::Categories.label());
            return kExitRefused;
        }
        app::maintenance::RememberCategoryName();
        app::maintenance::RecordCopy loaded = app::maintenance::copyRecord(data::Categories);
        data::setString(data::findField("CAT:CATEGORY"), newName);
        if (app::maintenance::recordUnchanged(data::Categories, loaded))
            return kExitOk;  // nothing to write
        return app::maintenance::WriteCategory() == app::maintenance::kWriteOk ? kExitOk : kExitRefused;
    });
}

}  // namespace sitedex::cli
