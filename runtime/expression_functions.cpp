#include "runtime/expression_functions.h"

#include "runtime/dates.h"
#include "runtime/expression_internal.h"
#include "runtime/expressions.h"
#include "runtime/pictures.h"
#include "runtime/settings_file.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace sitedex::runtime {

namespace {

enum Fn {
    kAbs,
    kAcos,
    kAge,
    kAll,
    kAsin,
    kAtan,
    kBand,
    kBor,
    kBshift,
    kBxor,
    kCenter,
    kChoose,
    kChr,
    kClip,
    kClock,
    kCos,
    kDate,
    kDay,
    kDeformat,
    kFormat,
    kGetini,
    kInlist,
    kInrange,
    kInstring,
    kInt,
    kLeft,
    kLen,
    kLog10,
    kLoge,
    kLower,
    kMemory,
    kMonth,
    kNumeric,
    kRandom,
    kRight,
    kRound,
    kSin,
    kSqrt,
    kSub,
    kTan,
    kToday,
    kUpper,
    kVal,
    kYear,
};

constexpr ValueClass I = ValueClass::Integer;
constexpr ValueClass R = ValueClass::Real;
constexpr ValueClass S = ValueClass::String;

const std::vector<BuiltinFunction> kFunctions = {
    {"ABS", kAbs, 1, R},           {"ACOS", kAcos, 1, R},       {"AGE", kAge, 2, S},
    {"ALL", kAll, 2, S},           {"ASIN", kAsin, 1, R},       {"ATAN", kAtan, 1, R},
    {"BAND", kBand, 2, I},         {"BOR", kBor, 2, I},         {"BSHIFT", kBshift, 2, I},
    {"BXOR", kBxor, 2, I},         {"CENTER", kCenter, 2, S},   {"CHOOSE", kChoose, 25, S},
    {"CHR", kChr, 1, S},           {"CLIP", kClip, 1, S},       {"CLOCK", kClock, 0, I},
    {"COS", kCos, 1, R},           {"DATE", kDate, 3, I},       {"DAY", kDay, 1, I},
    {"DEFORMAT", kDeformat, 2, S}, {"FORMAT", kFormat, 2, S},   {"GETINI", kGetini, 4, S},
    {"INLIST", kInlist, 25, I},    {"INRANGE", kInrange, 3, I}, {"INSTRING", kInstring, 4, I},
    {"INT", kInt, 1, I},           {"LEFT", kLeft, 2, S},       {"LEN", kLen, 1, I},
    {"LOG10", kLog10, 1, R},       {"LOGE", kLoge, 1, R},       {"LOWER", kLower, 1, S},
    {"MEMORY", kMemory, 1, I},     {"MONTH", kMonth, 1, I},     {"NUMERIC", kNumeric, 1, I},
    {"RANDOM", kRandom, 2, I},     {"RIGHT", kRight, 2, S},     {"ROUND", kRound, 2, R},
    {"SIN", kSin, 1, R},           {"SQRT", kSqrt, 1, R},       {"SUB", kSub, 3, S},
    {"TAN", kTan, 1, R},           {"TODAY", kToday, 0, I},     {"UPPER", kUpper, 1, S},
    {"VAL", kVal, 1, I},           {"YEAR", kYear, 1, I},
};

// Lengths asked of LEFT, RIGHT, CENTER and ALL are capped: a filter must not be able to ask for
// gigabytes of blanks.
constexpr std::int64_t kMaxTextLength = 65535;

std::int64_t lengthArg(const Val& v) {
    std::int64_t n = integerOf(v);
    return n < 0 ? 0 : n > kMaxTextLength ? kMaxTextLength : n;
}

std::string_view trimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n && s[n - 1] == ' ')
        --n;
    return s.substr(0, n);
}

std::string_view trimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    return s.substr(i);
}

std::string ageText(std::int64_t birth, std::int64_t base) {
    CalendarDate b, e;
    if (!calendarDate(birth, b) || !calendarDate(base, e) || base < birth)
        return {};
    std::int64_t days = base - birth;
    if (days <= 60)
        return std::to_string(days) + " DAYS";
    int months = (e.year - b.year) * 12 + (e.month - b.month) - (e.day < b.day ? 1 : 0);
    if (months <= 24)
        return std::to_string(months) + " MOS";
    return std::to_string(months / 12) + " YRS";
}

bool isNumericText(std::string_view s) {
    bool complete = false;
    leadingNumber(s, &complete);
    return complete;
}

std::int64_t randomBetween(std::int64_t a, std::int64_t b) {
    static std::mt19937_64 engine{std::random_device{}()};
    if (a > b)
        std::swap(a, b);
    return std::uniform_int_distribution<std::int64_t>(a, b)(engine);
}

std::int64_t freeMemoryKb() {
    long pages = sysconf(_SC_AVPHYS_PAGES);
    long size = sysconf(_SC_PAGESIZE);
    if (pages < 0 || size < 0)
        return 0;
    return std::int64_t(pages) * (size / 1024);
}

std::string baseName(std::string_view path) {
    std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

const std::vector<BuiltinFunction>& builtinFunctions() {
    return kFunctions;
}

const BuiltinFunction& builtinFunction(int number) {
    return kFunctions.at(std::size_t(number));
}

int caseFoldOf(int number) {
    return number == kUpper ? 1 : number == kLower ? 2 : 0;
}

Val callBuiltin(int fn, const Val* a, int n, std::string& out) {
    static const Val kNone = Val::integer(0);
    static const Val kNoText = Val::text({});
    std::string buf1, buf2;
    auto arg = [&](int k) -> const Val& { return k < n ? a[k] : kNone; };
    auto text = [&](int k, std::string& buf) -> std::string_view { return k < n ? textOf(a[k], buf) : kNoText.s; };
    auto num = [&](int k) { return numberOf(arg(k)); };
    auto real = [&](double v) { return Val::real(finiteOr0(v)); };
    auto result = [&]() { return Val::text(out); };
    switch (fn) {
        case kAbs:
            return real(std::fabs(num(0)));
        case kAcos:
            return real(std::acos(num(0)));
        case kAsin:
            return real(std::asin(num(0)));
        case kAtan:
            return real(std::atan(num(0)));
        case kCos:
            return real(std::cos(num(0)));
        case kSin:
            return real(std::sin(num(0)));
        case kTan:
            return real(std::tan(num(0)));
        case kSqrt:
            return real(std::sqrt(num(0)));
        case kLog10:
            return real(std::log10(num(0)));
        case kLoge:
            return real(std::log(num(0)));
        case kAge:
            out = ageText(integerOf(arg(0)), n > 1 ? integerOf(a[1]) : today());
            return result();
        case kAll: {
            std::string_view t = text(0, buf1);
            std::int64_t len = n > 1 ? lengthArg(a[1]) : 255;
            out.clear();
            if (t.empty())
                out.assign(std::size_t(len), ' ');
            else
                while (std::int64_t(out.size()) < len)
                    out.append(t.substr(0, std::size_t(len) - out.size()));
            return result();
        }
        case kBand:
            return Val::integer(integerOf(arg(0)) & integerOf(arg(1)));
        case kBor:
            return Val::integer(integerOf(arg(0)) | integerOf(arg(1)));
        case kBxor:
            return Val::integer(integerOf(arg(0)) ^ integerOf(arg(1)));
        case kBshift: {
            std::int64_t v = integerOf(arg(0)), s = integerOf(arg(1));
            if (s >= 64 || s <= -64)
                return Val::integer(s > 0 || v >= 0 ? 0 : -1);
            if (s >= 0)
                return Val::integer(std::int64_t(std::uint64_t(v) << s));
            return Val::integer(v >> -s);
        }
        case kCenter: {
            std::string_view t = trimRight(trimLeft(text(0, buf1)));
            std::int64_t len = n > 1 ? lengthArg(a[1]) : std::int64_t(text(0, buf2).size());
            if (std::int64_t(t.size()) > len)
                t = t.substr(0, std::size_t(len));
            std::size_t left = (std::size_t(len) - t.size()) / 2;
            out.assign(left, ' ');
            out.append(t);
            out.append(std::size_t(len) - out.size(), ' ');
            return result();
        }
        case kChoose: {
            if (n < 2) {
                out.clear();
                return result();
            }
            std::int64_t k = integerOf(a[0]);
            const Val& v = (k >= 1 && k <= n - 1) ? a[k] : a[n - 1];
            out.assign(textOf(v, buf1));
            return result();
        }
        case kChr: {
            std::int64_t c = integerOf(arg(0));
            out.clear();
            if (n > 0 && c >= 0 && c <= 255)
                out.push_back(char(c));
            return result();
        }
        case kClip:
            out.assign(trimRight(text(0, buf1)));
            return result();
        case kClock:
            return Val::integer(clockNow());
        case kToday:
            return Val::integer(today());
        case kDate:
            return Val::integer(dateFromParts(integerOf(arg(0)), integerOf(arg(1)), integerOf(arg(2))));
        case kDay:
        case kMonth:
        case kYear: {
            CalendarDate d;
            if (!calendarDate(integerOf(arg(0)), d))
                return Val::integer(0);
            return Val::integer(fn == kDay ? d.day : fn == kMonth ? d.month : d.year);
        }
        case kFormat: {
            auto pic = compilePicture(text(1, buf2));
            const Val& v = arg(0);
            if (!pic)
                out.assign(textOf(v, buf1));
            else if (v.cls == ValueClass::String)
                out = formatText(*pic, v.s);
            else
                out = formatNumber(*pic, numberOf(v));
            return result();
        }
        case kDeformat:
            out = deformat(text(1, buf2), text(0, buf1));
            return result();
        case kGetini: {
            std::string section(text(0, buf1)), key(text(1, buf2));
            std::string def, file;
            def.assign(text(2, out));
            file = baseName(text(3, out));
            out = readSetting(section, key, def, file);
            return result();
        }
        case kInlist: {
            if (n < 1)
                return Val::integer(0);
            Val sought = Val::text(textOf(a[0], buf1));
            for (int k = 1; k < n; ++k)
                if (compareValues(sought, Val::text(textOf(a[k], buf2)), out, out) == 0)
                    return Val::integer(k);
            return Val::integer(0);
        }
        case kInrange:
            return Val::integer(compareValues(arg(0), arg(1), buf1, buf2) >= 0 &&
                                compareValues(arg(0), arg(2), buf1, buf2) <= 0);
        case kInstring: {
            std::string_view sought = text(0, buf1), t = text(1, buf2);
            std::int64_t step = n > 2 ? integerOf(a[2]) : 1;
            std::int64_t start = n > 3 ? integerOf(a[3]) : 1;
            if (step < 1)
                step = 1;
            if (start < 1)
                start = 1;
            if (sought.empty() || start > std::int64_t(t.size()))
                return Val::integer(0);
            step = std::min<std::int64_t>(step, std::int64_t(t.size()) + 1);  // keeps pos from overflowing
            for (std::int64_t pos = start; pos - 1 + std::int64_t(sought.size()) <= std::int64_t(t.size()); pos += step)
                if (t.compare(std::size_t(pos - 1), sought.size(), sought) == 0)
                    return Val::integer((pos - start) / step + 1);
            return Val::integer(0);
        }
        case kInt:
            return Val::integer(clampToInt64(std::trunc(num(0))));
        case kLeft: {
            std::string_view t = text(0, buf1);
            std::int64_t len = n > 1 ? lengthArg(a[1]) : std::int64_t(t.size());
            std::string_view body = trimLeft(t);
            out.assign(body.substr(0, std::size_t(std::min<std::int64_t>(len, std::int64_t(body.size())))));
            out.append(std::size_t(len) - out.size(), ' ');
            return result();
        }
        case kRight: {
            std::string_view t = text(0, buf1);
            std::int64_t len = n > 1 ? lengthArg(a[1]) : std::int64_t(t.size());
            std::string_view body = trimRight(t);
            if (std::int64_t(body.size()) > len)
                body = body.substr(body.size() - std::size_t(len));
            out.assign(std::size_t(len) - body.size(), ' ');
            out.append(body);
            return result();
        }
        case kLen:
            return Val::integer(std::int64_t(text(0, buf1).size()));
        case kLower:
        case kUpper: {
            out.assign(text(0, buf1));
            for (char& c : out) {
                if (fn == kUpper && c >= 'a' && c <= 'z')
                    c = char(c - 32);
                if (fn == kLower && c >= 'A' && c <= 'Z')
                    c = char(c + 32);
            }
            return result();
        }
        case kMemory:
            return Val::integer(freeMemoryKb());
        case kNumeric:
            return Val::integer(isNumericText(text(0, buf1)) ? 1 : 0);
        case kRandom:
            return Val::integer(randomBetween(integerOf(arg(0)), integerOf(arg(1))));
        case kRound: {
            double x = num(0), step = std::fabs(num(1));
            if (step == 0)
                return real(x);
            double q = x / step;
            double r = std::floor(std::fabs(q) + 0.5 + 1e-9);
            return real(std::copysign(r, q) * step);
        }
        case kSub: {
            std::string_view t = text(0, buf1);
            const std::int64_t size = std::int64_t(t.size());
            std::int64_t start = std::clamp<std::int64_t>(integerOf(arg(1)), -size - 1, size + 1);
            if (start < 0)
                start = size + start + 1;
            const std::int64_t len = n > 2 ? std::clamp<std::int64_t>(integerOf(a[2]), 0, size + 1) : size + 1;
            const std::int64_t from = std::max<std::int64_t>(start, 1), to = std::min(start + len, size + 1);
            out.clear();
            if (n > 1 && to > from)
                out.assign(t.substr(std::size_t(from - 1), std::size_t(to - from)));
            return result();
        }
        case kVal: {
            std::string_view t = text(0, buf1);
            return Val::integer(t.empty() ? 0 : static_cast<unsigned char>(t[0]));
        }
    }
    return Val::integer(0);
}

}  // namespace sitedex::runtime
