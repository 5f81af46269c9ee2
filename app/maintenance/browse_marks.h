#pragma once
// Key marks for the vertical thumb of a browse: 100 key values spread evenly between the first and
// the last key of a view, so that a thumb position maps to a key value (and back) with no counting of
// records.
//
// String marks work on the first characters that differ between the low and the high key: the text
// after their common prefix is read as a 4-digit number in base B, where B - 1 is the size of the
// mark alphabet (the characters allowed by the flags), and the range between the two numbers is cut
// in 99 equal steps. Numeric marks are plain linear steps.
//
// Letters are those of ASCII, and the bytes of UTF-8 text beyond ASCII when the low or high key holds
// such text.
//
// Guarantees: mark 1 is the low key's and mark 100 the high key's (both upper-cased for letters
// without case), the marks never decrease for low <= high, and any input (empty, reversed, non-ASCII
// bytes) gives 100 marks without reading outside the values.
//
// Callers: the browse engine; tests.

#include <cstdint>
#include <string>
#include <string_view>

namespace sitedex::app::maintenance {

enum MarkFlags : int {
    kMarkLetters = 1,
    kMarkPunctuation = 2,
    kMarkDigits = 4,
    kMarkCaseSensitive = 8,
};

class StringMarks {
public:
    // A nonzero `lettersOnly` forces the flags to kMarkLetters (as the browses ask).
    void setup(std::string_view low, std::string_view high, int length, int flags, int lettersOnly = 0);
    // The next of the 100 marks (the 101st and later repeat the arithmetic past the high tail).
    std::string next();

    const std::string& alphabet() const { return m_alphabet; }
    int base() const { return int(m_alphabet.size()) + 1; }
    const std::string& prefix() const { return m_prefix; }
    // How many leading characters of a key the marks speak of (the prefix and four more).
    size_t significant() const { return m_prefix.size() + 4; }

private:
    int digitOf(unsigned char c) const;
    int64_t numberOf(std::string_view tail) const;

    std::string m_alphabet;
    std::string m_prefix;
    std::string m_lowTail;
    std::string m_highTail;
    int64_t m_low = 0;
    int64_t m_step = 0;
    int m_counter = 0;
};

// Numeric mark i (1..100) between low and high.
double numericMark(double low, double high, int i);

}  // namespace sitedex::app::maintenance
