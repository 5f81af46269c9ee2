#include "app/maintenance/record_copy.h"

namespace sitedex::app::maintenance {

RecordCopy copyRecord(data::FileDecl& file) {
    RecordCopy c;
    c.record.assign(file.record(), file.recordSize());
    for (size_t i = 0; i < file.memos().size(); ++i)
        c.memos.push_back(file.memo(i));
    return c;
}

bool recordUnchanged(data::FileDecl& file, const RecordCopy& copy) {
    if (copy.record.size() != file.recordSize() ||
        copy.record.compare(0, copy.record.size(), file.record(), file.recordSize()) != 0)
        return false;
    if (copy.memos.size() != file.memos().size())
        return false;
    for (size_t i = 0; i < copy.memos.size(); ++i)
        if (copy.memos[i] != file.memo(i))
            return false;
    return true;
}

}  // namespace sitedex::app::maintenance
