// Date and time models: compiling "Dd NNN yyyy" style models into steps, and formatting and reading
// day numbers and time values through them.

#include "runtime/dates.h"
#include "runtime/picture_internal.h"

namespace sitedex::runtime {

using namespace detail;

namespace {

const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
const char* const kWeekdayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string twoDigits(int v, bool padded) {
    std::string s = std::to_string(v);
    if (padded && s.size() < 2)
        s.insert(0, 1, '0');
    return s;
}

bool isNumericField(PictureStep::Type t) {
    switch (t) {
        case PictureStep::Month:
        case PictureStep::Day:
        case PictureStep::Year2:
        case PictureStep::Year4:
        case PictureStep::Hour:
        case PictureStep::Minute:
        case PictureStep::Second:
            return true;
        default:
            return false;
    }
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i]))
            return false;
    return true;
}

// Reads typed date and time text field by field, stepping over whatever separates the fields.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : m_text(text) {}

    void skipSeparators() {
        while (m_pos < m_text.size() && !isDigit(m_text[m_pos]) && !isLetter(m_text[m_pos]))
            ++m_pos;
    }
    bool atDigit() const { return m_pos < m_text.size() && isDigit(m_text[m_pos]); }
    bool atLetter() const { return m_pos < m_text.size() && isLetter(m_text[m_pos]); }
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }
    void advance() { ++m_pos; }

    // Up to maxDigits digits (0 = the whole run, cut at 9 digits so the value cannot overflow).
    bool number(std::size_t maxDigits, int& value, std::size_t& count) {
        value = 0;
        count = 0;
        while (atDigit() && (maxDigits == 0 || count < maxDigits)) {
            if (count == 9)
                return false;
            value = value * 10 + (m_text[m_pos++] - '0');
            ++count;
        }
        return count > 0;
    }
    std::string_view letters() {
        std::size_t start = m_pos;
        while (atLetter())
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }
    std::string_view rest() const { return m_text.substr(m_pos); }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

int monthFromName(std::string_view name) {
    if (name.size() < 3)
        return 0;
    for (int m = 0; m < 12; ++m) {
        std::string_view full = kMonthNames[m];
        if (name.size() <= full.size() && equalsNoCase(name, full.substr(0, name.size())))
            return m + 1;
    }
    return 0;
}

std::size_t fixedWidthIfAdjacent(const std::vector<PictureStep>& steps, std::size_t k) {
    bool nextNumeric = k + 1 < steps.size() && isNumericField(steps[k + 1].type);
    bool prevNumeric = k > 0 && isNumericField(steps[k - 1].type);
    if (!nextNumeric && !prevNumeric)
        return 0;
    return steps[k].type == PictureStep::Year4 ? 4 : 2;
}

bool blank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

std::vector<PictureStep> compileModel(std::string_view model, bool& twelveHour) {
    std::vector<PictureStep> steps;
    twelveHour = false;
    bool seenHour = false;
    auto literal = [&](std::string_view text) {
        if (steps.empty() || steps.back().type != PictureStep::Literal)
            steps.push_back({PictureStep::Literal, true, {}});
        steps.back().text += text;
    };
    for (std::size_t i = 0; i < model.size();) {
        char c = model[i];
        if (c == '\\' && i + 1 < model.size()) {
            literal(model.substr(i + 1, 1));
            i += 2;
            continue;
        }
        char u = upper(c);
        bool caseFree = u == 'M' || u == 'D' || u == 'Y' || u == 'H' || u == 'S';
        bool exact = c == 'N' || c == 'W' || c == 'P';
        if (!caseFree && !exact) {
            literal(model.substr(i, 1));
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < model.size() && (caseFree ? upper(model[i + run]) == u : model[i + run] == c))
            ++run;
        bool padded = run >= 2 && c >= 'a' && c <= 'z';
        PictureStep step{PictureStep::Literal, padded, {}};
        switch (u) {
            case 'M':
                step.type = seenHour ? PictureStep::Minute : PictureStep::Month;
                break;
            case 'D':
                step.type = PictureStep::Day;
                break;
            case 'Y':
                step.type = run <= 2 ? PictureStep::Year2 : PictureStep::Year4;
                break;
            case 'H':
                step.type = PictureStep::Hour;
                seenHour = true;
                break;
            case 'S':
                step.type = PictureStep::Second;
                break;
            case 'N':
                if (run >= 3)
                    step.type = run == 3 ? PictureStep::MonthShortName : PictureStep::MonthLongName;
                break;
            case 'W':
                if (run >= 3)
                    step.type = run == 3 ? PictureStep::WeekdayShort : PictureStep::WeekdayLong;
                break;
            case 'P':
                if (run == 2)
                    step.type = PictureStep::AmPm;
                break;
        }
        if (step.type == PictureStep::Literal) {
            literal(model.substr(i, run));
        } else {
            if (step.type == PictureStep::AmPm)
                twelveHour = true;
            steps.push_back(step);
        }
        i += run;
    }
    return steps;
}

std::string formatDateSteps(const std::vector<PictureStep>& steps, std::int64_t dayNumber) {
    CalendarDate d;
    if (!calendarDate(dayNumber, d))
        return {};
    std::string out;
    for (const PictureStep& s : steps) {
        switch (s.type) {
            case PictureStep::Literal:
                out += s.text;
                break;
            case PictureStep::Month:
                out += twoDigits(d.month, s.padded);
                break;
            case PictureStep::MonthShortName:
                out += std::string_view(kMonthNames[d.month - 1]).substr(0, 3);
                break;
            case PictureStep::MonthLongName:
                out += kMonthNames[d.month - 1];
                break;
            case PictureStep::Day:
                out += twoDigits(d.day, s.padded);
                break;
            case PictureStep::Year2:
                out += twoDigits(d.year % 100, true);
                break;
            case PictureStep::Year4:
                out += std::to_string(d.year);
                break;
            case PictureStep::WeekdayShort:
                out += std::string_view(kWeekdayNames[weekday(dayNumber)]).substr(0, 3);
                break;
            case PictureStep::WeekdayLong:
                out += kWeekdayNames[weekday(dayNumber)];
                break;
            default:
                break;  // time fields have nothing to show in a date
        }
    }
    return out;
}

std::string formatTimeSteps(const std::vector<PictureStep>& steps, bool twelveHour, std::int64_t value) {
    ClockTime t;
    if (!clockTime(value, t))
        return {};
    std::string out;
    for (const PictureStep& s : steps) {
        switch (s.type) {
            case PictureStep::Literal:
                out += s.text;
                break;
            case PictureStep::Hour: {
                int h = twelveHour ? (t.hour % 12 == 0 ? 12 : t.hour % 12) : t.hour;
                out += twoDigits(h, s.padded);
                break;
            }
            case PictureStep::Minute:
                out += twoDigits(t.minute, s.padded);
                break;
            case PictureStep::Second:
                out += twoDigits(t.second, s.padded);
                break;
            case PictureStep::AmPm:
                out += t.hour < 12 ? regionalSettings().s1159 : regionalSettings().s2359;
                break;
            default:
                break;  // date fields have nothing to show in a time
        }
    }
    return out;
}

DeformatResult deformatDateSteps(const std::vector<PictureStep>& steps, std::string_view text) {
    DeformatResult r;
    if (blank(text)) {
        r.ok = true;
        return r;
    }
    FieldReader in(text);
    int year = -1, month = 0, day = 1;
    std::size_t yearDigits = 0;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const PictureStep& s = steps[k];
        if (s.type == PictureStep::Literal ||
            !(isNumericField(s.type) || s.type == PictureStep::MonthShortName || s.type == PictureStep::MonthLongName ||
              s.type == PictureStep::WeekdayShort || s.type == PictureStep::WeekdayLong))
            continue;
        in.skipSeparators();
        if (s.type == PictureStep::WeekdayShort || s.type == PictureStep::WeekdayLong) {
            in.letters();  // the weekday follows from the date
            continue;
        }
        if ((s.type == PictureStep::MonthShortName || s.type == PictureStep::MonthLongName) && in.atLetter()) {
            month = monthFromName(in.letters());
            if (!month)
                return r;
            continue;
        }
        int value = 0;
        std::size_t count = 0;
        const std::size_t fixed = fixedWidthIfAdjacent(steps, k);
        if (!in.number(fixed, value, count) || (fixed && count != fixed))
            return r;
        switch (s.type) {
            case PictureStep::Day:
                day = value;
                break;
            case PictureStep::Year2:
            case PictureStep::Year4:
                year = value;
                yearDigits = count;
                break;
            case PictureStep::Month:
            case PictureStep::MonthShortName:
            case PictureStep::MonthLongName:
                month = value;
                break;
            default:
                return r;  // a time field in a date model reads nothing sensible
        }
    }
    in.skipSeparators();
    if (!in.atEnd() || year < 0)
        return r;
    if (yearDigits <= 2)
        year = expandTwoDigitYear(year);
    std::int64_t n = dayNumber(year, month, day);
    if (!n)
        return r;
    r.ok = true;
    r.number = double(n);
    return r;
}

DeformatResult deformatTimeSteps(const std::vector<PictureStep>& steps, bool twelveHour, std::string_view text) {
    (void)twelveHour;  // a marker is honoured wherever it is typed
    DeformatResult r;
    if (blank(text)) {
        r.ok = true;
        return r;
    }
    FieldReader in(text);
    int hour = 0, minute = 0, second = 0, hundredths = 0;
    bool sawHour = false;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const PictureStep& s = steps[k];
        if (s.type != PictureStep::Hour && s.type != PictureStep::Minute && s.type != PictureStep::Second)
            continue;
        in.skipSeparators();
        if (!in.atDigit())
            break;  // fields left out ("1PM", "13:05" for hh:mm:ss) count as 0
        int value = 0;
        std::size_t count = 0;
        const std::size_t fixed = fixedWidthIfAdjacent(steps, k);
        if (!in.number(fixed, value, count) || (fixed && count != fixed))
            return r;
        if (s.type == PictureStep::Hour)
            hour = value, sawHour = true;
        else if (s.type == PictureStep::Minute)
            minute = value;
        else {
            second = value;
            if (in.peek() == '.') {
                in.advance();
                std::size_t n = 0;
                if (!in.number(2, hundredths, n))
                    return r;
                if (n == 1)
                    hundredths *= 10;
            }
        }
    }
    if (!sawHour)
        return r;
    // What may follow: blanks, separators and one AM/PM marker.
    int marker = 0;  // 1 AM, 2 PM
    in.skipSeparators();
    if (in.atLetter()) {
        std::string_view word = in.letters();
        const RegionalSettings& rs = regionalSettings();
        if (equalsNoCase(word, rs.s1159) || equalsNoCase(word, "AM") || equalsNoCase(word, "A"))
            marker = 1;
        else if (equalsNoCase(word, rs.s2359) || equalsNoCase(word, "PM") || equalsNoCase(word, "P"))
            marker = 2;
        else
            return r;
        in.skipSeparators();
    }
    if (!in.atEnd())
        return r;
    if (marker) {
        if (hour < 1 || hour > 12)
            return r;
        if (marker == 1 && hour == 12)
            hour = 0;
        if (marker == 2 && hour < 12)
            hour += 12;
    }
    if (hour > 23 || minute > 59 || second > 59)
        return r;
    r.ok = true;
    r.number = double(timeValue(hour, minute, second, hundredths));
    return r;
}

}  // namespace sitedex::runtime
