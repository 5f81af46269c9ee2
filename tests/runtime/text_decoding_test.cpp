#include "runtime/text_decoding.h"

#include <gtest/gtest.h>

#include <string>

namespace sitedex::runtime {
namespace {

TEST(TextDecoding, Utf8ValidityFollowsTheEncodingRules) {
    struct Case {
        const char* bytes;
        bool valid;
        const char* what;
    } cases[] = {
        {"plain ascii text that runs past eight bytes", true, "ascii"},
        {"caf\xc3\xa9 \xe2\x80\x99 \xf0\x9f\x98\x80", true, "two, three and four byte characters"},
        {"\xc0\x80", false, "overlong NUL"},
        {"\xe0\x80\xaf", false, "overlong three-byte"},
        {"\xed\xa0\x80", false, "surrogate"},
        {"\xf4\x90\x80\x80", false, "past U+10FFFF"},
        {"caf\xe9", false, "a Latin-1 byte"},
        {"abc\xe2\x80", false, "a sequence cut at the end"},
        {"\x80", false, "a lone continuation byte"},
        {"\xf5\x80\x80\x80", false, "a byte that never starts a sequence"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.what;
}

TEST(TextDecoding, BytesThatAreNotUtf8ReadAsWindows1252) {
    EXPECT_EQ(toUtf8("caf\xe9 \x93quoted\x94 \x80 5"), "caf\xc3\xa9 \xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x82\xac 5");
    // Bytes the code page leaves undefined become the C1 control of that number; nothing is lost.
    EXPECT_EQ(windows1252ToUtf8("\x81\x9d"), "\xc2\x81\xc2\x9d");
    // Valid UTF-8 is kept even where it could also be read as Windows-1252.
    EXPECT_EQ(toUtf8("\xc3\xa9"), "\xc3\xa9");
}

TEST(TextDecoding, DocumentDecidesOnceAndDropsTheByteOrderMark) {
    DocumentDecoder d;
    std::string scratch;
    EXPECT_EQ(d.decode("\xef\xbb\xbf<!DOCTYPE x>", scratch), "<!DOCTYPE x>");
    EXPECT_EQ(d.decode("\xef\xbb\xbfnot at the start", scratch), "\xef\xbb\xbfnot at the start");
    EXPECT_EQ(d.decode("na\xc3\xafve", scratch), "na\xc3\xafve");
    EXPECT_FALSE(d.readsWindows1252());
    EXPECT_EQ(d.decode("Fran\xe7ois", scratch), "Fran\xc3\xa7ois");
    EXPECT_TRUE(d.readsWindows1252());
    // From now on the document is Windows-1252: these two bytes are the letters A-tilde and
    // copyright, as its other lines would be read.
    EXPECT_EQ(d.decode("\xc3\xa9", scratch), "\xc3\x83\xc2\xa9");
}

TEST(TextDecoding, CharacterReferencesAsBrowsersDecodeThem) {
    using enum ReferenceContext;
    struct Case {
        const char* in;
        ReferenceContext where;
        const char* out;
    } cases[] = {
        {"Tools &amp; Search", kText, "Tools & Search"},
        {"&lt;b&gt; &quot;x&quot;", kText, "<b> \"x\""},
        {"you&#39;re", kText, "you're"},
        {"&#x2019;&#X41;&#65", kText,
         "\xe2\x80\x99"
         "AA"},
        {"&#128;&#150;", kText, "\xe2\x82\xac\xe2\x80\x93"},  // 80-9F: the Windows-1252 characters
        {"&#x81;", kText, "\xc2\x81"},
        {"&#0;&#xD800;&#1114112;&#99999999999999999999;", kText, "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"&#; &#x; &#xg", kText, "&#; &#x; &#xg"},
        {"&amp;#8230;", kText, "&#8230;"},  // decoded once, not twice
        {"&copy 2020", kText, "\xc2\xa9 2020"},
        {"&notit;", kText, "\xc2\xacit;"},  // the longest name that matches is the old "not"
        {"&notin;", kText, "\xe2\x88\x89"},
        {"&NotEqualTilde;", kText, "\xe2\x89\x82\xcc\xb8"},
        {"&ampx", kText, "&x"},
        {"& b &unknown; &&amp;", kText, "& b &unknown; &&"},
        {"&region=eu", kText, "\xc2\xaeion=eu"},
        // Inside an attribute a name without semicolon followed by a letter, digit or "=" stays.
        {"?a=1&amp;b=2", kAttribute, "?a=1&b=2"},
        {"?a=1&note=2&region=eu&copy=3", kAttribute, "?a=1&note=2&region=eu&copy=3"},
        {"&ampx", kAttribute, "&ampx"},
        {"&copy;=1 &copy-2 &copy", kAttribute, "\xc2\xa9=1 \xc2\xa9-2 \xc2\xa9"},
        {"&#39;&#x27", kAttribute, "''"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeCharacterReferences(c.in, c.where), c.out) << c.in;
}

TEST(TextDecoding, ControlCharactersBecomeBlanks) {
    std::string oneLine =
        "a\tb\r\nc\x7f"
        "d\xc2\x85"
        "e\x1a";
    replaceControlCharacters(oneLine);
    EXPECT_EQ(oneLine, "a b  c d e ");
    std::string lines = "first\r\nsecond\rthird\nfourth\t.";
    replaceControlCharacters(lines, true);
    EXPECT_EQ(lines, "first\nsecond\nthird\nfourth .");
    std::string kept = "caf\xc3\xa9 \xc2\xa0";  // the no-break space is no control
    replaceControlCharacters(kept);
    EXPECT_EQ(kept, "caf\xc3\xa9 \xc2\xa0");
}

}  // namespace
}  // namespace sitedex::runtime
