#include "app/export/writer.h"

#include <array>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/pictures.h"

namespace sitedex::app::exporting {

namespace {

std::string_view clipped(std::string_view text, std::string_view blanks = " ") {
    const size_t end = text.find_last_not_of(blanks);
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

struct SnippetFields {
    data::FieldRef category = data::findField("HTM:CATEGORY");
    data::FieldRef type = data::findField("HTM:TYPEOFHTML");
    data::KeyDecl* key = data::CatHTML.findKey("HTM:KEYCATEGORYHTML");
};
const SnippetFields& snippetFields() {
    static const SnippetFields f;
    return f;
}

// A snippet without the white space at its end, so that it never adds an empty line.
std::string snippetText() {
    return std::string(clipped(data::CatHTML.memo(0), " \t\r\n"));
}

// Bytes that go into a link as they are; every other byte below 0x80 is percent-encoded. Bytes of
// UTF-8 characters stay, as browsers take them.
constexpr std::array<bool, 128> linkSafe() {
    std::array<bool, 128> safe{};
    for (char c : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$&'()*+,;=:@/"))
        safe[size_t(c)] = true;
    return safe;
}
constexpr std::array<bool, 128> kLinkSafe = linkSafe();

template <bool kAttribute>
void appendEscaped(std::string& out, std::string_view text) {
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char* replacement;
        switch (c) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '"':
                if (!kAttribute)
                    continue;
                replacement = "&quot;";
                break;
            default:
                continue;
        }
        out.append(text.data() + run, i - run);
        out.append(replacement);
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

}  // namespace

std::string_view snippetTypeText(Snippet s) {
    switch (s) {
        case Snippet::kReplaceTitle:
            return "Replace Title";
        case Snippet::kBeforeCategory:
            return "Before Category";
        case Snippet::kBeforeCategoryTitle:
            return "Before Category Title";
        case Snippet::kAfterCategoryTitle:
            return "After Category Title";
        case Snippet::kAfterCategory:
            return "After Category";
    }
    return {};
}

std::string WriterContext::snippet(std::string_view category, Snippet type) {
    const SnippetFields& f = snippetFields();
    data::CatHTML.clear();
    data::setString(f.category, category);
    data::setString(f.type, snippetTypeText(type));
    if (data::get(data::CatHTML, *f.key) != 0) {
        data::CatHTML.clear();
        return {};
    }
    return snippetText();
}

std::vector<std::string> WriterContext::pageSnippets(std::string_view category, bool skipReplaceTitle) {
    const SnippetFields& f = snippetFields();
    std::vector<std::string> found;
    data::CatHTML.clear();
    data::setString(f.category, category);
    if (data::set(*f.key, *f.key) != 0)
        return found;
    while (data::next(data::CatHTML) == 0) {
        if (!data::sameName(data::getString(f.category), category))
            break;
        if (skipReplaceTitle && data::getString(f.type).starts_with("Replace"))
            continue;
        std::string text = snippetText();
        if (!text.empty())
            found.push_back(std::move(text));
    }
    return found;
}

std::string WriterContext::dateText() const {
    return runtime::format("@d4", double(m_options.date));
}

void appendHtmlText(std::string& out, std::string_view text) {
    appendEscaped<false>(out, text);
}
void appendHtmlAttribute(std::string& out, std::string_view text) {
    appendEscaped<true>(out, text);
}

void appendFileLink(std::string& out, std::string_view fileName) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string link;
    for (char c : fileName) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || kLinkSafe[b]) {
            link += c;
        } else {
            link += '%';
            link += kHex[b >> 4];
            link += kHex[b & 15];
        }
    }
    appendHtmlAttribute(out, link);
}

void appendNumber(std::string& out, int value) {
    out += std::to_string(value);
}

}  // namespace sitedex::app::exporting
