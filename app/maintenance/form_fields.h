#pragma once
// What an entry of a form may hold: the bytes of the record field or memo it shows. The forms give
// these to their controls (ui::ControlDef::maxBytes), so that the user meets the limit while typing
// or pasting instead of finding the text cut when it is saved.
//
// Callers: the location, category and snippet forms, when they build their window definitions.

#include <cstddef>
#include <string_view>

#include "data/declarations.h"

namespace sitedex::app::maintenance {

// The size of a field ("URL:LOCATION") or the maximum of a memo ("URL:SITEINFO"); 0 for a name that
// is neither (no limit).
inline std::size_t fieldBytes(std::string_view name) {
    const data::FieldRef ref = data::findField(name);
    if (!ref)
        return 0;
    if (ref.field)
        return ref.field->size;
    return ref.memo >= 0 ? ref.file->memos()[std::size_t(ref.memo)].maxSize : 0;
}

}  // namespace sitedex::app::maintenance
