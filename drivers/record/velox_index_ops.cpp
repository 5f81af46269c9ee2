// The VELOX driver's operations on declared indexes (key attribute 64): build one from a
// components text (and a filter), then read in its order like a key. The index itself is the
// snapshot of dynamic_index.h, held by the file instance.

#include "drivers/record/velox_instance.h"

namespace sitedex::record::velox {

using data::CallArgs;
using data::FileDecl;

void startIndexSequence(VeloxInstance& v, int index, Sequence::Start start, std::string from,
                        std::string fromBack) {
    v.seq = Sequence{};
    v.seq.index = index;
    v.seq.start = start;
    v.seq.from = std::move(from);
    v.seq.fromBack = std::move(fromBack);
}

int64_t indexCandidate(const DynamicIndex& ix, const Sequence& q, bool forward) {
    if (q.ended) return -1;
    int64_t n = int64_t(ix.size());
    switch (q.start) {
        case Sequence::Start::kEnds:
            return forward ? 0 : n - 1;
        case Sequence::Start::kFrom: {
            if (forward) return int64_t(ix.lowerBound(q.from));
            int64_t i = int64_t(ix.lowerBound(q.fromBack));
            return i < n && ix.entryAt(size_t(i)) == q.fromBack ? i : i - 1;
        }
        case Sequence::Start::kOn:
            return forward ? int64_t(q.pos) + 1 : int64_t(q.pos) - 1;
    }
    return -1;
}

int32_t stepIndex(FileDecl& f, VeloxInstance& v, bool forward) {
    DynamicIndex& ix = v.indexes[v.seq.index];
    int64_t n = int64_t(ix.size());
    for (int64_t i = indexCandidate(ix, v.seq, forward); i >= 0 && i < n; i += forward ? 1 : -1) {
        int32_t e = readRecord(f, v, ix.recnoAt(size_t(i)));
        if (e == kRecordNotFound) continue;  // deleted since the index was built
        if (e == kHeld) return e;            // the position stays where it was
        v.seq.pos = size_t(i);
        v.seq.start = Sequence::Start::kOn;
        return e;
    }
    v.seq.ended = true;
    return kNoRecord;
}

std::string indexPosition(VeloxInstance& v, const DynamicIndex& ix, FileDecl& f) {
    std::string p;
    append32(p, v.current);
    p += ix.value(f.record());
    return p;
}

bool indexEntryFromPosition(const DynamicIndex& ix, std::string_view pos, std::string& entry) {
    if (pos.size() != 4 + ix.valueLength()) return false;
    entry = DynamicIndex::entryOf(pos.substr(4), get32(bytes(pos)));
    return true;
}

// Key operations on a declared index (key attribute 64): build it, then read in its order.
int32_t indexOp(int op, FileDecl& f, VeloxInstance& v, CallArgs& a, int declared) {
    using namespace data;
    DynamicIndex& ix = v.indexes[declared];
    if (op == kOpBuildIndex || op == kOpBuildIndexFilter) {
        int32_t e = ix.build(f, *v.file, *a.key, a.text[0], op == kOpBuildIndexFilter ? &a.text[1] : nullptr);
        if (e == kDamaged || e == kSystem) return code(ix.failure());
        if (e == 0 && v.seq.index == declared) v.seq = Sequence{};  // the old snapshot's position means nothing now
        return e;
    }
    if (!ix.built()) return kRebuildKeys;
    switch (op) {
        case kOpRecordsOfKey:
            a.numberResult = int64_t(ix.size());
            return 0;
        case kOpSetByKey:
            startIndexSequence(v, declared, Sequence::Start::kEnds);
            return 0;
        case kOpSetByKeyValue:
        case kOpSetByKeyValuePointer: {
            bool at = op == kOpSetByKeyValuePointer;
            std::string value = ix.value(f.record());
            startIndexSequence(v, declared, Sequence::Start::kFrom,
                               DynamicIndex::entryOf(value, at ? uint32_t(a.number[0]) : 0),
                               DynamicIndex::entryOf(value, at ? uint32_t(a.number[0]) : 0xFFFFFFFFu));
            return 0;
        }
        case kOpGetByKey: {
            std::string value = ix.value(f.record());
            for (size_t i = ix.lowerBound(DynamicIndex::entryOf(value, 0));
                 i < ix.size() && ix.entryAt(i).compare(0, value.size(), value) == 0; ++i) {
                int32_t e = readRecord(f, v, ix.recnoAt(i));
                if (e == kRecordNotFound) continue;  // deleted since the index was built
                if (e == 0) {
                    startIndexSequence(v, declared, Sequence::Start::kOn);
                    v.seq.pos = i;
                }
                return e;
            }
            return kRecordNotFound;
        }
        case kOpPositionOfKey:
            if (!v.current) return kNoRecord;
            a.textResult = indexPosition(v, ix, f);
            return 0;
        case kOpResetByKey: {
            std::string from;
            if (!indexEntryFromPosition(ix, a.text[0], from)) return kRecordNotFound;
            startIndexSequence(v, declared, Sequence::Start::kFrom, from, from);
            return 0;
        }
        case kOpRegetByKey: {
            // As for the file's own keys: a record that is gone leaves none current.
            std::string want;
            int32_t e = kRecordNotFound;
            if (indexEntryFromPosition(ix, a.text[0], want)) {
                size_t i = ix.lowerBound(want);
                if (i < ix.size() && ix.entryAt(i) == want) e = readRecord(f, v, ix.recnoAt(i));
            }
            if (e) v.current = 0;
            return e;
        }
        case kOpDuplicateOfKey:
            a.numberResult = 0;  // an index holds equal values side by side
            return 0;
        default:
            return 80;  // build key and the rest concern stored keys
    }
}

}  // namespace sitedex::record::velox
