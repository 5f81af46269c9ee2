// A record file opens under any declaration of the same layout, whatever prefix its names carry:
// the program reads another database's Locations file under the Import source declaration (ILOC).
// Anything else that differs still refuses the open with 47.
#include <unistd.h>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::data {
namespace {

FileSpec people(std::string_view prefix, std::string_view name, std::string_view key) {
    FileSpec s;
    s.driver = "VELOX";
    s.prefix = prefix;
    s.name = {"PEOPLE"};
    s.attributes = kAttrCreate;
    s.recordSize = 12;
    s.fields = {{name, kTypeString, 0, 12}};
    s.keys = {{key, 6, {1}}};
    return s;
}

TEST(DeclarationPrefix, OnlyThePrefixOfNamesMayDiffer) {
    record::setVeloxDurability(record::Durability::kProcessCrash);
    sitedex::testing::TempDir dir;
    char old[4096];
    ASSERT_EQ(::getcwd(old, sizeof old), old);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    runtime::setCurrentThread(1);
    {
        FileDecl made(people("PEO", "PEO:NAME", "PEO:K_NAME"));
        ASSERT_EQ(create(made), 0);
        ASSERT_EQ(open(made, kModeShared), 0);
        setString(*made.findField("PEO:NAME"), made.record(), "ann");
        ASSERT_EQ(add(made), 0);
        close(made);
    }
    struct Declared {
        const char* prefix;
        const char* field;
        const char* key;
        int32_t open;
    } cases[] = {
        {"OTH", "OTH:NAME", "OTH:K_NAME", 0},
        {"x", "x:name", "x:k_name", 0},
        {"OTH", "OTH:NAMES", "OTH:K_NAME", data::kErrInvalidDeclaration},
        {"OTH", "OTH:NAME", "OTH:K_OTHER", data::kErrInvalidDeclaration},
    };
    for (const Declared& d : cases) {
        FileDecl other(people(d.prefix, d.field, d.key));
        EXPECT_EQ(open(other, kAccessRead | kShareDenyNone), d.open) << d.field << " " << d.key;
        if (d.open == 0) {
            ASSERT_EQ(set(other), 0);
            ASSERT_EQ(next(other), 0);
            EXPECT_EQ(getString(*other.fields().data(), other.record()), "ann");
            close(other);
        }
    }
    ASSERT_EQ(::chdir(old), 0);
}

}  // namespace
}  // namespace sitedex::data
