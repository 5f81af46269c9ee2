#include "app/import/scanner.h"

#include "app/import/comma_scanner.h"
#include "app/import/html_scanner.h"
#include "app/import/text_scanner.h"
#include "runtime/text_decoding.h"

namespace sitedex::app::importing {

std::unique_ptr<DocumentScanner> makeScanner(DocumentType type) {
    switch (type) {
        case DocumentType::kHtml:
            return std::make_unique<HtmlScanner>();
        case DocumentType::kComma:
            return std::make_unique<CommaScanner>();
        case DocumentType::kText:
            return std::make_unique<TextScanner>();
    }
    return std::make_unique<TextScanner>();
}

std::string_view trimmed(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view utf8Start(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    size_t n = maxBytes;
    // Not inside a character: back off over continuation bytes.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}

void appendBounded(std::string& out, std::string_view text) {
    if (out.size() >= kLongestText)
        return;
    out.append(utf8Start(text, kLongestText - out.size()));
}

std::string oneLine(std::string text) {
    runtime::replaceControlCharacters(text);
    const std::string_view t = trimmed(text);
    if (t.size() == text.size())
        return text;
    return std::string(t);
}

}  // namespace sitedex::app::importing
