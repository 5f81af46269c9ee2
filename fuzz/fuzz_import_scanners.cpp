// Fuzzing the three document scanners of the import: any bytes, read as the import reads a document
// (split at LF, CR LF or CR, decoded to UTF-8), scanned as HTML, as a comma file and as plain text.
// Nothing may crash, hang or grow without bound, and everything handed out is valid UTF-8 of bounded
// size, one-line fields without control characters. The character-reference decoder is checked on
// the same bytes.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/import/scanner.h"
#include "runtime/text_decoding.h"

using namespace sitedex;
using app::importing::DocumentType;
using app::importing::ScannedLink;

namespace {

void require(bool ok) {
    if (!ok)
        std::abort();
}

bool oneLineText(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

void checkLink(const ScannedLink& l) {
    for (const std::string* s : {&l.location, &l.description, &l.siteInfo, &l.categoryGuess, &l.categoryDescription}) {
        require(runtime::isValidUtf8(*s));
        require(s->size() <= app::importing::kLongestText + 4);
    }
    require(oneLineText(l.location) && oneLineText(l.description) && oneLineText(l.categoryGuess));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (auto context : {runtime::ReferenceContext::kText, runtime::ReferenceContext::kAttribute}) {
        const std::string text = runtime::toUtf8(bytes);
        require(runtime::isValidUtf8(runtime::decodeCharacterReferences(text, context)));
    }
    for (DocumentType type : {DocumentType::kHtml, DocumentType::kComma, DocumentType::kText}) {
        auto scanner = app::importing::makeScanner(type);
        runtime::DocumentDecoder decoder;
        std::string scratch;
        std::vector<ScannedLink> out;
        size_t start = 0;
        while (start < bytes.size()) {
            size_t end = bytes.find_first_of("\r\n", start);
            if (end == std::string_view::npos)
                end = bytes.size();
            const std::string_view line = decoder.decode(bytes.substr(start, end - start), scratch);
            require(runtime::isValidUtf8(line));
            scanner->scanLine(line, out);
            start = end + 1;
            if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n')
                ++start;
        }
        scanner->finish(out);
        for (const ScannedLink& l : out)
            checkLink(l);
    }
    return 0;
}
