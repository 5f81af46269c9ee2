#include "data/error_state.h"

#include <cerrno>
#include <charconv>
#include <map>
#include <vector>

namespace sitedex::data {

namespace {

// The program's message table: data access, system errors (300 + n), fatal runtime errors, the window
// library, DDE and the expression evaluator. Texts are exact, trailing blanks included.
const std::map<int32_t, std::string_view>& messages() {
    static const std::map<int32_t, std::string_view> table = {
        {2, "File Not Found"},
        {3, "Path Not Found"},
        {4, "Too Many Open Files"},
        {5, "Access Denied"},
        {7, "Memory Corrupted"},
        {8, "Insufficient Memory"},
        {30, "Entry Not Found"},
        {32, "File Is Already Locked"},
        {33, "Record Not Available"},
        {35, "Record Not Found"},
        {36, "Invalid Data File"},
        {37, "File Not Open"},
        {38, "Invalid Key File"},
        {40, "Creates Duplicate Key"},
        {43, "Record Is Already Held"},
        {45, "Invalid Filename"},
        {46, "Key File Must Be Rebuilt"},
        {47, "Invalid Record Declaration"},
        {48, "Unable To Log Transaction"},
        {52, "File Already Open"},
        {53, "Invalid Karst File"},
        {54, "No Create Attribute"},
        {55, "File Must Be Shared"},
        {56, "LOGOUT Already Active"},
        {57, "Invalid Memo File"},
        {63, "Exclusive Access Required"},
        {64, "Sharing Violation"},
        {65, "Unable To ROLLBACK Transaction"},
        {73, "Memo File Missing"},
        {75, "Invalid Field Type Descriptor"},
        {76, "Invalid Index String"},
        {77, "Unable To Access Index"},
        {78, "Invalid Number Of Parameters "},
        {79, "Unsupported Data Type In File"},
        {80, "Unsupported File Driver Function"},
        {81, "Unknown Error Posted"},
        {88, "Invalid Key Length"},
        {89, "Record Changed By Another Station"},
        {301, "Invalid Function"},
        {302, "File Not Found"},
        {303, "Path Not Found"},
        {304, "Too Many Open Files"},
        {305, "Access Denied"},
        {306, "Invalid Handle"},
        {307, "Memory Corrupted"},
        {308, "Insufficient Memory"},
        {309, "Invalid Memory Block"},
        {310, "Invalid Environment"},
        {311, "Invalid Format"},
        {312, "Invalid Access"},
        {313, "Invalid Data"},
        {315, "Invalid Drive"},
        {316, "Invalid Operation For Current Directory"},
        {317, "Not Same Device"},
        {318, "No More Files"},
        {319, "Write Protect"},
        {320, "Invalid Unit"},
        {321, "Device Not Ready"},
        {322, "Invalid Command"},
        {323, "Media Checksum Failed"},
        {324, "Invalid Length"},
        {325, "Seek Location Inaccessible"},
        {326, "Not DOS Disk"},
        {327, "Sector Not Found"},
        {328, "Out Of Paper"},
        {329, "Write Fault"},
        {330, "Read Fault"},
        {331, "General Failure"},
        {332, "Sharing Violation"},
        {333, "Lock Violation"},
        {334, "Wrong Disk"},
        {335, "FCB Unavailable"},
        {336, "Sharing Buffer Exceeded"},
        {337, "Code Page Mismatched"},
        {338, "Handle EOF"},
        {339, "Handle Disk Full"},
        {350, "Not Supported "},
        {351, "REM Not List"},
        {352, "Duplicate Name Encountered"},
        {353, "Invalid Network Path"},
        {354, "Network Busy"},
        {355, "Device Does Not Exist"},
        {356, "Too Many Commands"},
        {357, "Adapter/Hardware Failure"},
        {358, "Invalid Network Response"},
        {359, "Unexpected Network Error"},
        {360, "Invalid REM Adapter"},
        {361, "Print Queue Full"},
        {362, "No Spool Space"},
        {363, "Print Cancelled"},
        {364, "Network Name Deleted"},
        {365, "Network Access Denied"},
        {366, "Invalid Device Type"},
        {367, "Invalid Network Name"},
        {368, "Too Many Names"},
        {369, "Too Many Sessions"},
        {370, "Sharing Paused"},
        {371, "Request Not Accepted"},
        {372, "Network Redirection Paused"},
        {380, "File Already Exists"},
        {381, "Duplicate FCB"},
        {382, "Cannot Make"},
        {383, "Fail Critical Error"},
        {384, "Out Of Structures"},
        {385, "Already Assigned"},
        {386, "Invalid Password"},
        {387, "Invalid Parameter"},
        {388, "Network Write Fault"},
        {390, "System Component Not Loaded"},
        {391, "Unknown Error"},
        {401, "Stack overflow"},
        {402, "Null pointer de-reference"},
        {403, "Termination caused by signal.  (User break or Floating point)"},
        {404, "Arithmetic Overflow"},
        {405, "Variable out of range"},
        {406, "No return value from function"},
        {407, "No matching Case Label"},
        {408, "Long Integer Divide By Zero"},
        {409, "Index out of range"},
        {410, "Pure Virtual Function Called"},
        {501, "Internal error 01"},
        {502, "Internal error 02"},
        {503, "Internal error 03"},
        {504, "Internal error 04"},
        {505, "Internal error 05"},
        {506, "Internal error 06"},
        {507, "Internal error 07"},
        {508, "Internal error 08"},
        {509, "Internal error 09"},
        {510, "Internal error 10"},
        {511, "Internal error 11"},
        {512, "Internal error 12"},
        {513, "Internal error 13"},
        {514, "Internal error 14"},
        {515, "Internal error 15"},
        {520, "Mismatch with KXVBX.DLL detected"},
        {521, "VBX control is too complex"},
        {522, "Event posted to a report control"},
        {523, "Metafile record too large in report"},
        {524, "Unexpected error opening printer device"},
        {525, "Report is already open"},
        {526, "Unable to open APPLICATION (APPLICATION already active)"},
        {527, "Unable to open APPLICATION (system is MODAL)"},
        {528, "Unable to open APPLICATION"},
        {529, "Unable to open WINDOW"},
        {530, "Unable to open MDI window (No APPLICATION active)"},
        {531, "Unable to open MDI window (system is MODAL)"},
        {532, "Unable to open MDI window on APPLICATION's thread"},
        {533, "Unable to open MDI WINDOW"},
        {534, "Too many keystrokes PRESSed"},
        {535, "Window is already open"},
        {536, "Window is not open"},
        {537, "ACCEPT loop requires a window"},
        {538, "PRINT must only be called for reports"},
        {539, "ENDPAGE must only be called for reports"},
        {540, "Unable to process ACCEPT (system is MODAL)"},
        {541, "Unable to create control (system is MODAL)"},
        {542, "Unable to complete operation (system is MODAL)"},
        {543, "Slider controls are only available in 32-bit programs"},
        {544, "Too Many VBX Hooks"},
        {601, "Invalid DDE channel"},
        {602, "DDE channel is not open"},
        {603, "DDEexecute - invalid command"},
        {604, "DDEpoke - invalid command"},
        {605, "DDE transaction timed out"},
        {800, "Invalid expression for EVALUATE"},
        {801, "No BIND on variable"},
        {802, "Mismatched PUSHSCOPE/POPSCOPE"},
    };
    return table;
}

constexpr size_t kTextWidth = 80;
constexpr size_t kTextMax = 79;
constexpr size_t kDriverTextMax = 80;

struct Saved {
    int32_t code;
    int systemError;
    std::string text;
};

struct State {
    int32_t code = 0;
    std::string text;
    const FileDecl* file = nullptr;
    int systemError = 0;
    std::string driverCode;
    std::string driverText;
    std::vector<Saved> stack;
};

State g_state;
State& state() { return g_state; }

std::string clipRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return std::string(s.substr(0, n));
}

}  // namespace

bool hasMessage(int32_t code) { return messages().count(code) != 0; }

std::string errorTextFor(int32_t code) {
    auto it = messages().find(code);
    if (it != messages().end()) return std::string(it->second);
    return std::string(messages().at(kErrUnknown)) + " : " + std::to_string(code);
}

int systemErrorFromErrno(int err) {
    switch (err) {
    case 0: return 0;
    case ENOENT: return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EROFS: return 19;  // Write Protect
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY: return 5;
    case EBADF: return 6;
    case ENOMEM: return 8;
    case EXDEV: return 17;
    case EAGAIN:
    case EDEADLK: return 33;
    case ENOSPC:
    case EDQUOT: return 39;
    case ENOSYS:
    case EOPNOTSUPP: return 50;
    case EEXIST: return 80;
    case EINVAL: return 87;
    case EIO: return 31;
    case EFBIG:
    case EOVERFLOW: return 24;
    default: return 31;  // General Failure
    }
}

bool detail::g_errorStateTouched = false;

void detail::clearErrorStateNow() {
    State& s = state();
    s.code = 0;
    s.file = nullptr;
    s.text.clear();
    s.driverCode.clear();
    s.driverText.clear();
    g_errorStateTouched = false;
}

void postError(int32_t code, int systemError) {
    State& s = state();
    int sys = systemError >= 0 ? systemError : systemErrorFromErrno(errno);
    if (code == 0) code = kErrSystemBase + sys;
    std::string text = errorTextFor(code);
    size_t lead = text.find_first_not_of(' ');
    text = lead == std::string::npos ? std::string() : text.substr(lead);
    if (text.size() > kTextMax) text.resize(kTextMax);
    s.code = code;
    s.text = std::move(text);
    s.systemError = sys;
    detail::g_errorStateTouched = true;
}

void setFileInError(const FileDecl* file) {
    state().file = file;
    detail::g_errorStateTouched = true;
}

void setDriverError(std::string_view codeText, std::string_view text) {
    state().driverCode = std::string(codeText.substr(0, kDriverTextMax));
    state().driverText = std::string(text.substr(0, kDriverTextMax));
    detail::g_errorStateTouched = true;
}

int32_t errorCode() { return state().code; }
std::string errorText() { return state().text; }
std::string errorTextPadded() {
    std::string t = state().text;
    t.resize(kTextWidth, ' ');
    return t;
}
const FileDecl* errorFile() { return state().file; }
int systemError() { return state().systemError; }
std::string driverErrorCodeText() { return clipRight(state().driverCode); }
std::string driverErrorText() { return clipRight(state().driverText); }

int32_t driverErrorCode() {
    std::string t = driverErrorCodeText();
    size_t lead = t.find_first_not_of(' ');
    if (lead == std::string::npos) return 0;
    int32_t v = 0;
    std::from_chars(t.data() + lead, t.data() + t.size(), v);
    return v;
}

void saveErrorState() {
    State& s = state();
    s.stack.push_back({s.code, s.systemError, s.text});
}

void restoreErrorState() {
    State& s = state();
    if (s.stack.empty()) return;
    Saved saved = std::move(s.stack.back());
    s.stack.pop_back();
    s.code = saved.code;
    s.systemError = saved.systemError;
    s.text = std::move(saved.text);
    detail::g_errorStateTouched = true;
}

}  // namespace sitedex::data
