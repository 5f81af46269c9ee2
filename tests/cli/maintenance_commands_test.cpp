// The location and category commands run in-process (sitedex::cli::run) on real files in a fresh
// data directory: listings in every order and format, the form rules and their refusals, the
// cascades of a category rename and delete, and usage errors. One test runs the built program.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "cli/cli.h"
#include "cli/table_output.h"
#include "tests/app/maintenance_fixture.h"
#include "tests/cli/command_runner.h"

namespace sitedex::cli {
namespace {

using sitedex::testing::readFile;
using sitedex::testing::SecondProgram;
using sitedex::testing::TempDir;
using Lines = std::vector<std::string>;

using Result = sitedex::testing::ProgramRun;

// Runs `sitedex ARGS...` in this process with standard output and error captured.
Result sitedex(std::vector<std::string> args) {
    return sitedex::testing::runInProcess(std::move(args));
}

Lines lines(const std::string& text) {
    Lines l;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        l.push_back(text.substr(start, nl - start));
    if (start < text.size())
        l.push_back(text.substr(start));
    return l;
}

// The given column (0-based) of each tsv line.
Lines column(const std::string& tsv, size_t col) {
    Lines out;
    for (const std::string& line : lines(tsv)) {
        size_t start = 0;
        for (size_t i = 0; i < col; ++i)
            start = line.find('\t', start) + 1;
        out.push_back(line.substr(start, line.find('\t', start) - start));
    }
    return out;
}

class Commands : public ::testing::Test {
protected:
    Result in(std::vector<std::string> args) {
        args.push_back("--data-dir");
        args.push_back(m_dir.path());
        return sitedex(std::move(args));
    }
    void ok(std::vector<std::string> args) {
        Result r = in(args);
        ASSERT_EQ(r.code, 0) << args[0] << ": " << r.err;
        EXPECT_EQ(r.err, "") << args[0];
    }
    void seed() {
        ok({"add-category", "News", "--description", "daily papers"});
        ok({"add-category", "Tech"});
        ok({"add", "http://c.example/", "--description", "Gamma", "--category", "News", "--rating", "3"});
        ok({"add", "https://a.example/", "--description", "Alpha", "--category", "news", "--rating", "10"});
        ok({"add", "mailto:b@example.com", "--description", "beta", "--category", "News", "--keyword", "mail"});
        ok({"add", "www.t.example", "--category", "Tech", "--rating", "3"});  // no description
    }
    // Snippets can only be made by the desktop forms; the test writes them through the data layer.
    void addSnippets(const std::vector<std::pair<std::string, std::string>>& snippets) {
        char old[4096];
        ASSERT_EQ(::getcwd(old, sizeof old), old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        data::useFile(data::CatHTML);
        for (const auto& [category, type] : snippets) {
            data::CatHTML.clear();
            sitedex::testing::setField("HTM:CATEGORY", category);
            sitedex::testing::setField("HTM:TYPEOFHTML", type);
            ASSERT_EQ(data::add(data::CatHTML), 0);
        }
        data::releaseFile(data::CatHTML);
        ASSERT_EQ(::chdir(old), 0);
    }
    Lines snippets() {
        char old[4096];
        EXPECT_EQ(::getcwd(old, sizeof old), old);
        EXPECT_EQ(::chdir(m_dir.path().c_str()), 0);
        data::useFile(data::CatHTML);
        Lines rows = sitedex::testing::rowsOnDisk(data::CatHTML, {"HTM:CATEGORY", "HTM:TYPEOFHTML"});
        data::releaseFile(data::CatHTML);
        EXPECT_EQ(::chdir(old), 0);
        return rows;
    }
    std::string listing() { return in({"list"}).out; }

    TempDir m_dir;
};

TEST_F(Commands, ListsInEveryOrderWithTheFormRulesApplied) {
    seed();
    // the category as the category spells it; the keyword from the scheme unless given; a blank
    // description lists first even though its key leaves it out
    EXPECT_EQ(listing(),
              "\twww.t.example\tTech\t3\t?\t\n"
              "Alpha\thttps://a.example/\tNews\t10\thttps\t\n"
              "beta\tmailto:b@example.com\tNews\t0\tmail\t\n"
              "Gamma\thttp://c.example/\tNews\t3\thttp\t\n");
    struct Case {
        std::vector<std::string> args;
        Lines locations;
    } cases[] = {
        {{"--order", "location"}, {"http://c.example/", "https://a.example/", "mailto:b@example.com", "www.t.example"}},
        {{"--order", "category"}, {"https://a.example/", "mailto:b@example.com", "http://c.example/", "www.t.example"}},
        {{"--order", "rating"}, {"https://a.example/", "www.t.example", "http://c.example/", "mailto:b@example.com"}},
        {{"--order", "keyword"}, {"www.t.example", "http://c.example/", "https://a.example/", "mailto:b@example.com"}},
        {{"--order=category", "--category", "NEWS"},
         {"https://a.example/", "mailto:b@example.com", "http://c.example/"}},
        {{"--category", "tech"}, {"www.t.example"}},
        {{"--category", "Sport"}, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"list"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Result r = in(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(column(r.out, 1), c.locations) << args[1] << " " << args[2];
    }
    EXPECT_EQ(in({"categories"}).out, "News\tdaily papers\nTech\t\n");
}

TEST_F(Commands, ThreeOutputFormats) {
    ok({"add-category", "Caf\xC3\xA9s"});
    ok({"add", "http://x.example/?a=1,b=2", "--category", "cafés", "--description", "Say \"hi\", then\\go",
        "--site-info", "two\nlines\twith tab  "});
    ok({"add",
        "bad\xFF"
        "byte",
        "--category", "Cafés"});
    Result tsv = in({"list", "--format", "tsv"});
    EXPECT_EQ(tsv.out,
              "\tbad\xFF"
              "byte\tCaf\xC3\xA9s\t0\t?\t\n"
              "Say \"hi\", then\\\\go\thttp://x.example/?a=1,b=2\tCaf\xC3\xA9s\t0\thttp\ttwo\\nlines\\twith tab\n");
    Result csv = in({"list", "--format", "csv", "--order", "location"});
    EXPECT_EQ(
        csv.out,
        "description,location,category,rating,keyword,siteInfo\r\n"
        ",bad\xFF"
        "byte,Caf\xC3\xA9s,0,?,\r\n"
        "\"Say \"\"hi\"\", then\\go\",\"http://x.example/?a=1,b=2\",Caf\xC3\xA9s,0,http,\"two\nlines\twith tab\"\r\n");
    Result json = in({"list", "--format", "json", "--order", "location"});
    EXPECT_EQ(json.out,
              "[\n"
              "  {\"description\": \"\", \"location\": \"bad\xEF\xBF\xBD"
              "byte\", \"category\": \"Caf\xC3\xA9s\", "
              "\"rating\": 0, \"keyword\": \"?\", \"siteInfo\": \"\"},\n"
              "  {\"description\": \"Say \\\"hi\\\", then\\\\go\", \"location\": \"http://x.example/?a=1,b=2\", "
              "\"category\": \"Caf\xC3\xA9s\", \"rating\": 0, \"keyword\": \"http\", "
              "\"siteInfo\": \"two\\nlines\\twith tab\"}\n"
              "]\n");
    EXPECT_EQ(in({"categories", "--format", "json"}).out,
              "[\n  {\"category\": \"Caf\xC3\xA9s\", \"description\": \"\"}\n]\n");
    EXPECT_EQ(in({"categories", "--format=csv"}).out, "category,description\r\nCaf\xC3\xA9s,\r\n");
    // an empty database is an empty array, and listing made the missing files
    TempDir empty;
    Result none = sitedex({"list", "--format", "json", "--data-dir", empty.path()});
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.out, "[]\n");
    EXPECT_TRUE(std::filesystem::exists(empty.file("URL_L.VLX")));
}

TEST(TableOutput, EscapesControlCharactersInJsonAndQuotesBlanksInCsv) {
    EXPECT_EQ(jsonString(std::string("a\x01\x7F\xC3", 4)), "\"a\\u0001\\u007f\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // no surrogates
    EXPECT_EQ(jsonString("\xF0\x9F\x98\x80"), "\"\xF0\x9F\x98\x80\"");
    EXPECT_EQ(csvField(" lead"), "\" lead\"");
    EXPECT_EQ(csvField("plain text"), "plain text");
    EXPECT_EQ(tsvField("a\r\\b"), "a\\r\\\\b");
}

TEST_F(Commands, RefusalsAndUsageErrorsChangeNothing) {
    seed();
    std::string before = listing();
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;  // the whole of standard error, or its first line for usage errors
    } cases[] = {
        {{"add", "http://new.example/", "--category", "Sport"},
         1,
         "The value for URL:Category must be found in the Categories file.\n"},
        {{"add", "http://new.example/"}, 1, "The value for URL:Category must be found in the Categories file.\n"},
        {{"add", "HTTPS://A.EXAMPLE/", "--category", "Tech"},
         1,
         "Adding this record creates a duplicate entry for the key:Site Location\n"},
        {{"add", "http://new.example/", "--category", "Tech", "--rating", "11"},
         1,
         "The value of URL:Rating must be between 0 and 10.\n"},
        {{"add", "http://new.example/", "--category", "Tech", "--rating", "-1"},
         1,
         "The value of URL:Rating must be between 0 and 10.\n"},
        {{"add", "http://new.example/", "--category", "Tech", "--rating", "7x"},
         2,
         "sitedex add: --rating needs a whole number, not '7x'"},
        {{"add", "http://new.example/", "--description", std::string(101, 'd')},
         2,
         "sitedex add: --description is longer than the 100 bytes it may have"},
        {{"add", "  "}, 2, "sitedex add: LOCATION must not be blank"},
        {{"add"}, 2, "sitedex add: missing argument"},
        {{"add", "a", "b"}, 2, "sitedex add: too many arguments"},
        {{"add", "a", "--colour", "red"}, 2, "sitedex add: unknown option '--colour'"},
        {{"add", "a", "--category"}, 2, "sitedex add: --category needs a value"},
        {{"add", "a", "--category", "x", "--category", "y"}, 2, "sitedex add: --category is given twice"},
        {{"remove", "http://nowhere.example/"}, 1, "sitedex remove: no location 'http://nowhere.example/'\n"},
        {{"remove"}, 2, "sitedex remove: missing argument"},
        {{"list", "--order", "price"},
         2,
         "sitedex list: unknown order 'price' (description, location, category, rating, keyword)"},
        {{"list", "--format", "xml"}, 2, "sitedex list: unknown format 'xml' (tsv, csv, json)"},
        {{"list", "-x"}, 2, "sitedex list: unknown option '-x'"},
        {{"categories", "extra"}, 2, "sitedex categories: too many arguments"},
        {{"add-category", "NEWS"}, 1, "Adding this record creates a duplicate entry for the key:Category\n"},
        {{"add-category", std::string(31, 'c')},
         2,
         "sitedex add-category: NAME is longer than the 30 bytes it may have"},
        {{"rename-category", "Sport", "Games"}, 1, "sitedex rename-category: no category 'Sport'\n"},
        {{"rename-category", "News", "tech"},
         1,
         "An error (Creates Duplicate Key (40)) was experienced when attempting to update a record from the file.  "
         "Probable Cause: Categories.\n"},
        {{"rename-category", "News"}, 2, "sitedex rename-category: missing argument"},
        {{"remove-category", "Sport"}, 1, "sitedex remove-category: no category 'Sport'\n"},
    };
    for (const Case& c : cases) {
        Result r = in(c.args);
        std::string shown = c.code == 2 ? lines(r.err).at(0) : r.err;
        EXPECT_EQ(r.code, c.code) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
        EXPECT_EQ(shown, c.err) << c.args[0];
        EXPECT_EQ(r.out, "") << c.args[0];
        if (c.code == 2) {
            EXPECT_NE(r.err.find("Usage: sitedex " + c.args[0]), std::string::npos);
        }
    }
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(in({"categories"}).out, "News\tdaily papers\nTech\t\n");
    // --data-dir without its folder, and a folder that is not there
    EXPECT_EQ(sitedex({"list", "--data-dir"}).code, 2);
    Result missing = sitedex({"list", "--data-dir", m_dir.file("no-such-folder")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("cannot use the data folder"), std::string::npos);
}

TEST_F(Commands, RenameAndRemoveCategoryCarryToSnippetsAndLocations) {
    seed();
    ok({"add", "http://lower.example/", "--category", "Tech"});
    addSnippets({{"News", "Before Category"}, {"News", "After Category"}, {"Tech", "Replace Title"}});
    ok({"rename-category", "news", "Media"});
    EXPECT_EQ(in({"categories"}).out, "Media\tdaily papers\nTech\t\n");
    EXPECT_EQ(column(in({"list", "--order", "location"}).out, 2), (Lines{"Media", "Tech", "Media", "Media", "Tech"}));
    EXPECT_EQ(snippets(), (Lines{"Media|After Category", "Media|Before Category", "Tech|Replace Title"}));
    // the same name again writes nothing and is no error
    ok({"rename-category", "Media", "Media"});

    ok({"remove-category", "MEDIA"});
    EXPECT_EQ(in({"categories"}).out, "Tech\t\n");
    EXPECT_EQ(column(listing(), 1), (Lines{"www.t.example", "http://lower.example/"}));
    EXPECT_EQ(snippets(), (Lines{"Tech|Replace Title"}));

    ok({"remove", "WWW.T.EXAMPLE"});
    EXPECT_EQ(column(listing(), 1), (Lines{"http://lower.example/"}));
}

TEST_F(Commands, ARemoveThatMeetsAHeldLocationRemovesNothing) {
    seed();
    addSnippets({{"News", "Before Category"}});
    std::string before = listing();
    {
        char old[4096];
        ASSERT_EQ(::getcwd(old, sizeof old), old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        SecondProgram other([] {
            if (data::share(data::SITEDX, data::kModeShared) != 0)
                return false;
            data::SITEDX.clear();
            sitedex::testing::setField("URL:LOCATION", "mailto:b@example.com");
            data::hold(data::SITEDX);
            return data::get(data::SITEDX, *data::SITEDX.findKey("URL:K_LOCATION")) == 0;
        });
        ASSERT_EQ(::chdir(old), 0);
        ASSERT_TRUE(other.ready());
        Result r = in({"remove-category", "News"});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err,
                  "An error (Access Denied (5)) was experienced when attempting to delete a record from the file "
                  "SITEDX.\n");
        Result rename = in({"rename-category", "News", "Media"});
        EXPECT_EQ(rename.code, 1);
        EXPECT_EQ(rename.err,
                  "An error (Access Denied (5)) was experienced when attempting to update a record from the file.  "
                  "Probable Cause: SITEDX.\n");
        EXPECT_EQ(in({"remove", "mailto:b@example.com"}).code, 1);
    }
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(in({"categories"}).out, "News\tdaily papers\nTech\t\n");
    EXPECT_EQ(snippets(), (Lines{"News|Before Category"}));
}

TEST_F(Commands, HelpDescribesEveryCommand) {
    Result all = sitedex({"--help"});
    EXPECT_EQ(all.code, 0);
    for (const char* name :
         {"list", "add", "remove", "categories", "add-category", "rename-category", "remove-category"}) {
        EXPECT_NE(all.out.find(std::string("  ") + name + " "), std::string::npos) << name;
        Result one = sitedex({name, "--help"});
        EXPECT_EQ(one.code, 0) << name;
        EXPECT_EQ(one.out.rfind(std::string("Usage: sitedex ") + name + " ", 0), 0u) << name;
        EXPECT_EQ(one.err, "");
    }
    EXPECT_NE(sitedex({"list", "--help"}).out.find("json"), std::string::npos);
}

TEST_F(Commands, TheBuiltProgramReportsOnStandardError) {
    std::string err = m_dir.file("err.txt"), out = m_dir.file("out.txt");
    std::string bin = SITEDEX_BINARY;
    auto shell = [&](const std::string& args) {
        int status = std::system(
            (bin + " " + args + " --data-dir '" + m_dir.path() + "' >'" + out + "' 2>'" + err + "'").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(shell("add-category News"), 0);
    EXPECT_EQ(shell("add http://a.example/ --category Sport"), 1);
    EXPECT_EQ(readFile(err), "The value for URL:Category must be found in the Categories file.\n");
    EXPECT_EQ(shell("add http://a.example/ --category news --description 'A site'"), 0);
    EXPECT_EQ(shell("list --format csv"), 0);
    EXPECT_EQ(readFile(out),
              "description,location,category,rating,keyword,siteInfo\r\nA site,http://a.example/,News,0,http,\r\n");
    EXPECT_EQ(shell("list --order nothing"), 2);
}

}  // namespace
}  // namespace sitedex::cli
