#pragma once
// The VELOX driver's instance of an open file and the pieces of the driver shared by its source
// files (velox_driver.cpp: the operations; velox_index_ops.cpp: the declared indexes). Internal to
// the driver: nothing outside drivers/record includes this.

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <memory>
#include <string>

#include "data/driver.h"
#include "drivers/record/commit_group.h"
#include "drivers/record/dynamic_index.h"
#include "drivers/record/table.h"

namespace sitedex::record::velox {

// One sequential reading: the record order (key < 0) or one key's order, from its start or end, or
// from an entry; or the order of a dynamic index (index >= 0, the declared key's position), read
// from its snapshot (dynamic_index.h).
struct Sequence {
    int key = -1;
    enum class Start { kEnds, kFrom, kOn } start = Start::kEnds;
    std::string from;      // forward start entry (inclusive)
    std::string fromBack;  // backward start entry (inclusive)
    std::unique_ptr<Cursor> cursor;
    int index = -1;
    size_t pos = 0;      // the index entry read last (kOn)
    bool ended = false;  // a read of the index ran past either end
};

class VeloxInstance final : public data::DriverInstance {
public:
    std::string path, table;
    std::unique_ptr<RecordFile> file;
    uint32_t current = 0;
    bool holdPending = false;
    int holdWait = -1;
    uint32_t held = 0;
    bool watchPending = false;
    bool watched = false;
    std::string watchImage;
    bool noMemoPending = false;
    bool fullBuild = false;
    bool snapshot = false;  // SNAPSHOT=ON: one read snapshot held for the reads that follow
    Sequence seq;
    std::map<int, DynamicIndex> indexes;  // by the declared key's position
    // While a statement given a wait runs (a read after hold with wait): when that wait ends.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    ~VeloxInstance() override {
        if (file) CommitGroup::process().forget(file.get());
    }
};

// Milliseconds left until the instance's deadline (0 when it has passed), or `otherwise` without one.
inline int msLeft(const VeloxInstance& v, int otherwise) {
    if (!v.deadline) return otherwise;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*v.deadline - std::chrono::steady_clock::now());
    return int(std::max<int64_t>(left.count(), 0));
}

// Engine status -> access-layer code; a broken structure ends the program.
int32_t code(const Status& s, int32_t otherwise = 5);
VeloxInstance& inst(data::FileDecl& f);
std::string recordOf(data::FileDecl& f);
// Reads record `recno` into the record buffer as every read does (hold, watch, no-memo).
int32_t readRecord(data::FileDecl& f, VeloxInstance& v, uint32_t recno);

// Declared indexes (velox_index_ops.cpp).
int32_t stepIndex(data::FileDecl& f, VeloxInstance& v, bool forward);
// The index entry the next read in that direction starts at; out of range when there is none.
int64_t indexCandidate(const DynamicIndex& ix, const Sequence& q, bool forward);
std::string indexPosition(VeloxInstance& v, const DynamicIndex& ix, data::FileDecl& f);
bool indexEntryFromPosition(const DynamicIndex& ix, std::string_view pos, std::string& entry);
void startIndexSequence(VeloxInstance& v, int index, Sequence::Start start, std::string from = {},
                        std::string fromBack = {});
int32_t indexOp(int op, data::FileDecl& f, VeloxInstance& v, data::CallArgs& a, int declared);

}  // namespace sitedex::record::velox
