// The import's document reader on real files: line ends of every kind, lines of any length, text
// that is not UTF-8, and files that are no documents.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/import/document_reader.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::app::importing {
namespace {

std::vector<std::string> readAll(DocumentReader& r) {
    std::vector<std::string> lines;
    std::string_view line;
    while (r.next(line))
        lines.emplace_back(line);
    return lines;
}

std::vector<std::string> readFile(const std::string& path) {
    DocumentReader r;
    EXPECT_TRUE(r.open(path)) << r.problem();
    std::vector<std::string> lines = readAll(r);
    EXPECT_EQ(r.problem(), "");
    EXPECT_EQ(r.consumed(), r.size());
    return lines;
}

using Lines = std::vector<std::string>;

TEST(DocumentReader, LinesEndAtLfCrLfOrCr) {
    testing::TempDir dir;
    struct Case {
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"a\nb\r\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n\r\nb\n", {"a", "", "b"}},
        {"\r\r\n\n", {"", "", ""}},
        {"", {}},
        {"\xef\xbb\xbfwith a mark\n", {"with a mark"}},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("doc");
        testing::writeFile(path, c.bytes);
        EXPECT_EQ(readFile(path), c.lines);
    }
    // A CR LF split by the end of a read is still one line end: lines of every length around the
    // size the reader asks for at once.
    std::string big;
    Lines expected;
    for (int i = 0; big.size() < 3u << 20; ++i) {
        std::string line(size_t(1000 + (i * 7919) % 70000), char('a' + i % 26));
        big += line + "\r\n";
        expected.push_back(line);
    }
    testing::writeFile(dir.file("big"), big);
    EXPECT_EQ(readFile(dir.file("big")), expected);
}

TEST(DocumentReader, ReadsALineOfManyMegabytesWhole) {
    testing::TempDir dir;
    std::string doc = "<a href=\"http://first.example/\">";
    doc += std::string(9u << 20, 'x');
    doc += "</a>";  // no line break at all
    testing::writeFile(dir.file("long"), doc);
    DocumentReader r;
    ASSERT_TRUE(r.open(dir.file("long")));
    std::string_view line;
    ASSERT_TRUE(r.next(line));
    EXPECT_EQ(line.size(), doc.size());
    EXPECT_EQ(line.substr(line.size() - 4), "</a>");
    EXPECT_FALSE(r.next(line));
    EXPECT_EQ(r.problem(), "");
}

TEST(DocumentReader, TextThatIsNotUtf8AndUtf16) {
    testing::TempDir dir;
    testing::writeFile(dir.file("latin1"), "caf\xc3\xa9\nFran\xe7ois \x93quoted\x94\n\xc3\xa9\n");
    EXPECT_EQ(readFile(dir.file("latin1")),
              (Lines{"caf\xc3\xa9", "Fran\xc3\xa7ois \xe2\x80\x9cquoted\xe2\x80\x9d", "\xc3\x83\xc2\xa9"}));

    // UTF-16 with its mark, both byte orders, a character outside the first plane.
    const std::u16string text = u"caf\u00e9\r\nemoji \U0001F600\n";
    std::string le = "\xff\xfe", be = "\xfe\xff";
    for (char16_t u : text) {
        le += char(u & 0xff);
        le += char(u >> 8);
        be += char(u >> 8);
        be += char(u & 0xff);
    }
    testing::writeFile(dir.file("le"), le);
    testing::writeFile(dir.file("be"), be);
    const Lines expected{"caf\xc3\xa9", "emoji \xf0\x9f\x98\x80"};
    EXPECT_EQ(readFile(dir.file("le")), expected);
    EXPECT_EQ(readFile(dir.file("be")), expected);
}

TEST(DocumentReader, RefusesWhatIsNoDocument) {
    testing::TempDir dir;
    static constexpr char kPng[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0";
    const std::string png(kPng, sizeof kPng - 1);  // the bytes written, NULs included
    testing::writeFile(dir.file("picture.png"), png);
    ::mkdir(dir.file("folder").c_str(), 0755);
    testing::writeFile(dir.file("locked"), "text\n");
    ::chmod(dir.file("locked").c_str(), 0);
    struct Case {
        std::string path;
        std::string problem;
    } cases[] = {
        {dir.file("missing.html"), "the file does not exist"},
        {dir.file("folder"), "it is a folder, not a file"},
        {dir.file("picture.png"), "it is not a text document (it holds NUL bytes, as pictures and programs do)"},
        {"/dev/null", "it is not a regular file"},
        {dir.file("missing/below.html"), "the file does not exist"},
        {"", "no file name was given"},
    };
    for (const Case& c : cases) {
        DocumentReader r;
        EXPECT_FALSE(r.open(c.path)) << c.path;
        EXPECT_EQ(r.problem(), c.problem) << c.path;
    }
    if (::geteuid() != 0) {  // root reads any file
        DocumentReader r;
        EXPECT_FALSE(r.open(dir.file("locked")));
        EXPECT_EQ(r.problem(), "permission to read it is denied");
    }
}

}  // namespace
}  // namespace sitedex::app::importing
