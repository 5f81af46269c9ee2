#include "app/clipboard/html_text.h"

namespace sitedex::app::clipboard {

namespace {

bool isSpaceAt(std::string_view text, size_t at, size_t& length) {
    const char c = text[at];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        length = 1;
        return true;
    }
    if (static_cast<unsigned char>(c) == 0xC2 && at + 1 < text.size() &&
        static_cast<unsigned char>(text[at + 1]) == 0xA0) {
        length = 2;  // no-break space
        return true;
    }
    return false;
}

}  // namespace

std::string withoutTags(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool inTag = false;
    for (char c : text) {
        if (inTag) {
            if (c == '>')
                inTag = false;
        } else if (c == '<') {
            inTag = true;
        } else {
            out += c;
        }
    }
    return out;
}

std::string foldWhiteSpace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool pendingBlank = false;
    for (size_t i = 0; i < text.size();) {
        size_t length = 0;
        if (isSpaceAt(text, i, length)) {
            pendingBlank = !out.empty();
            i += length;
            continue;
        }
        if (pendingBlank)
            out += ' ';
        pendingBlank = false;
        out += text[i++];
    }
    return out;
}

}  // namespace sitedex::app::clipboard
