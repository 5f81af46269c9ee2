// Reading typed text back through a picture: numbers, patterns, key-in text, and the dispatch to
// the date and time readers of picture_dates.cpp.

#include "runtime/picture_internal.h"

#include <cmath>
#include <cstdlib>

namespace sitedex::runtime {

using namespace detail;

namespace {

DeformatResult deformatNumberModel(const Picture& p, std::string_view text) {
    const PictureNumber& n = p.number;
    DeformatResult r;
    std::string s(text);
    for (const std::string* cur : {&n.leadingCurrency, &n.trailingCurrency}) {
        if (cur->empty())
            continue;
        std::size_t at = s.find(*cur);
        if (at != std::string::npos)
            s.erase(at, cur->size());
    }
    bool negative = false;
    bool seenPoint = false;
    std::string num;
    std::size_t digits = 0;
    for (char c : s) {
        if (isDigit(c)) {
            num += c;
            ++digits;
        } else if (c == '-' || c == '(' || c == ')') {
            negative = true;
        } else if (n.decimalPoint && c == n.decimalPoint && n.decimalPoint != ' ' && !seenPoint) {
            num += '.';
            seenPoint = true;
        } else if (c == '.' && !n.decimalPoint && !seenPoint) {
            num += '.';  // an explicit point typed into an implied-decimal picture
            seenPoint = true;
        } else if (c == ' ' || c == '\t' || (n.grouping && c == n.grouping) || c == '*' || c == '+') {
            continue;
        } else {
            return r;  // anything else: not a number of this picture
        }
    }
    r.ok = true;
    if (!digits)
        return r;
    double v = std::strtod(num.c_str(), nullptr);
    if (!n.decimalPoint && !seenPoint && n.decimals)
        v /= std::pow(10.0, n.decimals);
    r.number = std::isfinite(v) ? (negative ? -v : v) : 0;
    return r;
}

DeformatResult deformatPattern(const Picture& p, std::string_view text) {
    DeformatResult r;
    std::string num;
    bool negative = false;
    std::size_t i = 0;
    for (const PictureStep& s : p.steps) {
        if (s.type == PictureStep::Literal) {
            // Skip the literal where it was typed; it is optional.
            if (text.substr(i, s.text.size()) == s.text)
                i += s.text.size();
            continue;
        }
        while (i < text.size() && !isDigit(text[i]) && text[i] != '-' && text[i] != ' ')
            ++i;
        if (i >= text.size())
            break;
        char c = text[i++];
        if (c == '-')
            negative = true;
        else if (isDigit(c))
            num += c;
    }
    for (; i < text.size(); ++i)
        if (text[i] != ' ')
            return r;  // more typed than the pattern holds
    r.ok = true;
    if (!num.empty())
        r.number = std::strtod(num.c_str(), nullptr) * (negative ? -1 : 1);
    return r;
}

DeformatResult deformatKeyIn(const Picture& p, std::string_view text) {
    if (keyInNumeric(p))
        return deformatPattern(p, text);
    DeformatResult r;
    r.ok = true;
    r.isText = true;
    std::size_t i = 0;
    for (const PictureStep& s : p.steps) {
        if (s.type == PictureStep::Literal) {
            if (text.substr(i, s.text.size()) == s.text)
                i += s.text.size();
            continue;
        }
        if (i < text.size())
            r.text += text[i++];
    }
    while (!r.text.empty() && r.text.back() == ' ')
        r.text.pop_back();
    return r;
}

}  // namespace

DeformatResult deformatValue(const Picture& p, std::string_view text) {
    DeformatResult r;
    switch (p.kind) {
        case PictureKind::String:
            r.ok = true;
            r.isText = true;
            r.text = std::string(utf8Prefix(text, std::size_t(p.width)));
            return r;
        case PictureKind::Number:
            return deformatNumberModel(p, text);
        case PictureKind::Scientific: {
            std::string s(text);
            for (char& c : s)
                if (c == ',')
                    c = '.';
            bool complete = false;
            r.number = leadingNumber(s, &complete);
            r.ok = complete || s.find_first_not_of(" \t") == std::string::npos;
            if (!r.ok)
                r.number = 0;
            return r;
        }
        case PictureKind::Pattern:
            return deformatPattern(p, text);
        case PictureKind::KeyIn:
            return deformatKeyIn(p, text);
        case PictureKind::Date:
            return deformatDateSteps(p.steps, text);
        case PictureKind::Time:
            return deformatTimeSteps(p.steps, p.twelveHour, text);
    }
    return r;
}

std::string deformat(std::string_view picture, std::string_view text) {
    auto p = compilePicture(picture);
    if (!p)
        return std::string(text);
    DeformatResult r = deformatValue(*p, text);
    if (!r.ok)
        return {};
    return r.isText ? r.text : numberText(r.number);
}

}  // namespace sitedex::runtime
