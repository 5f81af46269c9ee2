// Key orders: each case declares a one-key table, adds records in a scrambled order and reads the
// key from the start; the key must list them in the expected order.

#include <fstream>
#include <iterator>

#include "tests/drivers/record_fixture.h"

namespace sitedex::record {
namespace {

using namespace testing;

std::string longBytes(int32_t v) {
    std::string s(4, '\0');
    put32(reinterpret_cast<uint8_t*>(s.data()), uint32_t(v));
    return s;
}

std::string decimalBytes(int v) {  // DECIMAL(5,0): sign nibble + five digits in three bytes
    int a = v < 0 ? -v : v;
    std::string s(3, '\0');
    s[0] = char(((v < 0 ? 0xD : 0) << 4) | (a / 10000 % 10));
    s[1] = char(((a / 1000 % 10) << 4) | (a / 100 % 10));
    s[2] = char(((a / 10 % 10) << 4) | (a % 10));
    return s;
}

std::string realBytes(double v) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &v, 8);
    return s;
}

struct OrderCase {
    const char* name;
    uint8_t type;
    uint16_t size;
    uint8_t attributes;
    bool descending;
    std::vector<std::string> values;    // record images (one field), in insertion order
    std::vector<size_t> expectedOrder;  // indexes into values, as the key lists them
};

std::string padded(const std::string& s, size_t n) {
    std::string v = s;
    v.resize(n, ' ');
    return v;
}

class KeyOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(KeyOrder, KeyListsRecordsInDeclaredOrder) {
    const OrderCase& c = GetParam();
    TempDir dir;
    Schema s;
    s.recordSize = c.size;
    Field f;
    f.type = c.type;
    f.name = "T:V";
    f.size = c.size;
    if (c.type == kTypeDecimal) f.digits = 5;
    s.fields.push_back(f);
    Key k;
    k.name = "T:K";
    k.attributes = c.attributes;
    k.parts = {{0, c.descending}};
    s.keys.push_back(k);
    std::string path = dir.file("T.VLX");
    ASSERT_TRUE(RecordFile::create(path, "UNNAMED", s, fastOptions()).ok());
    std::unique_ptr<RecordFile> file;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), file).ok());
    for (const std::string& v : c.values) {
        uint32_t r;
        ASSERT_TRUE(file->add(v, nullptr, r).ok()) << c.name;
    }
    std::vector<size_t> got;
    Cursor cur(*file, 0);
    for (cur.seekFirst(); cur.valid(); cur.next()) got.push_back(cur.recno() - 1);
    EXPECT_EQ(got, c.expectedOrder) << c.name;
    // and backwards
    std::vector<size_t> back;
    for (cur.seekLast(); cur.valid(); cur.previous()) back.insert(back.begin(), cur.recno() - 1);
    EXPECT_EQ(back, c.expectedOrder) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Orders, KeyOrder,
    ::testing::Values(
        OrderCase{"case-insensitive", kTypeString, 8, kKeyNoCase | kKeyDuplicates, false,
                  {padded("cherry", 8), padded("Banana", 8), padded("apple", 8)}, {2, 1, 0}},
        OrderCase{"case-sensitive", kTypeString, 8, kKeyDuplicates, false,
                  {padded("cherry", 8), padded("Banana", 8), padded("apple", 8)}, {1, 2, 0}},
        OrderCase{"non-ASCII bytes keep their order", kTypeString, 8, kKeyNoCase | kKeyDuplicates, false,
                  {padded("\xc3\xa9t\xc3\xa9", 8), padded("zoo", 8), padded("\xc3\x89T\xc3\x89", 8)}, {1, 2, 0}},
        OrderCase{"LONG", kTypeLong, 4, kKeyDuplicates, false,
                  {longBytes(3), longBytes(-1), longBytes(0), longBytes(-5), longBytes(70000)}, {3, 1, 2, 0, 4}},
        OrderCase{"LONG descending", kTypeLong, 4, kKeyDuplicates, true,
                  {longBytes(-1), longBytes(3), longBytes(-5), longBytes(0)}, {1, 3, 0, 2}},
        OrderCase{"DECIMAL", kTypeDecimal, 3, kKeyDuplicates, false,
                  {decimalBytes(7), decimalBytes(-3), decimalBytes(0), decimalBytes(-12), decimalBytes(120)},
                  {3, 1, 2, 0, 4}},
        OrderCase{"DECIMAL descending", kTypeDecimal, 3, kKeyDuplicates, true,
                  {decimalBytes(7), decimalBytes(-3), decimalBytes(0), decimalBytes(-12)}, {0, 2, 1, 3}},
        OrderCase{"REAL", kTypeReal, 8, kKeyDuplicates, false,
                  {realBytes(2.5), realBytes(-0.5), realBytes(-100), realBytes(0), realBytes(1e9)}, {2, 1, 3, 0, 4}},
        OrderCase{"duplicates follow record numbers", kTypeString, 4, kKeyDuplicates, false,
                  {"bbbb", "aaaa", "bbbb", "aaaa", "bbbb"}, {1, 3, 0, 2, 4}},
        OrderCase{"blank values left out", kTypeString, 4, kKeyDuplicates | kKeyExcludeBlank, false,
                  {"    ", "b   ", "    ", "a   "}, {3, 1}},
        OrderCase{"blank values kept without attribute 2", kTypeString, 4, kKeyDuplicates, false,
                  {"b   ", "    ", "a   "}, {1, 2, 0}}),
    [](const ::testing::TestParamInfo<OrderCase>& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

// A case-insensitive text key folds 'a'..'z' and nothing else, whatever the byte's place in the
// field: every byte value at every place of a long field against a model.
TEST(KeyRules, CaseFoldingTouchesOnlyLowercaseLetters) {
    Schema s;
    s.recordSize = 300;
    Field f;
    f.type = kTypeString;
    f.name = "T:V";
    f.size = 300;
    s.fields.push_back(f);
    Key k;
    k.name = "T:K";
    k.attributes = kKeyNoCase | kKeyDuplicates;
    k.parts = {{0, false}};
    s.keys.push_back(k);
    for (int shift = 0; shift < 9; ++shift) {
        std::string rec(300, ' ');
        for (size_t i = 0; i < 300; ++i) rec[i] = char((i * 7 + size_t(shift) * 31) % 256);
        std::string expected = rec;
        for (char& c : expected)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        std::string got = encodeKeyValue(s, 0, reinterpret_cast<const uint8_t*>(rec.data()));
        ASSERT_EQ(got.size(), 300u);
        for (size_t i = 0; i < 300; ++i)
            ASSERT_EQ(uint8_t(got[i]), uint8_t(expected[i])) << "byte " << i << " of value " << int(uint8_t(rec[i]));
    }
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(KeyRules, LocationsKeysOrderAndTheUniqueCheckLeavesTheFileUnchanged) {
    TempDir dir;
    Schema s = locationsSchema();
    std::string path = dir.file("URL_L.VLX");
    ASSERT_TRUE(RecordFile::create(path, "UNNAMED", s, fastOptions()).ok());
    std::unique_ptr<RecordFile> file;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), file).ok());
    uint32_t r;
    ASSERT_TRUE(file->add(location("http://b.example/", "Same", "Cat", 1), nullptr, r).ok());
    ASSERT_TRUE(file->add(location("http://a.example/", "Same", "Cat", 99), nullptr, r).ok());
    ASSERT_TRUE(file->add(location("", "Blank address", "Cat", 50), nullptr, r).ok());
    ASSERT_TRUE(file->add(location("http://c.example/", "Other", "Cat", 99), nullptr, r).ok());

    std::string before = fileBytes(path);
    EXPECT_EQ(file->add(location("HTTP://A.EXAMPLE/", "Dup", "X", 3), nullptr, r).code, kDuplicate);
    EXPECT_EQ(file->put(1, location("http://C.example/"), nullptr).code, kDuplicate);
    EXPECT_EQ(fileBytes(path), before);  // not one byte changed

    auto order = [&](int key) {
        std::vector<uint32_t> got;
        Cursor c(*file, key);
        for (c.seekFirst(); c.valid(); c.next()) got.push_back(c.recno());
        return got;
    };
    EXPECT_EQ(order(0), (std::vector<uint32_t>{2, 1, 4}));        // K_LOCATION leaves the blank address out
    EXPECT_EQ(order(1), (std::vector<uint32_t>{3, 4, 1, 2}));     // K_DESCRIPTION, duplicates by record
    EXPECT_EQ(order(4), (std::vector<uint32_t>{4, 2, 3, 1}));     // K_RATING: 99 first, ties by description
    uint32_t n;
    ASSERT_TRUE(file->keyCount(0, n).ok());
    EXPECT_EQ(n, 3u);
    ASSERT_TRUE(file->keyCount(1, n).ok());
    EXPECT_EQ(n, 4u);
    // a blank address may occur more than once: it is in no unique key
    EXPECT_TRUE(file->add(location("", "Second blank", "Cat", 5), nullptr, r).ok());
    // rebuilding the keys gives the same orders
    ASSERT_TRUE(file->buildKeys(-1).ok());
    EXPECT_EQ(order(4), (std::vector<uint32_t>{4, 2, 3, 5, 1}));
    RecordFile::CheckReport rep;
    EXPECT_TRUE(file->check(rep).ok());
}

}  // namespace
}  // namespace sitedex::record
