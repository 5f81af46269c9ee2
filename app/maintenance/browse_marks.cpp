#include "app/maintenance/browse_marks.h"

#include <algorithm>

namespace sitedex::app::maintenance {

namespace {
// The punctuation the marks may use: blank to "/", ":", ";", "=", "?", "@", "[" to "`", "|", "~" and
// the pound sign of the ANSI code page.
bool isMarkPunctuation(int c) {
    return (c >= 32 && c <= 47) || c == 58 || c == 59 || c == 61 || c == 63 || c == 64 || (c >= 91 && c <= 96) ||
           c == 124 || c == 126 || c == 163;
}
// Letters and case are those of ASCII: every other byte keeps its order (as keys compare them).
bool isUpperLetter(int c) { return c >= 'A' && c <= 'Z'; }
bool isLowerLetter(int c) { return c >= 'a' && c <= 'z'; }
char upper(char c) { return isLowerLetter((unsigned char)c) ? char(c - 'a' + 'A') : c; }

std::string clipped(std::string_view v, int length) {
    std::string s(v.substr(0, size_t(std::max(0, length))));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}
}  // namespace

void StringMarks::setup(std::string_view low, std::string_view high, int length, int flags, int lettersOnly) {
    if (lettersOnly) flags = kMarkLetters;
    // Text beyond ASCII is UTF-8, whose letters are made of the bytes 128 to 255: when the keys hold
    // such text, those bytes count as letters (in their byte order, as the keys sort them), or every
    // Cyrillic or accented key would stand past the last mark.
    auto beyondAscii = [&](std::string_view v) {
        for (char ch : clipped(v, length))
            if ((unsigned char)ch >= 128) return true;
        return false;
    };
    const bool utf8Letters = (flags & kMarkLetters) && (beyondAscii(low) || beyondAscii(high));
    m_alphabet.clear();
    for (int c = 1; c <= 255; ++c) {
        bool in = false;
        if (c >= 128 && utf8Letters)
            in = true;
        else if (c >= '0' && c <= '9')
            in = flags & kMarkDigits;
        else if (isMarkPunctuation(c))
            in = flags & kMarkPunctuation;
        else if (isUpperLetter(c))
            in = flags & kMarkLetters;
        else if (isLowerLetter(c))
            in = (flags & kMarkLetters) && (flags & kMarkCaseSensitive);
        if (in) m_alphabet.push_back(char(c));
    }
    const bool foldCase = (flags & kMarkLetters) && !(flags & kMarkCaseSensitive);

    std::string lo = clipped(low, length);
    std::string hi = clipped(high, length);
    if (int(hi.size()) < length && !m_alphabet.empty()) hi.append(size_t(length) - hi.size(), m_alphabet.back());

    size_t common = 0;
    while (common < lo.size() && common < hi.size() && lo[common] == hi[common]) ++common;
    m_prefix = lo.substr(0, common);
    m_lowTail = lo.substr(common, 4);
    m_highTail = hi.substr(common, 4);
    if (foldCase) {
        // The thumb compares marks with upper-cased keys, so the prefix folds like the tails.
        for (char& c : m_prefix) c = upper(c);
        for (char& c : m_lowTail) c = upper(c);
        for (char& c : m_highTail) c = upper(c);
    }
    m_low = numberOf(m_lowTail);
    m_step = std::max<int64_t>(0, (numberOf(m_highTail) - m_low) / 99);
    m_counter = 0;
}

int StringMarks::digitOf(unsigned char c) const {
    size_t at = m_alphabet.find(char(c));
    return at == std::string::npos ? 0 : int(at) + 1;
}

int64_t StringMarks::numberOf(std::string_view tail) const {
    int64_t n = 0;
    for (size_t k = 0; k < 4; ++k) n = n * base() + (k < tail.size() ? digitOf((unsigned char)tail[k]) : 0);
    return n;
}

std::string StringMarks::next() {
    ++m_counter;
    if (m_counter == 1) return m_prefix + m_lowTail;
    if (m_counter == 100) return m_prefix + m_highTail;
    int64_t v = m_low + m_step * (m_counter - 1);
    char digits[4];
    for (int k = 3; k >= 0; --k) {
        digits[k] = char(v % base());
        v /= base();
    }
    // Trailing zero digits write nothing (a shorter text sorts first). A zero before other digits is
    // written as a blank, which sorts before every character of the alphabet: dropping it would
    // shift the later digits left and make the mark sort after its successors.
    int used = 4;
    while (used > 0 && digits[used - 1] == 0) --used;
    std::string tail;
    for (int k = 0; k < used; ++k)
        tail.push_back(digits[k] > 0 && size_t(digits[k]) <= m_alphabet.size() ? m_alphabet[size_t(digits[k]) - 1] : ' ');
    return m_prefix + tail;
}

double numericMark(double low, double high, int i) {
    if (i >= 100) return high;
    if (i <= 1) return low;
    return low + (high - low) / 99 * (i - 1);
}

}  // namespace sitedex::app::maintenance
