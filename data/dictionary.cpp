#include "data/dictionary.h"

#include "data/access.h"
#include "data/error_state.h"
#include "data/warnings.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"

#include <array>

namespace sitedex::data {

std::string NameExport;
std::string NameAscii;
std::string NameWhatsNew;
std::string NameExportHelp;
std::string NameImportHelp;

namespace {

constexpr uint32_t kDataAttrs = kAttrCreate | kAttrPerThread;  // 20

FieldDecl str(std::string_view name, uint32_t offset, uint32_t size) { return {name, kTypeString, offset, size}; }
FieldDecl dec(std::string_view name, uint32_t offset, uint8_t digits, uint8_t places) {
    return {name, kTypeDecimal, offset, uint32_t(digits / 2 + 1), digits, places};
}
FieldDecl lng(std::string_view name, uint32_t offset) { return {name, kTypeLong, offset, 4}; }
FieldDecl byt(std::string_view name, uint32_t offset) { return {name, kTypeByte, offset, 1}; }

FileSpec locationsLayout(std::string_view label, std::string_view prefix, FileName name, bool import) {
    FileSpec s;
    s.driver = "VELOX";
    s.label = label;
    s.prefix = prefix;
    s.name = name;
    s.attributes = kDataAttrs;
    s.recordSize = 397;
    if (!import) {
        s.fields = {str("URL:LOCATION", 0, 255), str("URL:DESCRIPTION", 255, 100), str("URL:CATEGORY", 355, 30),
                    dec("URL:RATING", 385, 2, 0), str("URL:KEYWORD", 387, 10)};
        s.memos = {{"URL:SITEINFO", 1000}};
        s.keys = {{"URL:K_LOCATION", 6, {1}},
                  {"URL:K_DESCRIPTION", 7, {2}},
                  {"URL:K_CATEGORY", 5, {3, 2}},
                  {"URL:K_CATEGORYLOCATION", 7, {3, 1}},
                  {"URL:K_RATING", 5, {-4, 2, 1}},
                  {"URL:K_KEYWORD", 5, {5, 2, 1}}};
    } else {
        s.fields = {str("ILOC:LOCATION", 0, 255), str("ILOC:DESCRIPTION", 255, 100), str("ILOC:CATEGORY", 355, 30),
                    dec("ILOC:RATING", 385, 2, 0), str("ILOC:KEYWORD", 387, 10)};
        s.memos = {{"ILOC:SITEINFO", 1000}};
        s.keys = {{"ILOC:K_LOCATION", 6, {1}},
                  {"ILOC:K_DESCRIPTION", 7, {2}},
                  {"ILOC:K_CATEGORY", 5, {3, 2}},
                  {"ILOC:K_CATEGORYLOCATION", 7, {3, 1}},
                  {"ILOC:K_RATING", 5, {-4, 2, 1}},
                  {"ILOC:K_KEYWORD", 5, {5, 2, 1}}};
    }
    return s;
}

FileSpec textFile(std::string_view label, std::string_view prefix, std::string_view field, std::string* name,
                  uint32_t nameLength, uint32_t attributes, uint32_t size) {
    FileSpec s;
    s.driver = "ASCII";
    s.label = label;
    s.prefix = prefix;
    s.name = {{}, name, nameLength};
    s.attributes = attributes;
    s.recordSize = size;
    s.fields = {str(field, 0, size)};
    return s;
}

FileSpec categories() {
    FileSpec s;
    s.driver = "VELOX";
    s.label = "Categories";
    s.prefix = "CAT";
    s.name = {"URL_C"};
    s.attributes = kDataAttrs;
    s.recordSize = 31;
    s.fields = {str("CAT:CATEGORY", 0, 30), byt("CAT:FLAG", 30)};
    s.memos = {{"CAT:DESCRIPTION", 1000}};
    s.keys = {{"CAT:K_CATEGORY", 6, {1}}};
    return s;
}

FileSpec catHtml() {
    FileSpec s;
    s.driver = "VELOX";
    s.label = "CatHTML";
    s.prefix = "HTM";
    s.name = {"URL_H"};
    s.attributes = kDataAttrs;
    s.recordSize = 60;
    s.fields = {str("HTM:CATEGORY", 0, 30), str("HTM:TYPEOFHTML", 30, 30)};
    s.memos = {{"HTM:HTMLTOADD", 1000}};
    s.keys = {{"HTM:KEYCATEGORYHTML", 22, {1, 2}}};
    return s;
}

FileSpec history() {
    FileSpec s;
    s.driver = "VELOX";
    s.label = "History";
    s.prefix = "HIS";
    s.name = {"URL_Y"};
    s.attributes = kDataAttrs;
    s.recordSize = 273;
    s.fields = {str("HIS:TYPE", 0, 10), str("HIS:FIELDCONTENTS", 10, 255), lng("HIS:DATE", 265),
                lng("HIS:TIME", 269)};
    s.keys = {{"HIS:KEYTYPE", 6, {1, -3, -4, 2}}};
    return s;
}

FileSpec oldLocations() {
    FileSpec s;
    s.driver = "VELOX";
    s.label = "OldSITEDX";
    s.prefix = "OL";
    s.name = {"SITEDX"};
    s.attributes = kDataAttrs;
    s.recordSize = 215;
    s.fields = {str("OL:LOCATION", 0, 128), str("OL:DESCRIPTION", 128, 60), str("OL:CATEGORY", 188, 15),
                dec("OL:RATING", 203, 2, 0), str("OL:KEYWORD", 205, 10)};
    s.memos = {{"OL:SITEINFO", 500}};
    s.keys = {{"OL:K_LOCATION", 6, {1}},
              {"OL:K_DESCRIPTION", 7, {2}},
              {"OL:K_CATEGORY", 5, {3, 1}},
              {"OL:K_RATING", 5, {4, 1}},
              {"OL:K_KEYWORD", 5, {5, 1}}};
    return s;
}

FileSpec oldCatHtml() {
    FileSpec s;
    s.driver = "VELOX";
    s.label = "OldCatHTML";
    s.prefix = "OH";
    s.name = {"CATHTML"};
    s.attributes = kDataAttrs;
    s.recordSize = 45;
    s.fields = {str("OH:CATEGORY", 0, 15), str("OH:TYPEOFHTML", 15, 30)};
    s.memos = {{"OH:HTMLTOADD", 1000}};
    s.keys = {{"OH:KEYCATEGORYHTML", 22, {1, 2}}};
    return s;
}

FileSpec oldCategories() {
    FileSpec s;
    s.driver = "VELOX";
    s.label = "OldCategories";
    s.prefix = "OC";
    s.name = {"CATEGORI"};
    s.attributes = kDataAttrs;
    s.recordSize = 15;
    s.fields = {str("OC:CATEGORY", 0, 15)};
    s.keys = {{"OC:K_CATEGORY", 6, {1}}};
    return s;
}

}  // namespace

FileDecl SITEDX(locationsLayout("SITEDX", "URL", {"URL_L"}, false));
FileDecl Categories(categories());
FileDecl CatHTML(catHtml());
FileDecl History(history());
FileDecl OldLocations(oldLocations());
FileDecl OldCatHTML(oldCatHtml());
FileDecl OldCategories(oldCategories());
FileDecl ImportSource(locationsLayout("ImportLocations", "ILOC", {{}, &NameAscii, 255}, true));
FileDecl OutputText(textFile("OutFile", "OUT", "OUT:LINE", &NameExport, 255, kDataAttrs, 512));
FileDecl InputText(textFile("AsciiFile", "ASC", "ASC:LINE", &NameAscii, 255, kDataAttrs, 512));
FileDecl WhatsNewText(textFile("WhatsNewFile", "ASC1", "", &NameWhatsNew, 80, 0, 255));
FileDecl ExportHelpText(textFile("ExportHelpFile", "ASC1", "", &NameExportHelp, 80, 0, 255));
FileDecl ImportHelpText(textFile("ImportHelpFile", "ASC1", "", &NameImportHelp, 80, 0, 255));

namespace {

constexpr size_t kSharedFiles = 10;
FileDecl* const kShared[kSharedFiles] = {&SITEDX,        &Categories,   &CatHTML,    &History,    &OldLocations,
                                          &OldCatHTML,    &OldCategories, &ImportSource, &OutputText, &InputText};

runtime::PerThread<std::array<int32_t, kSharedFiles>>& counts() {
    static runtime::PerThread<std::array<int32_t, kSharedFiles>> c;
    return c;
}

void forgetCounts(int threadNumber) { counts().reset(threadNumber); }

}  // namespace

int32_t& useCount(FileDecl& file) {
    static bool hooked = (runtime::addThreadEndHook(forgetCounts), true);
    (void)hooked;
    for (size_t i = 0; i < kSharedFiles; ++i)
        if (kShared[i] == &file) return counts().current()[i];
    static int32_t none = 0;
    none = 0;
    return none;
}

void useFile(FileDecl& file) {
    int32_t& n = useCount(file);
    if (n == 0) OpenDataFile(file, true);
    ++n;
}

void releaseFile(FileDecl& file) {
    int32_t& n = useCount(file);
    if (n <= 0) return;
    if (--n == 0) close(file);
}

namespace {

// Another program holds the file for a change of its own (the driver waits for it only briefly):
// the user is told, and may wait once more or give up.
bool retryWhileInUse(const FileDecl& file, int32_t result) {
    if (result != kErrAlreadyLocked) return false;
    std::string text = std::string(file.name()) +
                       " is in use: another program is changing it.  Retry to wait for it once more, or Cancel.";
    return runtime::messageBox(text, "File In Use", runtime::kIconExclamation,
                               runtime::kButtonRetry | runtime::kButtonCancel,
                               runtime::kButtonRetry) == runtime::kButtonRetry;
}

}  // namespace

void OpenDataFile(FileDecl& file, bool mayCreate) {
    int32_t r = open(file, kModeShared);
    if (r == kErrAlreadyLocked) {
        send(file, "Recover=10");
        r = open(file, kModeShared);
    }
    while (retryWhileInUse(file, r)) r = open(file, kModeShared);
    switch (r) {
    case 0:
    case kErrAlreadyOpen: return;
    case kErrFileNotFound:
        if (!mayCreate) {
            ShowWarning(22, file.name());
            return;
        }
        // Another program may be making the same file at this moment: whatever it has made (and
        // added to) is kept, never emptied.
        r = createIfMissing(file);
        while (retryWhileInUse(file, r)) r = createIfMissing(file);
        if (r != 0) ShowWarning(4, file.name());
        r = open(file, kModeShared);
        while (retryWhileInUse(file, r)) r = open(file, kModeShared);
        if (r != 0) ShowWarning(5, file.name());
        r = 0;
        break;
    case kErrInvalidDeclaration: ShowWarning(1, file.name()); break;
    case kErrRebuildKeys:
        ShowWarning(2, file.name());  // "No" ends the program
        if (build(file) != 0) ShowWarning(3, file.name());
        r = open(file, kModeShared);
        break;
    default: break;
    }
    if (r != 0) {
        ShowWarning(30, file.name());
        runtime::haltProgram("Disk Error");
    }
}

}  // namespace sitedex::data
