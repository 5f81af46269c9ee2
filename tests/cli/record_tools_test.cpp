// The record tools as a user runs them: sitedex check, dump and rebuild on real files.

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/drivers/record_fixture.h"

namespace sitedex::record {
namespace {

using namespace testing;

struct ToolRun {
    int code;
    std::string out;
};

ToolRun sitedex(const std::string& args) {
    std::string cmd = std::string(SITEDEX_BINARY) + " " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ToolRun r{-1, {}};
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = ::pclose(p);
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void makeLocations(const std::string& path, int n) {
    Schema s = locationsSchema();
    ASSERT_TRUE(RecordFile::create(path, "UNNAMED", s, fastOptions()).ok());
    std::unique_ptr<RecordFile> f;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), f).ok());
    for (int i = 0; i < n; ++i) {
        uint32_t r;
        std::vector<std::string> memo{i == 0 ? "info\twith tab" : ""};
        ASSERT_TRUE(f->add(location("http://h" + std::to_string(i) + ".example/", "Desc " + std::to_string(n - i),
                                    "Cat", i * 10 % 100),
                           &memo, r)
                        .ok());
    }
}

TEST(RecordTools, CheckReportsEachFileAndChangesNothing) {
    TempDir dir;
    makeLocations(dir.file("URL_L.VLX"), 3);
    makeLocations(dir.file("BAD.VLX"), 200);
    std::string bad = slurp(dir.file("BAD.VLX"));
    for (size_t p = 4608 + 30; p < bad.size(); p += 512) bad[p] ^= 0x11;  // damage page bodies
    {
        std::ofstream out(dir.file("BAD.VLX"), std::ios::binary | std::ios::trunc);
        out << bad;
    }
    {
        std::ofstream out(dir.file("OTHER.VLX"), std::ios::binary);
        out << "not a record file at all, but long enough to hold a header" << std::string(600, 'x');
    }
    ToolRun r = sitedex("check --data-dir " + dir.path().string());
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("URL_L.VLX: ok, 3 records\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("BAD.VLX: damaged page at offset "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OTHER.VLX: not a record file"), std::string::npos) << r.out;
    EXPECT_EQ(slurp(dir.file("BAD.VLX")), bad);  // opened read-only, never written

    std::filesystem::remove(dir.file("BAD.VLX"));
    std::filesystem::remove(dir.file("OTHER.VLX"));
    r = sitedex("check --data-dir " + dir.path().string());
    EXPECT_EQ(r.code, 0) << r.out;
}

TEST(RecordTools, DumpPrintsTheDefinitionAndRecordsInKeyOrder) {
    TempDir dir;
    makeLocations(dir.file("URL_L.VLX"), 3);
    ToolRun r = sitedex("dump URL_L --key K_DESCRIPTION --data-dir " + dir.path().string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("# field URL:LOCATION STRING(255) at 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("# field URL:RATING DECIMAL(2,0) at 385\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("# key URL:K_RATING attributes 5: -URL:RATING, URL:DESCRIPTION, URL:LOCATION\n"),
              std::string::npos)
        << r.out;
    size_t d1 = r.out.find("http://h2.example/\tDesc 1\tCat\t20\t\t\n");
    size_t d3 = r.out.find("http://h0.example/\tDesc 3\tCat\t0\t\tinfo\\twith tab\n");
    ASSERT_NE(d1, std::string::npos) << r.out;
    ASSERT_NE(d3, std::string::npos) << r.out;
    EXPECT_LT(d1, d3);
    r = sitedex("dump URL_L --key NOSUCH --data-dir " + dir.path().string());
    EXPECT_EQ(r.code, 1);
    r = sitedex("dump MISSING --data-dir " + dir.path().string());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("not found"), std::string::npos) << r.out;
}

TEST(RecordTools, RebuildRestoresALostKeyEntry) {
    TempDir dir;
    std::string path = dir.file("URL_L.VLX");
    makeLocations(path, 50);
    {
        // lose one entry of the description key behind the engine's back
        std::unique_ptr<Pager> pager;
        ASSERT_TRUE(Pager::open(path, fastOptions(), pager).ok());
        ASSERT_TRUE(pager->enterWrite().ok());
        Tree tree(*pager);
        std::string prefix("\0\0\0\1\2", 5), k;
        bool found;
        ASSERT_TRUE(tree.seekForward(prefix, false, k, nullptr, found).ok());
        ASSERT_TRUE(found);
        ASSERT_TRUE(tree.erase(k, found).ok());
        ASSERT_TRUE(pager->commit().ok());
        pager->leave();
    }
    ToolRun r = sitedex("check --data-dir " + dir.path().string());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("missing from key URL:K_DESCRIPTION"), std::string::npos) << r.out;
    r = sitedex("rebuild URL_L.VLX --data-dir " + dir.path().string());
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.rfind("URL_L.VLX: rebuilt, 50 records saved, 0 could not be read; the file as it was is kept as "
                          "URL_L.VLX.",
                          0),
              0u)
        << r.out;
    r = sitedex("check --data-dir " + dir.path().string());
    EXPECT_EQ(r.code, 0) << r.out;
}

}  // namespace
}  // namespace sitedex::record
