#pragma once
// Text that comes into the program from outside (documents being imported, the clipboard) turned
// into what the program stores: valid UTF-8 with HTML character references resolved.
//
// Bytes: text that is valid UTF-8 is kept as it is; anything else is read as Windows-1252, the
// code page older exports and documents were written in (its bytes 80-9F hold curly quotes, the
// euro and the like; ISO-8859-1 text reads the same way). So the result is always valid UTF-8 and
// no byte of the input is dropped. A document read in pieces (lines) decides once: the first piece
// that is not valid UTF-8 makes the rest of the document Windows-1252 too, so a later piece that
// happens to look like UTF-8 ("Ã©") is not taken apart differently from its neighbours.
//
// Character references, decoded as web browsers decode them:
//   - named references from the full HTML table ("&amp;", "&eacute;", "&NotEqualTilde;"), the
//     longest name that matches; the old names the table also lists without their semicolon
//     ("&amp", "&copy", "&eacute") count without it as well;
//   - inside an attribute value, a reference without its semicolon that is followed by a letter, a
//     digit or "=" stays as written, so "?id=1&region=eu" and "&note=" in an address are not
//     turned into "®ion=" or "¬e=";
//   - numeric references ("&#39;", "&#x2019;"), with the browsers' replacements: 0, surrogates and
//     values past U+10FFFF give U+FFFD, and 80-9F give the Windows-1252 character of that byte;
//   - an "&" that starts no reference stays as it is.
//
// Callers: any layer (no Qt, no data files); the document import and the clipboard monitor.

#include <string>
#include <string_view>

namespace sitedex::runtime {

bool isValidUtf8(std::string_view bytes);

// Every byte read as Windows-1252 (the five bytes it leaves undefined become U+0081, U+008D,
// U+008F, U+0090, U+009D, as browsers read them).
std::string windows1252ToUtf8(std::string_view bytes);

// The text as valid UTF-8: kept when it is UTF-8 already, else read as Windows-1252.
std::string toUtf8(std::string_view bytes);

// Decodes a document piece by piece (see above). A UTF-8 byte order mark at the very start of the
// document is dropped.
class DocumentDecoder {
public:
    // The piece as UTF-8: a view of `piece` itself when nothing needed changing, else of `scratch`.
    std::string_view decode(std::string_view piece, std::string& scratch);
    // True once the document is being read as Windows-1252.
    bool readsWindows1252() const { return m_windows1252; }

private:
    bool m_started = false;
    bool m_windows1252 = false;
};

enum class ReferenceContext {
    kText,       // element text: every reference is decoded
    kAttribute,  // an attribute value: the rule for references without semicolon above
};

// The text with its character references decoded. The text should be valid UTF-8 (what the
// references add always is).
std::string decodeCharacterReferences(std::string_view text, ReferenceContext context);
void appendDecodedReferences(std::string& out, std::string_view text, ReferenceContext context);

// Replaces control characters (C0 controls, DEL and the C1 controls U+0080-U+009F) with blanks, so
// that text meant for one line stays on one. With keepLineBreaks, a line feed stays (a CR LF pair
// becomes a line feed), for texts of several lines.
// REQUIRES: text is valid UTF-8.
void replaceControlCharacters(std::string& text, bool keepLineBreaks = false);

}  // namespace sitedex::runtime
