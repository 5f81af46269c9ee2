#include "data/fields.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace sitedex::data {

namespace {

int64_t pow10(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

std::string_view clipRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

double parseNumber(std::string_view text) {
    size_t b = text.find_first_not_of(' ');
    if (b == std::string_view::npos) return 0;
    text = clipRight(text.substr(b));
    double v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() ? v : 0;
}

std::string numberText(double v) {
    if (v == std::floor(v) && std::fabs(v) < 9.2e18) return std::to_string(int64_t(v));
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace

std::string_view utf8Prefix(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t n = maxBytes;
    // Step back over continuation bytes to the lead byte of the character that does not fit.
    size_t i = n;
    while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) --i;
    if (i < n) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (i + len > n) n = i;
    }
    return text.substr(0, n);
}

std::string getString(const FieldDecl& f, const char* record) {
    const char* p = record + f.offset;
    switch (f.type) {
    case kTypeString:
    case kTypeGroup: return std::string(clipRight(std::string_view(p, f.size)));
    case kTypeCString: return std::string(p, strnlen(p, f.size));
    case kTypePString: {
        size_t n = std::min<size_t>(static_cast<unsigned char>(p[0]), f.size ? f.size - 1 : 0);
        return std::string(p + 1, n);
    }
    default: return numberText(getNumber(f, record));
    }
}

void setString(const FieldDecl& f, char* record, std::string_view text) {
    char* p = record + f.offset;
    switch (f.type) {
    case kTypeString:
    case kTypeGroup: {
        std::string_view t = utf8Prefix(text, f.size);
        std::memcpy(p, t.data(), t.size());
        std::memset(p + t.size(), ' ', f.size - t.size());
        return;
    }
    case kTypeCString: {
        if (f.size == 0) return;
        std::string_view t = utf8Prefix(text, f.size - 1);
        std::memcpy(p, t.data(), t.size());
        std::memset(p + t.size(), 0, f.size - t.size());
        return;
    }
    case kTypePString: {
        if (f.size == 0) return;
        std::string_view t = utf8Prefix(text, std::min<size_t>(f.size - 1, 255));
        p[0] = char(t.size());
        std::memcpy(p + 1, t.data(), t.size());
        std::memset(p + 1 + t.size(), 0, f.size - 1 - t.size());
        return;
    }
    default: setNumber(f, record, parseNumber(text)); return;
    }
}

int64_t getInteger(const FieldDecl& f, const char* record) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(record + f.offset);
    switch (f.type) {
    case kTypeByte: return p[0];
    case kTypeShort: return int16_t(uint16_t(p[0] | p[1] << 8));
    case kTypeUShort: return uint16_t(p[0] | p[1] << 8);
    case kTypeLong: return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    case kTypeULong: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    case kTypeDecimal: return getDecimalUnscaled(f, record) / pow10(f.places);
    default: return int64_t(getNumber(f, record));
    }
}

bool setInteger(const FieldDecl& f, char* record, int64_t v) {
    unsigned char* p = reinterpret_cast<unsigned char*>(record + f.offset);
    auto put = [&](uint64_t u, int bytes) {
        for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(u >> (8 * i));
    };
    switch (f.type) {
    case kTypeByte:
        if (v < 0 || v > 255) return false;
        put(uint64_t(v), 1);
        return true;
    case kTypeShort:
        if (v < INT16_MIN || v > INT16_MAX) return false;
        put(uint64_t(v), 2);
        return true;
    case kTypeUShort:
        if (v < 0 || v > UINT16_MAX) return false;
        put(uint64_t(v), 2);
        return true;
    case kTypeLong:
        if (v < INT32_MIN || v > INT32_MAX) return false;
        put(uint64_t(v), 4);
        return true;
    case kTypeULong:
        if (v < 0 || v > int64_t(UINT32_MAX)) return false;
        put(uint64_t(v), 4);
        return true;
    case kTypeDecimal:
        if (f.places > 18 || std::llabs(v) > INT64_MAX / pow10(f.places)) return false;
        return setDecimalUnscaled(f, record, v * pow10(f.places));
    default: return setNumber(f, record, double(v));
    }
}

int64_t getDecimalUnscaled(const FieldDecl& f, const char* record) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(record + f.offset);
    if (f.size == 0) return 0;
    bool negative = (p[0] >> 4) != 0;
    int64_t v = 0;
    size_t nibbles = size_t(f.size) * 2;
    for (size_t i = 1; i < nibbles; ++i) {
        unsigned d = (i % 2) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4);
        if (d > 9) d = 0;  // damaged digit: read as 0 rather than a value outside the field's range
        if (v > (INT64_MAX - 9) / 10) break;
        v = v * 10 + d;
    }
    return negative ? -v : v;
}

bool setDecimalUnscaled(const FieldDecl& f, char* record, int64_t v) {
    if (f.size == 0) return false;
    size_t nibbles = size_t(f.size) * 2 - 1;
    size_t digits = f.digits ? std::min<size_t>(f.digits, nibbles) : nibbles;
    uint64_t mag = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
    if (digits < 19 && mag >= uint64_t(pow10(int(digits)))) return false;
    unsigned char* p = reinterpret_cast<unsigned char*>(record + f.offset);
    std::memset(p, 0, f.size);
    for (size_t i = nibbles; i >= 1 && mag; --i) {
        unsigned d = unsigned(mag % 10);
        mag /= 10;
        if (i % 2) p[i / 2] |= d;
        else p[i / 2] |= d << 4;
    }
    if (v < 0) p[0] |= 0xF0;
    return true;
}

double getNumber(const FieldDecl& f, const char* record) {
    const char* p = record + f.offset;
    switch (f.type) {
    case kTypeByte:
    case kTypeShort:
    case kTypeUShort:
    case kTypeLong:
    case kTypeULong: return double(getInteger(f, record));
    case kTypeDecimal: return double(getDecimalUnscaled(f, record)) / double(pow10(f.places));
    case kTypeSReal: {
        float x;
        std::memcpy(&x, p, 4);
        return x;
    }
    case kTypeReal: {
        double x;
        std::memcpy(&x, p, 8);
        return x;
    }
    default: return parseNumber(getString(f, record));
    }
}

bool setNumber(const FieldDecl& f, char* record, double v) {
    if (!std::isfinite(v)) return false;
    switch (f.type) {
    case kTypeByte:
    case kTypeShort:
    case kTypeUShort:
    case kTypeLong:
    case kTypeULong:
        if (std::fabs(v) > 9.0e18) return false;
        return setInteger(f, record, int64_t(std::llround(std::trunc(v))));
    case kTypeDecimal: {
        double scaled = std::round(v * double(pow10(f.places)));
        if (std::fabs(scaled) > 9.0e18) return false;
        return setDecimalUnscaled(f, record, int64_t(scaled));
    }
    case kTypeSReal: {
        float x = float(v);
        std::memcpy(record + f.offset, &x, 4);
        return true;
    }
    case kTypeReal: std::memcpy(record + f.offset, &v, 8); return true;
    default: setString(f, record, numberText(v)); return true;
    }
}

std::string getString(const FieldRef& ref) {
    if (ref.memo >= 0) return ref.file->memo(size_t(ref.memo));
    return getString(*ref.field, ref.file->record());
}

void setString(const FieldRef& ref, std::string_view text) {
    if (ref.memo >= 0) {
        setMemo(*ref.file, size_t(ref.memo), text);
        return;
    }
    setString(*ref.field, ref.file->record(), text);
}

double getNumber(const FieldRef& ref) {
    if (ref.memo >= 0) return parseNumber(ref.file->memo(size_t(ref.memo)));
    return getNumber(*ref.field, ref.file->record());
}

bool setNumber(const FieldRef& ref, double value) {
    if (ref.memo >= 0) {
        setMemo(*ref.file, size_t(ref.memo), numberText(value));
        return true;
    }
    return setNumber(*ref.field, ref.file->record(), value);
}

void setMemo(FileDecl& file, size_t memoIndex, std::string_view text) {
    const MemoDecl& m = file.memos().at(memoIndex);
    file.memo(memoIndex) = std::string(utf8Prefix(text, m.maxSize));
}

}  // namespace sitedex::data
