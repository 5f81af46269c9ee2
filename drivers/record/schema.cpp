#include "drivers/record/schema.h"

#include <algorithm>

namespace sitedex::record {

namespace {

bool acceptedType(uint8_t t) {
    switch (t) {
        case 1: case 2: case 3: case 6: case 7: case 8: case 9: case 10:
        case 18: case 19: case 20: case 21: case 22: case 24: case 27:
            return true;
        default:
            return false;
    }
}

bool isText(uint8_t t) { return t == kTypeString || t == kTypeCString || t == kTypePString; }

void appendText(std::string& out, const std::string& s) {
    out.append(s);
    out.push_back('\0');
    if (s.empty()) out.push_back('\0');
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

// A name as the comparison of definitions sees it: upper case, without the "PREFIX:" a program
// gives it, so that a file made under one prefix opens under a declaration with another prefix
// and the same layout (the program reads another database's locations that way).
std::string comparedName(const std::string& name) {
    const size_t colon = name.find(':');
    return upper(colon == std::string::npos ? name : name.substr(colon + 1));
}

class Reader {
public:
    explicit Reader(std::string_view s) : m_s(s) {}
    bool u8(uint8_t& v) {
        if (m_pos >= m_s.size()) return false;
        v = uint8_t(m_s[m_pos++]);
        return true;
    }
    bool u16(uint16_t& v) {
        if (m_s.size() - m_pos < 2) return false;
        v = get16(bytes(m_s) + m_pos);
        m_pos += 2;
        return true;
    }
    bool text(std::string& out) {
        size_t z = m_s.find('\0', m_pos);
        if (z == std::string_view::npos) return false;
        out.assign(m_s.substr(m_pos, z - m_pos));
        m_pos = z + 1;
        if (out.empty()) {  // empty (0 0) or missing (0 1)
            uint8_t marker;
            if (!u8(marker) || marker > 1) return false;
        }
        return true;
    }
    bool done() const { return m_pos == m_s.size(); }

private:
    std::string_view m_s;
    size_t m_pos = 0;
};

std::string stream(const Schema& s, bool forCompare) {
    std::string out;
    bool anyBinary = std::any_of(s.memos.begin(), s.memos.end(), [](const Memo& m) { return m.binary(); });
    append16(out, anyBinary ? 2 : 1);
    append16(out, uint16_t(s.recordSize));
    append16(out, uint16_t(s.fields.size()));
    append16(out, uint16_t(s.memos.size()));
    append16(out, uint16_t(s.keys.size()));
    for (const Field& f : s.fields) {
        out.push_back(char(f.type));
        append16(out, f.offset);
        appendText(out, forCompare ? comparedName(f.name) : f.name);
        append16(out, f.elements);
        // The three description values: element size, total size, reserved.
        append16(out, f.size);
        append16(out, uint16_t(f.size * f.elements));
        append16(out, 0);
        if (f.type == kTypeDecimal || f.type == kTypePDecimal) {
            out.push_back(char(f.digits));
            out.push_back(char(f.places));
        }
        if (isText(f.type)) {
            append16(out, f.size);  // the text's length
            appendText(out, f.picture);
        }
    }
    for (const Memo& m : s.memos) {
        appendText(out, forCompare ? upper(m.externalName) : m.externalName);
        appendText(out, forCompare ? comparedName(m.name) : m.name);
        append16(out, m.maxSize);
        append16(out, forCompare ? uint16_t(m.flags & kMemoBinary) : m.flags);
    }
    for (const Key& k : s.keys) {
        appendText(out, forCompare ? upper(k.externalName) : k.externalName);
        appendText(out, forCompare ? comparedName(k.name) : k.name);
        out.push_back(char(forCompare ? (k.attributes & ~kKeyIgnoredOnCompare) : k.attributes));
        append16(out, uint16_t(k.parts.size()));
        for (const KeyPart& p : k.parts) {
            append16(out, p.field);
            append16(out, p.descending ? 1 : 0);
        }
    }
    return out;
}

}  // namespace

size_t Schema::keyValueLength(size_t key) const {
    size_t n = 0;
    for (const KeyPart& p : keys[key].parts) n += fields[p.field].size;
    return n;
}

Status validateSchema(const Schema& s) {
    if (s.recordSize == 0 || s.recordSize + 9 + 5 + kTreeHeader > kMaxPage)
        return Status::error(kBadDeclaration, "record size out of range");
    if (s.keys.size() > kMaxKeys) return Status::error(kBadDeclaration, "too many keys");
    for (const Field& f : s.fields) {
        if (!acceptedType(f.type)) return Status::error(kUnsupportedType, f.name);
        if (f.elements == 0 || uint32_t(f.offset) + uint32_t(f.size) * f.elements > s.recordSize)
            return Status::error(kBadDeclaration, f.name + " lies outside the record");
    }
    for (size_t k = 0; k < s.keys.size(); ++k) {
        const Key& key = s.keys[k];
        if (key.parts.empty()) return Status::error(kBadDeclaration, key.name + " has no components");
        for (const KeyPart& p : key.parts) {
            if (p.field >= s.fields.size()) return Status::error(kBadDeclaration, key.name);
            if (s.fields[p.field].elements != 1) return Status::error(kBadFieldType, key.name);
        }
        if (s.keyValueLength(k) + 5 + 4 + 4 + 5 + kTreeHeader + 4 > kMaxPage)
            return Status::error(kBadDeclaration, key.name + " is too long");
    }
    return {};
}

std::string definitionStream(const Schema& s) { return stream(s, false); }

bool sameDefinition(const Schema& a, const Schema& b) { return stream(a, true) == stream(b, true); }

Status parseDefinition(std::string_view bytesIn, Schema& out) {
    Reader r(bytesIn);
    out = {};
    uint16_t version, recSize, nf, nm, nk;
    auto bad = [] { return Status::error(kBadDeclaration, "stored definition is malformed"); };
    if (!r.u16(version) || (version != 1 && version != 2) || !r.u16(recSize) || !r.u16(nf) || !r.u16(nm) || !r.u16(nk))
        return bad();
    out.recordSize = recSize;
    for (uint16_t i = 0; i < nf; ++i) {
        Field f;
        uint16_t v1, v2, v3;
        if (!r.u8(f.type) || !r.u16(f.offset) || !r.text(f.name) || !r.u16(f.elements) || !r.u16(v1) || !r.u16(v2) ||
            !r.u16(v3))
            return bad();
        f.size = v1;
        if (f.type == kTypeDecimal || f.type == kTypePDecimal)
            if (!r.u8(f.digits) || !r.u8(f.places)) return bad();
        if (isText(f.type)) {
            uint16_t len;
            if (!r.u16(len) || !r.text(f.picture)) return bad();
        }
        out.fields.push_back(std::move(f));
    }
    for (uint16_t i = 0; i < nm; ++i) {
        Memo m;
        if (!r.text(m.externalName) || !r.text(m.name) || !r.u16(m.maxSize) || !r.u16(m.flags)) return bad();
        out.memos.push_back(std::move(m));
    }
    for (uint16_t i = 0; i < nk; ++i) {
        Key k;
        uint16_t parts;
        if (!r.text(k.externalName) || !r.text(k.name) || !r.u8(k.attributes) || !r.u16(parts)) return bad();
        for (uint16_t j = 0; j < parts; ++j) {
            KeyPart p;
            uint16_t flags;
            if (!r.u16(p.field) || !r.u16(flags)) return bad();
            p.descending = flags & 1;
            k.parts.push_back(p);
        }
        out.keys.push_back(std::move(k));
    }
    if (!r.done()) return bad();
    Status v = validateSchema(out);
    if (!v.ok()) return Status::error(kBadDeclaration, "stored definition: " + v.detail);
    return {};
}

namespace {

void encodeText(const uint8_t* p, size_t n, bool noCase, uint8_t* out) {
    if (!noCase) {
        std::memcpy(out, p, n);  // the runtime's collating table is the identity
        return;
    }
    // Eight bytes at a time: a byte below 0x80 whose seven bits lie in 'a'..'z' loses bit 5.
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, 8);
        uint64_t low = x & ~kHigh;
        uint64_t fromA = low + (0x80 - 'a') * kOnes;     // bit 7 set where the byte is >= 'a'
        uint64_t pastZ = low + (0x80 - 'z' - 1) * kOnes;  // bit 7 set where the byte is > 'z'
        uint64_t lower = fromA & ~pastZ & ~x & kHigh;
        x ^= lower >> 2;
        std::memcpy(out + i, &x, 8);
    }
    for (; i < n; ++i) {
        uint8_t c = p[i];
        out[i] = c >= 'a' && c <= 'z' ? uint8_t(c - 'a' + 'A') : c;
    }
}

void reverseInto(const uint8_t* p, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n; ++i) out[i] = p[n - 1 - i];
}

}  // namespace

std::string encodeKeyValue(const Schema& s, size_t key, const uint8_t* record) {
    const Key& k = s.keys[key];
    std::string out(s.keyValueLength(key), '\0');
    auto* o = reinterpret_cast<uint8_t*>(out.data());
    bool noCase = k.attributes & kKeyNoCase;
    for (const KeyPart& part : k.parts) {
        const Field& f = s.fields[part.field];
        const uint8_t* p = record + f.offset;
        size_t n = f.size;
        switch (f.type) {
            case kTypeString:
            case kTypeGroup:
                if (f.type == kTypeString)
                    encodeText(p, n, noCase, o);
                else
                    std::memcpy(o, p, n);
                break;
            case kTypeCString: {
                size_t len = 0;
                while (len < n && p[len]) ++len;
                std::memset(o, 0, n);
                encodeText(p, len, noCase, o);
                break;
            }
            case kTypePString: {
                size_t len = n ? std::min<size_t>(p[0], n - 1) : 0;
                std::memset(o, 0, n);
                encodeText(p + 1, len, noCase, o);
                break;
            }
            case kTypeUShort:
            case kTypeULong:
                reverseInto(p, n, o);
                break;
            case kTypeShort:
            case kTypeLong:
                reverseInto(p, n, o);
                if (n) o[0] ^= 0x80;
                break;
            case kTypeSReal:
            case kTypeReal:
                reverseInto(p, n, o);
                if (n && (o[0] & 0x80)) {
                    for (size_t i = 0; i < n; ++i) o[i] = uint8_t(~o[i]);
                } else if (n) {
                    o[0] |= 0x80;
                }
                break;
            case kTypeDecimal:
                std::memcpy(o, p, n);
                if (n && (o[0] & 0xF0)) {
                    o[0] &= 0x0F;
                    for (size_t i = 0; i < n; ++i) o[i] = uint8_t(~o[i]);
                }
                if (n) o[0] ^= 0x80;
                break;
            default:
                std::memcpy(o, p, n);
                break;
        }
        if (part.descending)
            for (size_t i = 0; i < n; ++i) o[i] = uint8_t(255 - o[i]);
        o += n;
    }
    return out;
}

bool isBlankKeyValue(const Schema& s, size_t key, const uint8_t* record) {
    for (const KeyPart& part : s.keys[key].parts) {
        const Field& f = s.fields[part.field];
        const uint8_t* p = record + f.offset;
        switch (f.type) {
            case kTypeString:
            case kTypeGroup:
                for (size_t i = 0; i < f.size; ++i)
                    if (p[i] != ' ') return false;
                break;
            case kTypeCString:
            case kTypePString:
                if (f.size && p[0] != 0) return false;
                break;
            default:
                for (size_t i = 0; i < f.size; ++i)
                    if (p[i] != 0) return false;
                break;
        }
    }
    return true;
}

}  // namespace sitedex::record
