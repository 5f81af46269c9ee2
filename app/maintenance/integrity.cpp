#include "app/maintenance/integrity.h"

#include <cstring>
#include <string_view>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/warnings.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"

namespace sitedex::app::maintenance {

namespace {

using namespace sitedex::data;

constexpr size_t kCategorySize = 30;
constexpr size_t kSaveAreaSize = 512;

struct ThreadState {
    std::string savedName = std::string(kCategorySize, ' ');
    std::string saveArea;
};

runtime::PerThread<ThreadState>& perThread() {
    static runtime::PerThread<ThreadState> p;
    return p;
}

void forgetThread(int threadNumber) {
    perThread().reset(threadNumber);
}

ThreadState& state() {
    static bool hooked = (runtime::addThreadEndHook(forgetThread), true);
    (void)hooked;
    return perThread().current();
}

const FieldDecl& field(FileDecl& file, std::string_view name) {
    const FieldDecl* f = file.findField(name);
    return *f;  // the dictionary declares every name used here
}

char* bytesOf(FileDecl& file, const FieldDecl& f) {
    return file.record() + f.offset;
}

void remember(std::string position) {
    if (position.size() > kSaveAreaSize)
        position.resize(kSaveAreaSize);
    state().saveArea = std::move(position);
}

// ASCII letters compared upper-cased, every other byte as it is: the category keys' own order.
bool equalIgnoringCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

bool allBlank(const std::string& s) {
    return s.find_first_not_of(' ') == std::string::npos;
}

// True when the record in the buffer is left out of `key` because all its key fields are blank; such
// a record can only be found again by its record position.
bool outsideKey(FileDecl& file, const KeyDecl& key) {
    if (!(key.attributes & kKeyExcludeBlank))
        return false;
    for (int c : key.components) {
        const FieldDecl& f = file.fields()[size_t(c < 0 ? -c : c) - 1];
        const char* p = bytesOf(file, f);
        char blank = f.type == kTypeString ? ' ' : '\0';
        for (uint32_t i = 0; i < f.size; ++i)
            if (p[i] != blank)
                return false;
    }
    return true;
}

void releaseChildren() {
    releaseFile(SITEDX);
    releaseFile(CatHTML);
}

// Steps 2 to 5 of an update inside the open transaction: remember the position, put, and on a
// conflict read the other station's version back into the buffer. On failure the transaction has
// been rolled back.
// Ends the transaction with a commit. A commit that fails (a write the disk refused) leaves its error
// code in the error state; the change is then not made and the caller reports it like any failed
// write (warning 15 for an update, 17 for a delete).
bool commitSucceeded() {
    clearErrorState();
    commit();
    if (errorCode() == 0)
        return true;
    captureError();
    return false;
}

int putRecord(FileDecl& file, std::string_view label) {
    remember(position(file));
    int32_t e = put(file);
    if (e == 0)
        return kWriteOk;
    captureError();
    if (e == kErrRecordChanged) {
        ShowWarning(15, "Record Changed by Another Station");
        watch(file);
        reget(file, state().saveArea);
        return kWriteChanged;
    }
    // The record files answer 33 for a record that has gone since it was read: say so rather than
    // leave the user guessing at the file's name.
    ShowWarning(15, e == kErrRecordNotAvailable ? std::string_view("Record Deleted by Another Station") : label);
    return kWriteFailed;
}

int updateRecord(FileDecl& file, std::string_view label) {
    if (logout(kTransactionWait, {&file}) != 0) {
        captureError();
        ShowWarning(34, "Update", label);
        return kWriteFailed;
    }
    int r = putRecord(file, label);
    if (r != kWriteOk)
        return r;
    if (!commitSucceeded()) {
        ShowWarning(15, label);
        return kWriteFailed;
    }
    return kWriteOk;
}

// The children of one category in one file: the category field, the field after it in the key (set
// to its lowest value to start at the first child), the key, and the label the warnings name.
struct ChildFile {
    FileDecl& file;
    const FieldDecl& category;
    const FieldDecl& second;
    KeyDecl& key;
    std::string_view label;
};

ChildFile locations() {
    return {SITEDX, field(SITEDX, "URL:CATEGORY"), field(SITEDX, "URL:DESCRIPTION"), *SITEDX.findKey("URL:K_CATEGORY"),
            "SITEDX"};
}

ChildFile snippets() {
    return {CatHTML, field(CatHTML, "HTM:CATEGORY"), field(CatHTML, "HTM:TYPEOFHTML"),
            *CatHTML.findKey("HTM:KEYCATEGORYHTML"), "CatHTML"};
}

enum class Visit { kNext, kFailed };

// Walks the children of `name` (30 bytes) in key order and calls visit on each child whose category
// equals the name exactly. The key ignores letter case, so children of a name that differs only in
// case lie among them: they are stepped over, and the walk ends at the first record past the name.
template <class F>
bool forEachChild(ChildFile c, const char* name, F&& visit) {
    c.file.clear();
    std::memcpy(bytesOf(c.file, c.category), name, kCategorySize);
    std::memset(bytesOf(c.file, c.second), 0, c.second.size);  // the lowest value there is
    if (set(c.key, c.key) != 0) {
        captureError();
        ShowWarning(35, c.label);
        return false;
    }
    for (;;) {
        int32_t e = next(c.file);
        if (e == kErrRecordNotAvailable)
            return true;  // end of file
        if (e != 0) {
            captureError();
            ShowWarning(35, c.label);
            return false;
        }
        const char* category = bytesOf(c.file, c.category);
        if (!equalIgnoringCase(category, name, kCategorySize))
            return true;
        if (std::memcmp(category, name, kCategorySize) != 0)
            continue;
        if (visit() == Visit::kFailed)
            return false;
    }
}

bool cascadeRename(ChildFile c, const std::string& oldName, const std::string& newName) {
    return forEachChild(c, oldName.data(), [&] {
        std::memcpy(bytesOf(c.file, c.category), newName.data(), kCategorySize);
        if (put(c.file) == 0)
            return Visit::kNext;
        captureError();
        ShowWarning(15, c.label);
        return Visit::kFailed;
    });
}

bool cascadeDelete(ChildFile c, const std::string& name) {
    return forEachChild(c, name.data(), [&] {
        if (deleteRecord(c.file) == 0)
            return Visit::kNext;
        captureError();
        ShowWarning(17, c.label);
        return Visit::kFailed;
    });
}

int eraseRecord(FileDecl& file, KeyDecl& firstKey, std::string_view label) {
    // A record with a blank key value is not in the key; it is found again by its record position.
    bool byKey = !outsideKey(file, firstKey);
    remember(byKey ? position(firstKey) : position(file));
    if (logout(kTransactionWait, {&file}) != 0) {
        captureError();
        ShowWarning(34, "Delete", label);
        return kWriteFailed;
    }
    int32_t e = byKey ? reget(firstKey, state().saveArea) : reget(file, state().saveArea);
    if (e == 0)
        e = deleteRecord(file);
    if (e != 0) {
        captureError();
        ShowWarning(17, label);
        return kWriteFailed;
    }
    if (!commitSucceeded()) {
        ShowWarning(17, label);
        return kWriteFailed;
    }
    return kWriteOk;
}

void rollbackIfActive() {
    if (transactionActive())
        rollback();
}

}  // namespace

void RememberCategoryName() {
    const FieldDecl& f = field(Categories, "CAT:CATEGORY");
    state().savedName.assign(bytesOf(Categories, f), kCategorySize);
}

const std::string& savedCategoryName() {
    return state().savedName;
}

const std::string& saveArea() {
    return state().saveArea;
}

void ShowRecordGone() {
    runtime::messageBox("This record was deleted by another station.  The list now shows the records that are on "
                        "file.",
                        "Record Deleted", runtime::kIconAsterisk, runtime::kButtonOk, runtime::kButtonOk);
}

int WriteLocation() {
    return updateRecord(SITEDX, "SITEDX");
}

int WriteCatHTML() {
    return updateRecord(CatHTML, "CatHTML");
}

int WriteCategory() {
    useFile(CatHTML);
    useFile(SITEDX);
    struct Release {
        ~Release() { releaseChildren(); }
    } release;
    if (logout(kTransactionWait, {&Categories, &CatHTML, &SITEDX}) != 0) {
        captureError();
        ShowWarning(34, "Update", "Categories");
        return kWriteFailed;
    }
    int r = putRecord(Categories, "Categories");
    if (r != kWriteOk)
        return r;
    std::string newName(bytesOf(Categories, field(Categories, "CAT:CATEGORY")), kCategorySize);
    const std::string oldName = state().savedName;
    // A blank saved name means no category was remembered: nothing can be carried from it (a blank
    // category is no category, and its "children" are the uncategorised locations).
    if (oldName != newName && !allBlank(oldName)) {
        if (!cascadeRename(snippets(), oldName, newName) || !cascadeRename(locations(), oldName, newName)) {
            rollbackIfActive();
            return kWriteFailed;
        }
    }
    if (!commitSucceeded()) {
        ShowWarning(15, "Categories");
        return kWriteFailed;
    }
    return kWriteOk;
}

int EraseLocation() {
    return eraseRecord(SITEDX, *SITEDX.findKey("URL:K_LOCATION"), "SITEDX");
}

int EraseCatHTML() {
    return eraseRecord(CatHTML, *CatHTML.findKey("HTM:KEYCATEGORYHTML"), "CatHTML");
}

int EraseCategory() {
    KeyDecl& key = *Categories.findKey("CAT:K_CATEGORY");
    remember(position(key));
    useFile(CatHTML);
    useFile(SITEDX);
    struct Release {
        ~Release() { releaseChildren(); }
    } release;
    if (logout(kTransactionWait, {&Categories, &CatHTML, &SITEDX}) != 0) {
        captureError();
        ShowWarning(34, "Delete", "Categories");
        return kWriteFailed;
    }
    if (reget(key, state().saveArea) != 0) {
        captureError();
        ShowWarning(17, "Categories");
        return kWriteFailed;
    }
    std::string name(bytesOf(Categories, field(Categories, "CAT:CATEGORY")), kCategorySize);
    if (!cascadeDelete(snippets(), name) || !cascadeDelete(locations(), name)) {
        rollbackIfActive();
        return kWriteFailed;
    }
    if (deleteRecord(Categories) != 0) {
        captureError();
        ShowWarning(17, "Categories");
        return kWriteFailed;
    }
    if (!commitSucceeded()) {
        ShowWarning(17, "Categories");
        return kWriteFailed;
    }
    return kWriteOk;
}

}  // namespace sitedex::app::maintenance
