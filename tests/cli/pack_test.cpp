// A file changed for long, as the built program's check and pack see it: no space is lost to use
// (check says nothing of unaccounted space), and pack makes the file smaller with every record kept.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/cli/collection_fixture.h"
#include "tests/cli/command_runner.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::testing {
namespace {

TEST(Pack, AChurnedFileChecksWithoutLostSpaceAndPacksSmallerKeepingEveryRecord) {
    TempDir dir;
    makeCollection(dir.path(), 3000);
    {
        // a few hundred removes at random, one commit each
        record::Schema s = record::veloxSchemaOf(data::SITEDX);
        record::PagerOptions fast;
        fast.durability = record::Durability::kProcessCrash;
        std::unique_ptr<record::RecordFile> f;
        ASSERT_TRUE(record::RecordFile::open(dir.file("URL_L.VLX"), "UNNAMED", &s, fast, f).ok());
        std::mt19937 rng(5);
        for (int i = 0; i < 600; ++i) (void)f->remove(1 + rng() % 3000);
    }
    auto run = [&](std::vector<std::string> args) {
        args.push_back("--data-dir");
        args.push_back(dir.path());
        return runProgram(args);
    };
    ProgramRun check = run({"check"});
    ASSERT_EQ(check.code, 0) << check.out;
    EXPECT_NE(check.out.find("URL_L.VLX: ok, "), std::string::npos) << check.out;
    EXPECT_EQ(check.out.find("neither in use nor listed as free"), std::string::npos) << check.out;

    ProgramRun before = run({"list", "--order", "location"});
    uintmax_t sizeBefore = std::filesystem::file_size(dir.file("URL_L.VLX"));
    ProgramRun pack = run({"pack", "URL_L.VLX"});
    ASSERT_EQ(pack.code, 0) << pack.err;
    EXPECT_NE(pack.out.find("URL_L.VLX: packed, "), std::string::npos) << pack.out;
    EXPECT_LT(std::filesystem::file_size(dir.file("URL_L.VLX")), sizeBefore);
    EXPECT_EQ(run({"list", "--order", "location"}).out, before.out);
    for (const char* order : {"description", "category", "rating", "keyword"})
        EXPECT_EQ(std::count(before.out.begin(), before.out.end(), '\n'),
                  [&] {
                      std::string out = run({"list", "--order", order}).out;
                      return std::count(out.begin(), out.end(), '\n');
                  }())
            << order;
    EXPECT_EQ(run({"check"}).code, 0);
}

}  // namespace
}  // namespace sitedex::testing
