#include "app/export/export_options.h"

#include "runtime/settings_file.h"

namespace sitedex::app::exporting {

using runtime::readSetting;
using runtime::settingNumber;
using runtime::settingText;
using runtime::writeSetting;

namespace {

struct TypeName {
    ExportType type;
    std::string_view text;
};
constexpr TypeName kTypes[] = {
    {ExportType::kTable, "HTML - Table"},
    {ExportType::kSimple, "HTML - Simple"},
    {ExportType::kFrame, "HTML - Frame"},
    {ExportType::kAscii, "ASCII"},
    {ExportType::kCommaDelimited, "Comma-Delimited"},
    {ExportType::kBookmarkFile, "Bookmark File"},
};

constexpr std::string_view kSection = "Export";

// Where the file-name part of a path starts: after its last "/". A backslash is an ordinary
// character of a file name here, so it does not start one.
size_t fileNameStart(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool continuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

size_t characterCount(std::string_view text) {
    size_t n = 0;
    for (char c : text)
        n += continuationByte(c) ? 0 : 1;
    return n;
}

}  // namespace

void dropLastCharacter(std::string& text) {
    while (!text.empty() && continuationByte(text.back()))
        text.pop_back();
    if (!text.empty())
        text.pop_back();
}

std::string_view typeText(ExportType type) {
    for (const TypeName& t : kTypes)
        if (t.type == type)
            return t.text;
    return {};
}

std::optional<ExportType> typeFromText(std::string_view text) {
    for (const TypeName& t : kTypes)
        if (t.text == text)
            return t.type;
    return std::nullopt;
}

bool isHtmlPage(ExportType type) {
    return type == ExportType::kSimple || type == ExportType::kTable || type == ExportType::kFrame;
}

ExportSettings& exportSettings() {
    static ExportSettings settings;
    return settings;
}

void readExportSettings(ExportSettings& s) {
    s.name = readSetting(kSection, "Name", s.name);
    s.type = readSetting(kSection, "Type", s.type);
    s.categories = readSetting(kSection, "Categories", s.categories);
    s.category = readSetting(kSection, "Category", s.category);
    s.siteInfo = int(settingNumber(readSetting(kSection, "SiteInfo", settingText(s.siteInfo))));
    s.ratings = int(settingNumber(readSetting(kSection, "Ratings", settingText(s.ratings))));
    s.order = readSetting(kSection, "Order", s.order);
    if (s.order.find_first_not_of(' ') == std::string::npos)
        s.order = "Location";
}

void writeExportSettings(const ExportSettings& s) {
    writeSetting(kSection, "Name", s.name);
    writeSetting(kSection, "Type", s.type);
    writeSetting(kSection, "Categories", s.categories);
    writeSetting(kSection, "Category", s.category);
    writeSetting(kSection, "SiteInfo", settingText(s.siteInfo ? 1 : 0));
    writeSetting(kSection, "Ratings", settingText(s.ratings ? 1 : 0));
    writeSetting(kSection, "Order", s.order);
}

bool bodyInFrameSetting() {
    return settingNumber(readSetting("Settings", "BodyInFrame", "")) == 1;
}

std::optional<ExportOptions> optionsFrom(const ExportSettings& s, bool bodyInFrame, int64_t date) {
    std::optional<ExportType> type = typeFromText(s.type);
    if (!type)
        return std::nullopt;
    ExportOptions o;
    o.fileName = s.name;
    o.type = *type;
    o.selectedOnly = s.categories == "Selected";
    o.category = s.category;
    o.byDescription = s.order == "Description";
    o.siteInfo = s.siteInfo != 0;
    o.ratings = s.ratings != 0;
    o.bodyInFrame = bodyInFrame;
    o.date = date;
    return o;
}

std::string exportFileName(std::string_view typed, ExportType type) {
    std::string name(typed);
    const size_t start = fileNameStart(name);
    if (name.find('.', start) != std::string::npos)
        return name;
    name += isHtmlPage(type) || type == ExportType::kBookmarkFile ? ".htm" : ".txt";
    for (size_t i = start; i < name.size(); ++i)
        name[i] = lowerAscii(name[i]);
    return name;
}

std::string frameBaseName(std::string_view exportFile) {
    const size_t start = fileNameStart(exportFile);
    const size_t dot = exportFile.find('.', start);
    std::string base(exportFile.substr(0, dot));
    // The length rule counts the short name as the pages were always counted, so that names typed
    // with backslashes give the same pages as before.
    size_t shortStart = base.find_last_of("/\\");
    shortStart = shortStart == std::string::npos ? 0 : shortStart + 1;
    const size_t shortLength = characterCount(std::string_view(base).substr(shortStart));
    if (shortLength > 7)
        dropLastCharacter(base);
    else if (shortLength < 7)
        base += '_';
    return base;
}

}  // namespace sitedex::app::exporting
