#pragma once
// The text driver's instance and its option requests (shared by the driver's source files).
//
// Callers: drivers/text only.

#include "data/driver.h"
#include "drivers/text/buffered_file.h"
#include "drivers/text/line_scan.h"

#include <string>
#include <string_view>
#include <vector>

namespace sitedex::text {

constexpr int kTabKeep = -100;

class TextInstance : public data::DriverInstance {
public:
    BufferedFile file;
    int64_t recordStart = 0;     // byte offset of the line last read or written
    int64_t recordLength = 0;    // bytes that line took, terminator and skipped overflow included
    int64_t fileSize = 0;        // cached size
    int64_t nextRead = 1;        // 1-based position of the next read
    std::string terminator = "\r\n";
    StopBytes stop = stopBytesFor(13);  // the line reader's stop bytes, remade when the terminator changes
    int tabWidth = 8;
    bool clip = true;
    bool ctrlZTested = false;
    int lockCount = 0;
    std::vector<char> conversion;  // OEM conversion buffer (declarations with attribute 32)
    bool recordRead = false;
    bool shared = false;
    bool readOnly = false;
    bool isOpen = false;
};

// Applies one option request ("NAME" or "NAME=VALUE") and returns the answer: the value before the
// change, or empty for an unknown name.
std::string optionRequest(TextInstance& in, std::string_view request);

}  // namespace sitedex::text
