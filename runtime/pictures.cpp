#include "runtime/pictures.h"

#include "runtime/dates.h"
#include "runtime/picture_internal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

namespace sitedex::runtime {

const char* const kDateModels[19] = {
    "",
    "Mm/dd/yy",
    "Mm/dd/yyyy",
    "NNN Dd, yyyy",
    "NNNNNNNNN Dd, yyyy",
    "Dd/mm/yy",
    "Dd/mm/yyyy",
    "Dd NNN yy",
    "Dd NNN yyyy",
    "yy/mm/dd",
    "yyyy/mm/dd",
    "yymmdd",
    "yyyymmdd",
    "Mm/yy",
    "Mm/yyyy",
    "yy/mm",
    "yyyy/mm",
    "Dd NNNNNNNNN yyyy",
    "NNNNNNNNN Dd yyyy",
};

const char* const kTimeModels[7] = {"", "hh:mm", "hhmm", "Hh:mmPP", "hh:mm:ss", "hhmmss", "Hh:mm:ssPP"};

namespace detail {

std::size_t utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string_view utf8Prefix(std::string_view s, std::size_t chars) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (n == chars)
                return s.substr(0, i);
            ++n;
        }
    }
    return s;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

}  // namespace detail

using namespace detail;

double leadingNumber(std::string_view s, bool* complete) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    std::string buf;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        buf += s[i++];
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i]))
        buf += s[i++], ++digits;
    if (i < s.size() && s[i] == '.') {
        buf += s[i++];
        while (i < s.size() && isDigit(s[i]))
            buf += s[i++], ++digits;
    }
    if (digits && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exp += s[j++];
        std::size_t expDigits = 0;
        while (j < s.size() && isDigit(s[j]))
            exp += s[j++], ++expDigits;
        if (expDigits) {
            buf += exp;
            i = j;
        }
    }
    std::size_t k = i;
    while (k < s.size() && (s[k] == ' ' || s[k] == '\t'))
        ++k;
    if (complete)
        *complete = digits > 0 && k == s.size();
    if (!digits)
        return 0;
    double v = std::strtod(buf.c_str(), nullptr);
    return std::isfinite(v) ? v : 0;
}

std::string numberText(double value) {
    if (!std::isfinite(value))
        return "0";
    if (value == 0)
        return "0";
    char buf[64];
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        std::snprintf(buf, sizeof buf, "%.0f", value);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

namespace {

// Digits of |value| rounded half away from zero to `decimals` places, at least decimals + 1 long.
std::string roundedDigits(double value, int decimals) {
    double scaled = std::fabs(value) * std::pow(10.0, decimals);
    double down = std::floor(scaled);
    // A value like 2.675 is stored a hair below the half; treat what is within rounding noise of
    // the half as the half, so that 2.675 shows as 2.68 as typed.
    double r = (scaled - down >= 0.5 - 1e-9 * std::max(1.0, scaled)) ? down + 1 : down;
    std::string digits;
    if (r < 1e18) {
        digits = std::to_string(static_cast<unsigned long long>(r));
    } else {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.0f", r);
        digits = buf;
    }
    if (digits.size() < std::size_t(decimals) + 1)
        digits.insert(0, std::size_t(decimals) + 1 - digits.size(), '0');
    return digits;
}

std::string hashes(int width) {
    return std::string(std::size_t(width > 0 ? width : 1), '#');
}

std::string padLeft(std::string s, int width) {
    std::size_t len = utf8Length(s);
    if (width > 0 && len < std::size_t(width))
        s.insert(0, std::size_t(width) - len, ' ');
    return s;
}

// ---- compiling ----------------------------------------------------------------------------------

bool readCurrency(std::string_view t, std::size_t& i, std::string& out) {
    if (i < t.size() && t[i] == '$') {
        out = "$";
        ++i;
        return true;
    }
    if (i < t.size() && t[i] == '~') {
        std::size_t j = i + 1;
        std::string text;
        while (true) {
            if (j >= t.size())
                return false;  // unterminated: caller rejects the picture
            if (t[j] == '~') {
                if (j + 1 < t.size() && t[j + 1] == '~') {
                    text += '~';
                    j += 2;
                    continue;
                }
                break;
            }
            text += t[j++];
        }
        out = text;
        i = j + 1;
        return true;
    }
    return true;
}

bool compileNumber(std::string_view t, Picture& p) {
    PictureNumber& n = p.number;
    std::size_t i = 0;
    if (!readCurrency(t, i, n.leadingCurrency))
        return false;
    if (i < t.size() && (t[i] == '(' || t[i] == '-'))
        n.signMark = t[i++];
    if (i < t.size() && (t[i] == '_' || t[i] == '*' || (t[i] == '0' && i + 1 < t.size() && isDigit(t[i + 1]))))
        n.fill = t[i++];
    std::size_t widthStart = i;
    long width = 0;
    while (i < t.size() && isDigit(t[i])) {
        width = width * 10 + (t[i++] - '0');
        if (width > 255)
            return false;
    }
    if (i == widthStart)
        return false;
    n.width = int(width);
    char grouping = n.fill ? 0 : ',';
    auto groupShown = [](char c) { return c == '_' ? ' ' : c == '`' ? ',' : c; };
    if (i < t.size() && (t[i] == '.' || t[i] == '_' || t[i] == '`') && !(i + 1 < t.size() && isDigit(t[i + 1]))) {
        grouping = groupShown(t[i]);
        ++i;
    }
    if (i < t.size() && (t[i] == '.' || t[i] == 'v' || t[i] == 'V' || t[i] == '_' || t[i] == '`')) {
        char ind = t[i++];
        n.decimalPoint = ind == '.' ? '.' : ind == '`' ? ',' : ind == '_' ? ' ' : 0;
        if (ind == '`')
            grouping = '.';
        long dec = 0;
        while (i < t.size() && isDigit(t[i])) {
            dec = dec * 10 + (t[i++] - '0');
            if (dec > 30)
                return false;
        }
        n.decimals = int(dec);
    }
    n.grouping = grouping;
    if (i < t.size() && t[i] == ')') {
        if (n.signMark != '(')
            return false;
        ++i;
    } else if (n.signMark == '(') {
        return false;  // "(" needs its ")"
    } else if (i < t.size() && t[i] == '-') {
        if (n.signMark)
            return false;
        n.trailingMinus = true;
        ++i;
    }
    if (i < t.size() && (t[i] == '$' || t[i] == '~')) {
        if (!n.leadingCurrency.empty())
            return false;
        if (!readCurrency(t, i, n.trailingCurrency))
            return false;
    }
    return i == t.size();
}

bool compileSmallNumber(std::string_view t, int lo, int hi, int& out) {
    if (t.empty() || t.size() > 3)
        return false;
    int v = 0;
    for (char c : t) {
        if (!isDigit(c))
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi)
        return false;
    out = v;
    return true;
}

std::vector<PictureStep> compilePatternSteps(std::string_view model, bool keyIn) {
    std::vector<PictureStep> steps;
    auto literal = [&](char c) {
        if (steps.empty() || steps.back().type != PictureStep::Literal)
            steps.push_back({PictureStep::Literal, true, {}});
        steps.back().text += c;
    };
    for (std::size_t i = 0; i < model.size(); ++i) {
        char c = model[i];
        PictureStep::Type type = PictureStep::Literal;
        if (c == '#')
            type = PictureStep::Digit;
        else if (c == '<')
            type = PictureStep::DigitBlank;
        else if (keyIn && c == '@')
            type = PictureStep::Letter;
        else if (keyIn && c == '^')
            type = PictureStep::LetterUpper;
        else if (keyIn && c == '_')
            type = PictureStep::LetterLower;
        else if (keyIn && c == '?')
            type = PictureStep::AnyChar;
        else if (keyIn && c == '\\' && i + 1 < model.size()) {
            literal(model[++i]);
            continue;
        }
        if (type == PictureStep::Literal)
            literal(c);
        else
            steps.push_back({type, true, {}});
    }
    return steps;
}

std::shared_ptr<Picture> compileUncached(std::string_view text) {
    auto p = std::make_shared<Picture>();
    p->text = std::string(text);
    std::string_view t = text;
    if (!t.empty() && t[0] == '@')
        t.remove_prefix(1);
    if (t.empty())
        return nullptr;
    char kind = upper(t[0]);
    t.remove_prefix(1);
    if (kind == 'P' || kind == 'K') {
        std::size_t close = t.find_last_of(kind == 'P' ? "pP" : "kK");
        if (close == std::string_view::npos)
            return nullptr;
        std::string_view rest = t.substr(close + 1);
        if (rest == "b" || rest == "B")
            p->blankWhenZero = true;
        else if (!rest.empty())
            return nullptr;
        p->kind = kind == 'P' ? PictureKind::Pattern : PictureKind::KeyIn;
        p->steps = compilePatternSteps(t.substr(0, close), kind == 'K');
        for (const PictureStep& s : p->steps)
            p->width += int(s.type == PictureStep::Literal ? utf8Length(s.text) : 1);
        return p;
    }
    if (!t.empty() && (t.back() == 'b' || t.back() == 'B')) {
        p->blankWhenZero = true;
        t.remove_suffix(1);
    }
    switch (kind) {
        case 'S': {
            p->kind = PictureKind::String;
            // Up to five digits: a string is at most 64K long.
            if (t.empty() || t.size() > 5)
                return nullptr;
            int v = 0;
            for (char c : t) {
                if (!isDigit(c))
                    return nullptr;
                v = v * 10 + (c - '0');
            }
            if (v > 65535)
                return nullptr;
            p->width = v;
            return p;
        }
        case 'N':
            p->kind = PictureKind::Number;
            if (!compileNumber(t, *p))
                return nullptr;
            p->width = p->number.width;
            return p;
        case 'E': {
            p->kind = PictureKind::Scientific;
            std::size_t dot = t.find('.');
            std::string_view w = dot == std::string_view::npos ? t : t.substr(0, dot);
            if (!compileSmallNumber(w, 1, 255, p->width))
                return nullptr;
            if (dot != std::string_view::npos && !compileSmallNumber(t.substr(dot + 1), 0, 30, p->decimals))
                return nullptr;
            return p;
        }
        case 'D':
            p->kind = PictureKind::Date;
            if (!compileSmallNumber(t, 1, 18, p->width))
                return nullptr;
            p->steps = compileModel(kDateModels[p->width], p->twelveHour);
            return p;
        case 'T':
            p->kind = PictureKind::Time;
            if (!compileSmallNumber(t, 1, 6, p->width))
                return nullptr;
            p->steps = compileModel(kTimeModels[p->width], p->twelveHour);
            return p;
        default:
            return nullptr;
    }
}

// ---- formatting ---------------------------------------------------------------------------------

std::string formatNumberModel(const Picture& p, double value) {
    const PictureNumber& n = p.number;
    std::string digits = roundedDigits(value, n.decimals);
    bool zero = digits.find_first_not_of('0') == std::string::npos;
    if (zero && p.blankWhenZero)
        return std::string(std::size_t(n.width), ' ');
    bool negative = value < 0 && !zero;
    std::string intPart = digits.substr(0, digits.size() - std::size_t(n.decimals));
    std::string core;
    if (n.grouping) {
        for (std::size_t k = 0; k < intPart.size(); ++k) {
            if (k && (intPart.size() - k) % 3 == 0)
                core += n.grouping;
            core += intPart[k];
        }
    } else {
        core = intPart;
    }
    if (n.decimals > 0) {
        if (n.decimalPoint)
            core += n.decimalPoint;
        core += digits.substr(intPart.size());
    }
    std::string prefix = n.leadingCurrency, suffix;
    if (n.signMark == '(') {
        prefix += negative ? "(" : " ";
        suffix = negative ? ")" : " ";
    } else if (n.trailingMinus) {
        suffix = negative ? "-" : " ";
    } else if (negative) {
        prefix += '-';
    }
    suffix += n.trailingCurrency;
    std::size_t used = utf8Length(prefix) + core.size() + utf8Length(suffix);
    if (used > std::size_t(n.width))
        return hashes(n.width);
    std::size_t room = std::size_t(n.width) - used;
    if (n.fill == '0' || n.fill == '*')
        return prefix + std::string(room, n.fill) + core + suffix;
    return std::string(room, ' ') + prefix + core + suffix;
}

std::string formatScientific(const Picture& p, double value) {
    if (value == 0 && p.blankWhenZero)
        return std::string(std::size_t(p.width), ' ');
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.*e", p.decimals, value);
    std::string s = buf;
    if (utf8Length(s) > std::size_t(p.width))
        return hashes(p.width);
    return padLeft(s, p.width);
}

std::string formatPattern(const Picture& p, double value) {
    int positions = 0;
    for (const PictureStep& s : p.steps)
        if (s.type == PictureStep::Digit || s.type == PictureStep::DigitBlank)
            ++positions;
    std::string digits = roundedDigits(value, 0);
    bool zero = digits.find_first_not_of('0') == std::string::npos;
    if (zero && p.blankWhenZero)
        return std::string(std::size_t(p.width), ' ');
    bool negative = value < 0 && !zero;
    std::size_t significant = zero ? 1 : digits.size() - digits.find_first_not_of('0');
    digits = digits.substr(digits.size() - significant);
    if (significant > std::size_t(positions))
        return std::string(std::size_t(p.width), '#');
    // Lay the digits into the positions from the right, then blank the suppressible leading zeros.
    std::vector<bool> blank(std::size_t(positions), false);
    std::string shown = std::string(std::size_t(positions) - significant, '0') + digits;
    int pos = 0;
    bool leading = true;
    int lastBlank = -1;
    std::vector<bool> stepBlank(p.steps.size(), false);
    for (std::size_t k = 0; k < p.steps.size(); ++k) {
        const PictureStep& s = p.steps[k];
        if (s.type == PictureStep::Literal) {
            if (leading && pos > 0 && blank[std::size_t(pos - 1)])
                stepBlank[k] = true;
            continue;
        }
        bool isLeadingZero = leading && shown[std::size_t(pos)] == '0' && pos < positions - 1;
        if (isLeadingZero && s.type == PictureStep::DigitBlank) {
            blank[std::size_t(pos)] = true;
            lastBlank = pos;
        } else {
            leading = false;
        }
        ++pos;
    }
    if (negative) {
        if (lastBlank < 0)
            return std::string(std::size_t(p.width), '#');
        shown[std::size_t(lastBlank)] = '-';
        blank[std::size_t(lastBlank)] = false;
    }
    std::string out;
    pos = 0;
    for (std::size_t k = 0; k < p.steps.size(); ++k) {
        const PictureStep& s = p.steps[k];
        if (s.type == PictureStep::Literal) {
            out += stepBlank[k] ? std::string(utf8Length(s.text), ' ') : s.text;
            continue;
        }
        out += blank[std::size_t(pos)] ? ' ' : shown[std::size_t(pos)];
        ++pos;
    }
    return out;
}

}  // namespace

bool keyInNumeric(const Picture& p) {
    for (const PictureStep& s : p.steps)
        if (s.type != PictureStep::Literal && s.type != PictureStep::Digit && s.type != PictureStep::DigitBlank)
            return false;
    return true;
}

namespace {

std::string formatKeyInText(const Picture& p, std::string_view text) {
    std::string out;
    std::size_t i = 0;
    for (const PictureStep& s : p.steps) {
        if (s.type == PictureStep::Literal) {
            out += s.text;
            continue;
        }
        char c = i < text.size() ? text[i++] : ' ';
        if (s.type == PictureStep::LetterUpper)
            c = upper(c);
        if (s.type == PictureStep::LetterLower)
            c = lower(c);
        out += c;
    }
    return out;
}

std::unordered_map<std::string, std::shared_ptr<const Picture>>& cache() {
    static std::unordered_map<std::string, std::shared_ptr<const Picture>> c;
    return c;
}

RegionalSettings& regional() {
    static RegionalSettings r;
    return r;
}

}  // namespace

std::shared_ptr<const Picture> compilePicture(std::string_view text) {
    auto& c = cache();
    std::string key(text);
    auto it = c.find(key);
    if (it != c.end())
        return it->second;
    // Pictures may come from data (a FORMAT over a variable): keep the cache bounded.
    if (c.size() >= 512)
        c.clear();
    std::shared_ptr<const Picture> p = compileUncached(text);
    c.emplace(std::move(key), p);
    return p;
}

std::string formatNumber(const Picture& p, double value) {
    if (!std::isfinite(value))
        value = 0;
    switch (p.kind) {
        case PictureKind::String:
            return formatText(p, numberText(value));
        case PictureKind::Number:
            return formatNumberModel(p, value);
        case PictureKind::Scientific:
            return formatScientific(p, value);
        case PictureKind::Pattern:
            return formatPattern(p, value);
        case PictureKind::KeyIn:
            if (keyInNumeric(p))
                return formatPattern(p, value);
            return formatKeyInText(p, numberText(value));
        case PictureKind::Date:
            return formatDateSteps(p.steps, value >= 0 && value < 1e9 ? std::int64_t(value) : 0);
        case PictureKind::Time:
            return formatTimeSteps(p.steps, p.twelveHour, value >= 0 && value < 1e9 ? std::int64_t(value) : 0);
    }
    return {};
}

std::string formatText(const Picture& p, std::string_view text) {
    switch (p.kind) {
        case PictureKind::String: {
            std::string out(utf8Prefix(text, std::size_t(p.width)));
            std::size_t len = utf8Length(out);
            if (len < std::size_t(p.width))
                out.append(std::size_t(p.width) - len, ' ');
            return out;
        }
        case PictureKind::KeyIn:
            if (!keyInNumeric(p))
                return formatKeyInText(p, text);
            [[fallthrough]];
        default:
            return formatNumber(p, leadingNumber(text));
    }
}

std::string format(std::string_view picture, double value) {
    auto p = compilePicture(picture);
    return p ? formatNumber(*p, value) : numberText(value);
}

std::string format(std::string_view picture, std::string_view text) {
    auto p = compilePicture(picture);
    return p ? formatText(*p, text) : std::string(text);
}

std::string formatDateModel(std::int64_t dayNumber, std::string_view model) {
    bool twelve = false;
    return formatDateSteps(compileModel(model, twelve), dayNumber);
}

std::string formatTimeModel(std::int64_t value, std::string_view model) {
    bool twelve = false;
    std::vector<PictureStep> steps = compileModel(model, twelve);
    return formatTimeSteps(steps, twelve, value);
}

// ---- regional settings --------------------------------------------------------------------------

const RegionalSettings& regionalSettings() {
    return regional();
}
void setRegionalSettings(const RegionalSettings& settings) {
    regional() = settings;
}

RegionalSettings readRegionalSettings(std::string (*readIntl)(std::string_view, std::string_view)) {
    RegionalSettings r;
    auto number = [&](std::string_view key, int def) {
        bool complete = false;
        double v = leadingNumber(readIntl(key, std::to_string(def)), &complete);
        return complete ? int(v) : def;
    };
    r.iTime = number("iTime", r.iTime);
    r.iTLzero = number("iTLzero", r.iTLzero);
    r.sTime = readIntl("sTime", r.sTime);
    r.s1159 = readIntl("s1159", r.s1159);
    r.s2359 = readIntl("s2359", r.s2359);
    r.sShortDate = readIntl("sShortDate", r.sShortDate);
    r.sLongDate = readIntl("sLongDate", r.sLongDate);
    return r;
}

std::string modelFromRegionalDate(std::string_view f) {
    std::string out;
    auto literal = [&](char c) {
        if (isLetter(c) || c == '\\')
            out += '\\';
        out += c;
    };
    for (std::size_t i = 0; i < f.size();) {
        char c = f[i];
        if (c == '\'') {
            std::size_t j = i + 1;
            while (j < f.size() && f[j] != '\'')
                literal(f[j++]);
            i = j + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < f.size() && f[i + run] == c)
            ++run;
        if (c == 'M') {
            out += run == 1 ? "Mm" : run == 2 ? "mm" : run == 3 ? "NNN" : "NNNNNNNNN";
        } else if (c == 'd') {
            out += run == 1 ? "Dd" : run == 2 ? "dd" : run == 3 ? "WWW" : "WWWW";
        } else if (c == 'y') {
            out += run <= 2 ? "yy" : "yyyy";
        } else {
            for (std::size_t k = 0; k < run; ++k)
                literal(c);
        }
        i += run;
    }
    return out;
}

std::string regionalShortDateModel() {
    return modelFromRegionalDate(regional().sShortDate);
}
std::string regionalLongDateModel() {
    return modelFromRegionalDate(regional().sLongDate);
}

std::string regionalTimeModel() {
    const RegionalSettings& r = regional();
    std::string sep;
    for (char c : r.sTime) {
        if (isLetter(c) || c == '\\')
            sep += '\\';
        sep += c;
    }
    std::string model = (r.iTLzero ? "hh" : "Hh") + sep + "mm";
    if (r.iTime == 0)
        model += "PP";
    return model;
}

}  // namespace sitedex::runtime
