#include "runtime/text_decoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/text_decoding_table.h"

namespace sitedex::runtime {

namespace {

// The characters of Windows-1252 bytes 80-9F (0 where the code page defines none: the byte stands
// for the C1 control of the same number).
constexpr uint16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

// Length of the valid UTF-8 sequence at p[0..n), 0 when the bytes there are not one.
size_t sequenceLength(const unsigned char* p, size_t n) {
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    auto cont = [&](size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
    if (b >= 0xC2 && b <= 0xDF)
        return cont(1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (b == 0xE0 && p[1] < 0xA0)
            return 0;  // overlong
        if (b == 0xED && p[1] > 0x9F)
            return 0;  // surrogates
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if (b == 0xF0 && p[1] < 0x90)
            return 0;  // overlong
        if (b == 0xF4 && p[1] > 0x8F)
            return 0;  // past U+10FFFF
        return 4;
    }
    return 0;
}

bool isAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

const detail::NamedReference* findName(std::string_view name) {
    const detail::NamedReference* first = detail::kNamedReferences;
    const detail::NamedReference* last = first + detail::kNamedReferenceCount;
    const detail::NamedReference* it = std::lower_bound(
        first, last, name,
        [](const detail::NamedReference& r, std::string_view n) { return std::string_view(r.name) < n; });
    return it != last && std::string_view(it->name) == name ? it : nullptr;
}

// The numeric reference at text[at] (just after "&#"). Appends its character and returns the
// length consumed after "&#", or 0 when there are no digits (the text then stays as written).
size_t decodeNumeric(std::string& out, std::string_view text, size_t at) {
    size_t i = at;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex)
        ++i;
    const size_t digitsStart = i;
    uint32_t value = 0;
    bool tooBig = false;
    for (; i < text.size() && (hex ? isHexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9')); ++i) {
        const char c = text[i];
        const uint32_t d = c <= '9' ? uint32_t(c - '0') : uint32_t((c | 0x20) - 'a' + 10);
        if (!tooBig) {
            value = value * (hex ? 16 : 10) + d;
            if (value > 0x10FFFF)
                tooBig = true;
        }
    }
    if (i == digitsStart)
        return 0;
    if (i < text.size() && text[i] == ';')
        ++i;
    uint32_t c = value;
    if (tooBig || value == 0 || (value >= 0xD800 && value <= 0xDFFF)) {
        c = 0xFFFD;
    } else if (value >= 0x80 && value <= 0x9F && kHigh1252[value - 0x80] != 0) {
        c = kHigh1252[value - 0x80];
    }
    appendUtf8(out, c);
    return i - at;
}

// The named reference at text[at] (just after "&"). Appends its characters and returns the length
// of the name consumed, or 0 when the text there stays as written.
size_t decodeNamed(std::string& out, std::string_view text, size_t at, ReferenceContext context) {
    size_t run = 0;
    while (at + run < text.size() && isAsciiAlnum(text[at + run]))
        ++run;
    if (run == 0)
        return 0;
    const size_t longest = detail::kLongestReferenceName - 1;  // without its semicolon
    // A name with its semicolon takes the whole run of letters and digits; only the old names,
    // which need no semicolon, can match a shorter part of it.
    if (run <= longest && at + run < text.size() && text[at + run] == ';') {
        if (const auto* r = findName(text.substr(at, run + 1))) {
            out += r->utf8;
            return run + 1;
        }
    }
    for (size_t len = std::min(run, longest); len >= 2; --len) {
        const auto* r = findName(text.substr(at, len));
        if (!r)
            continue;
        if (context == ReferenceContext::kAttribute && at + len < text.size() &&
            (isAsciiAlnum(text[at + len]) || text[at + len] == '='))
            return 0;
        out += r->utf8;
        return len;
    }
    return 0;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        // Runs of ASCII eight bytes at a time: most documents are mostly ASCII.
        while (i + 8 <= n) {
            uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (w & 0x8080808080808080ull)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t len = sequenceLength(p + i, n - i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out.push_back(ch);
        } else if (b < 0xA0) {
            const uint16_t c = kHigh1252[b - 0x80];
            appendUtf8(out, c ? c : b);
        } else {
            appendUtf8(out, b);
        }
    }
    return out;
}

std::string toUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes))
        return std::string(bytes);
    return windows1252ToUtf8(bytes);
}

std::string_view DocumentDecoder::decode(std::string_view piece, std::string& scratch) {
    if (!m_started) {
        m_started = true;
        if (piece.substr(0, 3) == "\xEF\xBB\xBF")
            piece.remove_prefix(3);
    }
    if (!m_windows1252 && isValidUtf8(piece))
        return piece;
    m_windows1252 = true;
    scratch = windows1252ToUtf8(piece);
    return scratch;
}

void appendDecodedReferences(std::string& out, std::string_view text, ReferenceContext context) {
    size_t from = 0;
    for (;;) {
        const size_t amp = text.find('&', from);
        if (amp == std::string_view::npos)
            break;
        out.append(text.substr(from, amp - from));
        size_t used = 0;
        if (amp + 1 < text.size() && text[amp + 1] == '#') {
            used = decodeNumeric(out, text, amp + 2);
            if (used)
                used += 1;  // the "#"
        } else {
            used = decodeNamed(out, text, amp + 1, context);
        }
        if (used == 0) {
            out.push_back('&');
            from = amp + 1;
        } else {
            from = amp + 1 + used;
        }
    }
    out.append(text.substr(from));
}

std::string decodeCharacterReferences(std::string_view text, ReferenceContext context) {
    std::string out;
    if (text.find('&') == std::string_view::npos)
        return std::string(text);
    out.reserve(text.size());
    appendDecodedReferences(out, text, context);
    return out;
}

void replaceControlCharacters(std::string& text, bool keepLineBreaks) {
    std::string out;
    bool changed = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '\r' && keepLineBreaks) {
            // CR LF and a lone CR both end a line.
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out.push_back('\n');
            changed = true;
        } else if (b == '\n' && keepLineBreaks) {
            out.push_back('\n');
        } else if (b < 0x20 || b == 0x7F) {
            out.push_back(' ');
            changed = true;
        } else if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out.push_back(' ');
            ++i;
            changed = true;
        } else {
            out.push_back(char(b));
        }
    }
    if (changed)
        text = std::move(out);
}

}  // namespace sitedex::runtime
