#pragma once
// Display pictures: how a value becomes text for a list column, an entry field, a report or a
// formatted string, and how typed text becomes a value again.
//
// A picture is "@" (optional here), a kind letter in either case and the kind's own text:
//   S  string       "@S30": the text cut to, and blank-padded to, 30 characters (UTF-8 characters).
//   N  number       "@N$(0_12.`2~ EUR~)": currency, sign mark, fill, width, grouping, decimals
//                   (see PictureNumber below); right-aligned in the width.
//   E  scientific   "@E12.3": mantissa with 3 decimals, "e", sign and at least two exponent digits,
//                   right-aligned in 12 positions.
//   P  pattern      "@P<<<#P": "<" a digit shown blank while it is a leading zero, "#" a digit,
//                   everything else literal; the model lies between the kind letter and the last
//                   "p" or "P".
//   K  key-in       "@K###-##K": like a pattern for typed input: "#" and "<" digits, "@" a letter,
//                   "^" a letter shown upper case, "_" a letter shown lower case, "?" any character,
//                   "\" makes the next character literal.
//   D  date 1..18   day numbers (runtime/dates.h) through the models of kDateModels.
//   T  time 1..6    time values through the models of kTimeModels.
// A trailing "b" or "B" is the blank-when-zero flag: a value of 0 shows as blanks of the picture's
// width (a date or time of 0 is blank with or without it).
//
// Choices this program makes where the classic behaviour leaves room:
// - A field shown without its leading zero ("Mm", "Dd", "Hh") drops the zero; nothing stands in
//   its place ("September 5, 2026", "9/05/26", "1:05PM").
// - A date of 0 (no date) or a time of 0 (no time), and any number that is not a valid date or
//   time, formats as empty text.
// - A number too wide for its picture shows as "#" in every position rather than a wrong value.
// - Rounding to the picture's decimals is half away from zero.
// - "v" as the decimal indicator shows no point (an implied decimal); "`" shows ","; "_" a blank.
//   As a grouping character "_" shows a blank and "`" a ",".
// - A negative number in a pattern shows "-" in the last suppressed position before its digits,
//   or "#" in every digit position when there is none.
// - Which pictures follow the regional settings: none of D1..D18 (their models are fixed, so the
//   export's date line and the reports look the same on every desktop); the AM/PM marker "PP"
//   shows the regional s1159 / s2359 texts. The regional short and long date formats are turned
//   into models that callers can use with formatDateModel.
// - Two-digit years typed into a date go through the century window of runtime/dates.h.
//
// Compiled pictures are cached by their text (a few hundred at most), so formatting the same
// picture again costs no parsing. An invalid picture compiles to nullptr; format then gives the
// plain text of the value and deformat gives the text unchanged.
//
// Callers: any layer. Not reentrant across OS threads (neither is anything else in the runtime).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::runtime {

enum class PictureKind { String, Number, Scientific, Pattern, KeyIn, Date, Time };

// One formatting step of a pattern, key-in, date or time picture.
struct PictureStep {
    enum Type {
        Literal,         // text
        Digit,           // "#"
        DigitBlank,      // "<"
        Letter,          // "@" (K)
        LetterUpper,     // "^" (K)
        LetterLower,     // "_" (K)
        AnyChar,         // "?" (K)
        Month,           // mm / Mm (or M)
        MonthShortName,  // NNN
        MonthLongName,   // NNNN...
        Day,             // dd / Dd
        Year2,           // yy
        Year4,           // yyyy
        WeekdayShort,    // WWW
        WeekdayLong,     // WWWW...
        Hour,            // hh / Hh (1..12 when the model has PP)
        Minute,          // mm after an hour
        Second,          // ss
        AmPm,            // PP
    };
    Type type = Literal;
    bool padded = true;  // two digits with a leading zero ("mm"), or the zero dropped ("Mm")
    std::string text;    // Literal only
};

// The number model of an N picture.
struct PictureNumber {
    std::string leadingCurrency, trailingCurrency;
    char signMark = 0;  // 0, '(' or '-' (leading)
    bool trailingMinus = false;
    char fill = 0;  // 0 (blanks), '0', '_' (blanks, no grouping) or '*'
    int width = 0;
    char grouping = 0;        // shown grouping character, 0 for none
    char decimalPoint = '.';  // shown decimal character, 0 for an implied decimal
    int decimals = 0;
};

struct Picture {
    std::string text;  // as compiled
    PictureKind kind = PictureKind::String;
    bool blankWhenZero = false;
    int width = 0;                   // S: length; E: width; D/T: picture number
    int decimals = 0;                // E
    PictureNumber number;            // N
    std::vector<PictureStep> steps;  // P, K, D, T
    bool twelveHour = false;         // T (and models) with PP
};

// The models of the date pictures D1..D18 and the time pictures T1..T6 (index 0 unused).
extern const char* const kDateModels[19];
extern const char* const kTimeModels[7];

// Compiles (or takes from the cache) the picture; nullptr when the text is not a valid picture.
std::shared_ptr<const Picture> compilePicture(std::string_view text);

// Compiles a date or time model in the notation of kDateModels ("Dd NNN yyyy", "Hh:mmPP"); "\"
// makes the next character literal. Never fails: unknown characters are literal.
std::vector<PictureStep> compileModel(std::string_view model, bool& twelveHour);

// Format a number (all kinds; S shows the number's plain text) or a text (S shows it; the numeric
// kinds read the number the text starts with; K places its characters).
std::string formatNumber(const Picture& picture, double value);
std::string formatText(const Picture& picture, std::string_view text);
std::string format(std::string_view picture, double value);
std::string format(std::string_view picture, std::string_view text);

// A date or time through a model of the kDateModels notation.
std::string formatDateModel(std::int64_t dayNumber, std::string_view model);
std::string formatTimeModel(std::int64_t timeValue, std::string_view model);

// Reads typed text back. ok is false when the text cannot be a value of the picture (a date that
// does not exist, letters in a number); blank text is a valid 0 for the numeric kinds.
struct DeformatResult {
    bool ok = false;
    bool isText = false;  // S and K give text
    double number = 0;
    std::string text;
};
DeformatResult deformatValue(const Picture& picture, std::string_view text);
// The value as text ("" when not ok): numbers in plain decimal ("1234.5"), dates as day numbers,
// times as time values.
std::string deformat(std::string_view picture, std::string_view text);

// The number a text starts with: blanks, an optional sign, digits with an optional fraction and
// exponent; 0 when there is none. *complete tells whether the whole text (but blanks) was the number.
double leadingNumber(std::string_view text, bool* complete = nullptr);

// Plain decimal text of a number: whole numbers without a point, others with up to 15 significant
// digits ("0.1", "-2.5", "150").
std::string numberText(double value);

// The desktop's regional settings (section "intl" of a settings file).
struct RegionalSettings {
    int iTime = 0;    // 0: 12-hour clock, 1: 24-hour clock
    int iTLzero = 0;  // 1: hours with a leading zero
    std::string sTime = ":";
    std::string s1159 = "AM";
    std::string s2359 = "PM";
    std::string sShortDate = "MM/dd/yy";
    std::string sLongDate = "ddd', 'MMMM' 'dd', 'yyyy";
};
const RegionalSettings& regionalSettings();
void setRegionalSettings(const RegionalSettings& settings);
// Reads the settings through a reader of (key, default) in section "intl"; keys that are missing
// keep the defaults above.
RegionalSettings readRegionalSettings(std::string (*readIntl)(std::string_view key, std::string_view defaultValue));

// A regional date format ("MM/dd/yy", "dddd, MMMM d, yyyy", quotes for literal text) as a model.
std::string modelFromRegionalDate(std::string_view format);
std::string regionalShortDateModel();
std::string regionalLongDateModel();
std::string regionalTimeModel();  // from iTime, iTLzero and sTime

}  // namespace sitedex::runtime
