#include "app/clipboard/html_text.h"

#include <cstdint>

namespace sitedex::app::clipboard {

namespace {

// Windows-1252 at 0x80..0x9F; 0 where the code page has no character (the byte is then taken as the
// control character of the same number, as browsers do).
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The Latin-1 names of HTML, for U+00A0 to U+00FF in order.
constexpr const char* kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

struct NamedCharacter {
    const char* name;
    char32_t code;
};
// Beyond Latin-1: the names that turn up in the text of ordinary pages.
constexpr NamedCharacter kOtherNames[] = {
    {"quot", 0x22},     {"amp", 0x26},      {"apos", 0x27},     {"lt", 0x3C},       {"gt", 0x3E},
    {"OElig", 0x152},   {"oelig", 0x153},   {"Scaron", 0x160},  {"scaron", 0x161},  {"Yuml", 0x178},
    {"fnof", 0x192},    {"circ", 0x2C6},    {"tilde", 0x2DC},   {"ensp", 0x2002},   {"emsp", 0x2003},
    {"thinsp", 0x2009}, {"zwnj", 0x200C},   {"zwj", 0x200D},    {"lrm", 0x200E},    {"rlm", 0x200F},
    {"ndash", 0x2013},  {"mdash", 0x2014},  {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"sbquo", 0x201A},
    {"ldquo", 0x201C},  {"rdquo", 0x201D},  {"bdquo", 0x201E},  {"dagger", 0x2020}, {"Dagger", 0x2021},
    {"bull", 0x2022},   {"hellip", 0x2026}, {"permil", 0x2030}, {"prime", 0x2032},  {"Prime", 0x2033},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"euro", 0x20AC},   {"trade", 0x2122},  {"larr", 0x2190},
    {"rarr", 0x2192},   {"uarr", 0x2191},   {"darr", 0x2193},   {"harr", 0x2194},   {"minus", 0x2212},
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

char32_t namedCharacter(std::string_view name) {
    for (size_t i = 0; i < 96; ++i)
        if (name == kLatin1Names[i])
            return char32_t(0xA0 + i);
    for (const NamedCharacter& n : kOtherNames)
        if (name == n.name)
            return n.code;
    return 0;
}

bool isAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A numeric reference's character, as browsers read it.
char32_t numericCharacter(uint64_t n) {
    if (n >= 0x80 && n <= 0x9F && kWindows1252High[n - 0x80] != 0)
        return kWindows1252High[n - 0x80];
    if (n == 0 || n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF))
        return 0xFFFD;
    return char32_t(n);
}

// Reads the reference that starts at text[at] == '&'. On success appends its character, sets
// `length` to the bytes it takes and returns true.
bool readReference(std::string_view text, size_t at, std::string& out, size_t& length) {
    size_t i = at + 1;
    if (i < text.size() && text[i] == '#') {
        ++i;
        const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex)
            ++i;
        const size_t digits = i;
        uint64_t n = 0;
        for (; i < text.size(); ++i) {
            int v = hex ? hexValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
            if (v < 0)
                break;
            if (n <= 0x10FFFF)
                n = n * (hex ? 16 : 10) + uint64_t(v);  // past the range it stays past it
        }
        if (i == digits)
            return false;
        if (i < text.size() && text[i] == ';')
            ++i;
        appendUtf8(out, numericCharacter(n));
        length = i - at;
        return true;
    }
    size_t end = i;
    while (end < text.size() && end - i < 10 && isAsciiAlnum(text[end]))
        ++end;
    if (end >= text.size() || text[end] != ';' || end == i)
        return false;
    char32_t c = namedCharacter(text.substr(i, end - i));
    if (c == 0)
        return false;
    appendUtf8(out, c);
    length = end + 1 - at;
    return true;
}

// The length of the valid UTF-8 sequence at text[at], or 0.
size_t utf8SequenceAt(std::string_view text, size_t at) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4 || at + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((b(k) & 0xC0) != 0x80)
            return 0;
    if (c == 0xE0 && b(1) < 0xA0)
        return 0;  // overlong
    if (c == 0xED && b(1) >= 0xA0)
        return 0;  // surrogates
    if (c == 0xF0 && b(1) < 0x90)
        return 0;  // overlong
    if (c == 0xF4 && b(1) >= 0x90)
        return 0;  // past U+10FFFF
    return n;
}

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

bool isValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        size_t n = utf8SequenceAt(bytes, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string utf8FromClipboardBytes(std::string_view bytes) {
    if (isValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c < 0xA0 && kWindows1252High[c - 0x80] != 0)
            appendUtf8(out, kWindows1252High[c - 0x80]);
        else
            appendUtf8(out, c);
    }
    return out;
}

std::string decodeCharacterReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t length = 0;
        if (text[i] == '&' && readReference(text, i, out, length)) {
            i += length;
            continue;
        }
        out += text[i++];
    }
    // A reference may have stood for nothing valid; the result must still be UTF-8 throughout.
    return isValidUtf8(out) ? out : utf8FromClipboardBytes(out);
}

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
