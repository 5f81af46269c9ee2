// Free space of a file changed for long: every byte below the allocation end is a page, the
// header, the free-space map or a listed free extent, so no space is lost to use; a page coded to
// fill the units it keeps reads back as it was written.

#include <random>

#include "drivers/record/node.h"
#include "tests/drivers/record_fixture.h"

namespace sitedex::record {
namespace {

using namespace testing;

// Adds and removes as a user's collection sees them: single adds committed one by one, with site
// information on a third of them, then removes at random.
void churn(RecordFile& f, int adds, int removes, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int i = 0; i < adds; ++i) {
        uint32_t r;
        std::vector<std::string> memo{i % 3 == 0 ? std::string(20 + rng() % 900, char('a' + i % 26)) : ""};
        std::string url = "http://site" + std::to_string(rng() % 100000) + "-" + std::to_string(i) + ".example/" +
                          std::string(rng() % 150, 'p');
        ASSERT_TRUE(f.add(location(url, "Desc " + std::to_string(rng() % 5000), "Cat" + std::to_string(rng() % 6),
                                   int(rng() % 11)),
                          &memo, r)
                        .ok());
    }
    for (int i = 0; i < removes; ++i) {
        Status s = f.remove(1 + rng() % uint32_t(adds));
        ASSERT_TRUE(s.ok() || s.code == kNoRecord) << s.toString();
    }
}

TEST(RecordSpace, AChurnedFileAccountsForEveryByteAndPacksDense) {
    TempDir dir;
    std::unique_ptr<RecordFile> f;
    createLocationsFile(dir.file("URL_L.VLX"), f);
    churn(*f, 3000, 600, 42);
    RecordFile::CheckReport rep;
    Status s = f->check(rep);
    ASSERT_TRUE(s.ok()) << s.toString();
    EXPECT_EQ(rep.unaccountedBytes, 0u);

    std::vector<std::string> before;
    Cursor c(*f, 0);
    for (c.seekFirst(); c.valid(); c.next()) before.push_back(c.record());
    uint32_t allocBefore = f->pager().allocEnd();
    ASSERT_TRUE(f->pack().ok());
    EXPECT_LT(f->pager().allocEnd(), allocBefore);
    ASSERT_TRUE(f->check(rep).ok());
    EXPECT_EQ(rep.unaccountedBytes, 0u);
    std::vector<std::string> after;
    Cursor d(*f, 0);
    for (d.seekFirst(); d.valid(); d.next()) after.push_back(d.record());
    EXPECT_EQ(after, before);
}

// A page coded to fill more units than it needs decodes to the same entries, for plain and packed
// pages, leaves and inner pages; one whose entries are too short for the units is left alone.
TEST(RecordSpace, APageCodedToFillItsUnitsReadsTheSame) {
    std::mt19937 rng(3);
    auto leaf = [&](size_t entries, bool compressible) {
        Node n;
        n.id = 4608;
        for (size_t i = 0; i < entries; ++i) {
            std::string key = "k" + std::to_string(100000 + i);
            std::string data = compressible ? std::string(200, ' ') + std::to_string(i) : std::string();
            if (!compressible)
                for (int b = 0; b < 200; ++b) data.push_back(char(rng()));
            n.insert(n.count(), key, data);
        }
        return n;
    };
    struct Case {
        const char* what;
        Node node;
        uint32_t extraUnits;
        bool fits;
    } cases[] = {
        {"packed leaf, one unit more", leaf(20, true), 1, true},
        {"packed leaf, many units more", leaf(20, true), 8, true},
        {"plain leaf, one unit more", leaf(3, false), 1, false},
        {"packed leaf beyond its unpacked size", leaf(2, true), 3, false},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string page;
        encodeNode(c.node, 4608, {}, page);
        uint32_t units = roundUnits(uint32_t(page.size())) + c.extraUnits;
        std::string filled = page;
        ASSERT_EQ(fillUnits(filled, units), c.fits);
        if (!c.fits) {
            EXPECT_EQ(filled, page);
            continue;
        }
        EXPECT_EQ(roundUnits(uint32_t(filled.size())), units);
        Node back;
        ASSERT_TRUE(decodeNode(bytes(filled), filled.size(), 4608, back).ok());
        ASSERT_EQ(back.count(), c.node.count());
        for (size_t i = 0; i < back.count(); ++i) EXPECT_EQ(back.entry(i), c.node.entry(i));
        bool found = false;
        std::string data;
        ASSERT_TRUE(searchPackedLeaf(bytes(filled), filled.size(), 4608, c.node.key(c.node.count() - 1),
                                     LeafSeek::kExact, nullptr, &data, found)
                        .ok());
        EXPECT_TRUE(found);
        EXPECT_EQ(data, c.node.data(c.node.count() - 1));
    }
}

}  // namespace
}  // namespace sitedex::record
