// The browse filter "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)" compiled once and
// tested over 1 000 000 record images, against the same test written directly in C++.
//
// Both sides do what a view does for each candidate record: the record image is copied into the
// thread's record buffer, then the predicate runs on the buffer. The compiled filter reads the
// buffer through the field binding of the data layer; the hand-written test reads the same bytes.
// BM_CategoryOnly copies only the 30 bytes of the category, so the copy hides less of the
// difference. Report: the ratio of the filter's time to the hand-written one's, per variant.

#include "data/declarations.h"
#include "data/field_binding.h"
#include "runtime/expressions.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace sitedex;

constexpr std::size_t kRecords = 1000000;
constexpr std::size_t kRecordSize = 397;
constexpr std::size_t kCategoryOffset = 355;
constexpr std::size_t kCategorySize = 30;

data::FileDecl& locations() {
    static data::FileDecl file(data::FileSpec{"VELOX",
                                              "SITEDX",
                                              "URL",
                                              {"URL_L_BENCH"},
                                              {},
                                              {},
                                              data::kAttrCreate | data::kAttrPerThread,
                                              kRecordSize,
                                              {{"URL:LOCATION", data::kTypeString, 0, 255},
                                               {"URL:DESCRIPTION", data::kTypeString, 255, 100},
                                               {"URL:CATEGORY", data::kTypeString, 355, 30},
                                               {"URL:RATING", data::kTypeDecimal, 385, 2, 2, 0},
                                               {"URL:KEYWORD", data::kTypeString, 387, 10}},
                                              {},
                                              {{"URL:SITEINFO", 1000}}});
    return file;
}

// 1 000 000 locations over 40 categories written in mixed case; one in 40 matches "News".
struct Fixture {
    std::vector<char> images;  // whole records
    char saved[kCategorySize];
    std::unique_ptr<runtime::Expression> filter;

    Fixture() : images(kRecords * kRecordSize, ' ') {
        static const char* const kNames[] = {"news", "NEWS", "News", "nEwS"};
        for (std::size_t i = 0; i < kRecords; ++i) {
            char* rec = images.data() + i * kRecordSize;
            std::string location = "http://www.example" + std::to_string(i) + ".com/";
            std::memcpy(rec, location.data(), location.size());
            std::string category = i % 40 == 0 ? kNames[(i / 40) % 4] : "Category " + std::to_string(i % 40);
            std::memcpy(rec + kCategoryOffset, category.data(), category.size());
            std::memset(rec + 385, 0, 2);
        }
        std::memset(saved, ' ', sizeof saved);
        std::memcpy(saved, "News", 4);
        data::bindFields(locations());
        runtime::bindVariable("BRW1::Sort2:Reset:CAT:Category", runtime::fixedTextVariable(saved, sizeof saved));
        filter = runtime::compileExpression("UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)");
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

inline char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}

// UPPER(a) = UPPER(b) by the evaluator's rules: ASCII upper case, trailing blanks never matter.
bool handWritten(const char* a, std::size_t na, const char* b, std::size_t nb) {
    const std::size_t n = na < nb ? na : nb;
    for (std::size_t i = 0; i < n; ++i)
        if (upper(a[i]) != upper(b[i]))
            return false;
    for (std::size_t i = n; i < na; ++i)
        if (a[i] != ' ')
            return false;
    for (std::size_t i = n; i < nb; ++i)
        if (b[i] != ' ')
            return false;
    return true;
}

template <bool kCompiled, bool kWholeRecord>
void run(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.filter) {
        state.SkipWithError("the filter did not compile");
        return;
    }
    char* buffer = locations().record();
    std::size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (std::size_t i = 0; i < kRecords; ++i) {
            const char* image = f.images.data() + i * kRecordSize;
            if (kWholeRecord)
                std::memcpy(buffer, image, kRecordSize);
            else
                std::memcpy(buffer + kCategoryOffset, image + kCategoryOffset, kCategorySize);
            if (kCompiled)
                matches += f.filter->test();
            else
                matches += handWritten(buffer + kCategoryOffset, kCategorySize, f.saved, sizeof f.saved);
        }
        benchmark::DoNotOptimize(matches);
    }
    if (matches != kRecords / 40)
        state.SkipWithError("wrong number of matches");
    state.counters["matches"] = double(matches);
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(kRecords));
}

void BM_WholeRecord_CompiledFilter(benchmark::State& s) {
    run<true, true>(s);
}
void BM_WholeRecord_HandWritten(benchmark::State& s) {
    run<false, true>(s);
}
void BM_CategoryOnly_CompiledFilter(benchmark::State& s) {
    run<true, false>(s);
}
void BM_CategoryOnly_HandWritten(benchmark::State& s) {
    run<false, false>(s);
}

BENCHMARK(BM_WholeRecord_CompiledFilter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeRecord_HandWritten)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CategoryOnly_CompiledFilter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CategoryOnly_HandWritten)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
