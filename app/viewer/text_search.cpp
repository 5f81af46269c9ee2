#include "app/viewer/text_search.h"

namespace sitedex::app::viewer {

namespace {

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return u;
}

std::string_view withoutTrailingBlanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

}  // namespace

bool lineMatches(std::string_view line, const SearchSettings& settings) {
    const std::string_view wanted = withoutTrailingBlanks(settings.text);
    if (wanted.empty())
        return false;
    const std::string haystack = settings.matchCase ? std::string(line) : upper(line);
    const std::string needle = settings.matchCase ? std::string(wanted) : upper(wanted);
    const size_t lastNonBlank = withoutTrailingBlanks(line).size();  // one past it
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) {
        if (!settings.wholeWord)
            return true;
        const size_t end = at + needle.size();
        const bool before = at == 0 || haystack[at - 1] == ' ';
        const bool after = end == lastNonBlank || (end < haystack.size() && haystack[end] == ' ');
        if (before && after)
            return true;
    }
    return false;
}

int searchLines(const std::vector<std::string>& lines, int current, const SearchSettings& settings,
                const std::function<bool(const std::string& direction)>& startAgain) {
    const int count = int(lines.size());
    if (count == 0 || withoutTrailingBlanks(settings.text).empty())
        return 0;
    const bool down = settings.direction == "Down";
    int line = current;
    while (true) {
        line += down ? 1 : -1;       // 1
        if (down && line > count) {  // 2
            if (!startAgain("Down"))
                return 0;
            line = 1;
        } else if (!down && line < 1) {
            if (!startAgain("Up"))
                return 0;
            line = count;
        }
        if (lineMatches(lines[size_t(line - 1)], settings))
            return line;  // 3, 4, 5
    }
}

}  // namespace sitedex::app::viewer
