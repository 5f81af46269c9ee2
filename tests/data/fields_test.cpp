#include "data/fields.h"

#include <gtest/gtest.h>

#include <cstring>

namespace sitedex::data {
namespace {

TEST(Fields, Utf8CutKeepsWholeCharacters) {
    // "é" is 2 bytes, "€" 3 bytes.
    EXPECT_EQ(utf8Prefix("abc", 5), "abc");
    EXPECT_EQ(utf8Prefix("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(utf8Prefix("ab\xC3\xA9", 4), "ab\xC3\xA9");
    EXPECT_EQ(utf8Prefix("a\xE2\x82\xAC", 3), "a");
    EXPECT_EQ(utf8Prefix("a\xE2\x82\xAC", 2), "a");
    EXPECT_EQ(utf8Prefix("a\xE2\x82\xACz", 4), "a\xE2\x82\xAC");
}

TEST(Fields, StringIsCutAndPadded) {
    FieldDecl f{"T:S", kTypeString, 1, 4};
    char rec[6];
    std::memset(rec, 'x', sizeof rec);
    setString(f, rec, "ab");
    EXPECT_EQ(std::string(rec, 6), "xab  x");
    EXPECT_EQ(getString(f, rec), "ab");
    setString(f, rec, "abc\xC3\xA9");  // 5 bytes into 4: the é does not fit
    EXPECT_EQ(std::string(rec, 6), "xabc x");
    FieldDecl c{"T:C", kTypeCString, 0, 4};
    setString(c, rec, "abcdef");
    EXPECT_EQ(std::string(rec, 4), std::string("abc\0", 4));
    EXPECT_EQ(getString(c, rec), "abc");
    FieldDecl p{"T:P", kTypePString, 0, 4};
    setString(p, rec, "hello");
    EXPECT_EQ(rec[0], 3);
    EXPECT_EQ(getString(p, rec), "hel");
}

TEST(Fields, LongIsLittleEndianAndRangeChecked) {
    FieldDecl f{"T:L", kTypeLong, 0, 4};
    unsigned char rec[4] = {};
    ASSERT_TRUE(setInteger(f, reinterpret_cast<char*>(rec), -2));
    EXPECT_EQ(rec[0], 0xFE);
    EXPECT_EQ(rec[3], 0xFF);
    EXPECT_EQ(getInteger(f, reinterpret_cast<char*>(rec)), -2);
    EXPECT_FALSE(setInteger(f, reinterpret_cast<char*>(rec), int64_t(1) << 40));
    EXPECT_EQ(getInteger(f, reinterpret_cast<char*>(rec)), -2);
    FieldDecl b{"T:B", kTypeByte, 0, 1};
    EXPECT_FALSE(setInteger(b, reinterpret_cast<char*>(rec), 256));
    EXPECT_TRUE(setInteger(b, reinterpret_cast<char*>(rec), 255));
    EXPECT_EQ(getInteger(b, reinterpret_cast<char*>(rec)), 255);
}

TEST(Fields, DecimalPackedLayout) {
    FieldDecl rating{"URL:RATING", kTypeDecimal, 0, 2, 2, 0};
    unsigned char rec[2];
    auto set = [&](int64_t v) { return setDecimalUnscaled(rating, reinterpret_cast<char*>(rec), v); };
    ASSERT_TRUE(set(99));
    EXPECT_EQ(rec[0], 0x00);
    EXPECT_EQ(rec[1], 0x99);
    ASSERT_TRUE(set(-7));
    EXPECT_EQ(rec[0], 0xF0);
    EXPECT_EQ(rec[1], 0x07);
    EXPECT_EQ(getDecimalUnscaled(rating, reinterpret_cast<char*>(rec)), -7);
    EXPECT_FALSE(set(100));  // two digits declared
    EXPECT_EQ(getDecimalUnscaled(rating, reinterpret_cast<char*>(rec)), -7);
    ASSERT_TRUE(set(0));
    EXPECT_EQ(rec[0], 0x00);  // zero has no negative form

    FieldDecl money{"T:M", kTypeDecimal, 0, 3, 5, 2};
    char m[3];
    ASSERT_TRUE(setNumber(money, m, 123.456));
    EXPECT_EQ(getDecimalUnscaled(money, m), 12346);
    EXPECT_DOUBLE_EQ(getNumber(money, m), 123.46);
    EXPECT_EQ(static_cast<unsigned char>(m[0]), 0x01);
    EXPECT_EQ(static_cast<unsigned char>(m[1]), 0x23);
    EXPECT_EQ(static_cast<unsigned char>(m[2]), 0x46);
    EXPECT_EQ(getString(money, m), "123.46");
}

TEST(Fields, DecimalOrdersAsKeyBytes) {
    // The record driver's key form: invert a negative value's bytes after clearing its sign, then flip
    // the first byte's top bit. Byte order must then follow numeric order.
    FieldDecl f{"T:D", kTypeDecimal, 0, 2, 3, 0};
    auto key = [&](int64_t v) {
        unsigned char r[2];
        EXPECT_TRUE(setDecimalUnscaled(f, reinterpret_cast<char*>(r), v));
        if (r[0] >> 4) {
            r[0] &= 0x0F;
            r[0] = static_cast<unsigned char>(~r[0]);
            r[1] = static_cast<unsigned char>(~r[1]);
        }
        r[0] ^= 0x80;
        return std::string(reinterpret_cast<char*>(r), 2);
    };
    int64_t values[] = {-999, -12, -3, 0, 7, 12, 999};
    for (size_t i = 0; i + 1 < std::size(values); ++i) EXPECT_LT(key(values[i]), key(values[i + 1])) << values[i];
}

}  // namespace
}  // namespace sitedex::data
