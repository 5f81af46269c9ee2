// The line reader's block copy, each instruction set on its own, against the plain rule: copy up to the
// first stop byte within the record's width, blank the rest.
#include "drivers/text/line_scan.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace sitedex::text {
namespace {

// Two pages with an inaccessible page after each: the source line is placed to end right at its guard,
// and the record likewise, so reading or writing one byte past either faults.
class Guarded {
public:
    Guarded() {
        m_page = size_t(sysconf(_SC_PAGESIZE));
        m_base =
            static_cast<char*>(mmap(nullptr, 4 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_NE(m_base, MAP_FAILED);
        mprotect(m_base + m_page, m_page, PROT_NONE);
        mprotect(m_base + 3 * m_page, m_page, PROT_NONE);
    }
    ~Guarded() { munmap(m_base, 4 * m_page); }
    char* lineEndingAtGuard(size_t n) { return m_base + m_page - n; }
    char* recordEndingAtGuard(size_t n) { return m_base + 3 * m_page - n; }

private:
    size_t m_page = 0;
    char* m_base = nullptr;
};

std::vector<Isa> isas() {
    std::vector<Isa> out;
    for (Isa isa : {Isa::kBytes, Isa::kSse2, Isa::kAvx2})
        if (isaAvailable(isa))
            out.push_back(isa);
    return out;
}

const char* isaName(Isa isa) {
    return isa == Isa::kBytes ? "bytes" : isa == Isa::kSse2 ? "SSE2" : "AVX2";
}

// Every record width around the block sizes and the six-block width of the AVX2 variant, a stop byte at
// every position (or none), for terminators that the block test handles in its different ways: CR (in
// the table), LF (shares its low half-byte with Ctrl-Z), TAB and Ctrl-Z themselves, 0x19 (shares TAB's),
// bytes above 127, NUL. The other bytes of the line are chosen to look like stop bytes to a careless
// test: the same low half-byte, or the high bit set.
TEST(LineScan, StopsAtTheFirstStopByteAndBlanksTheRest) {
    const unsigned char terminators[] = {13, 10, 9, 26, 0x19, 0x8D, 0xFF, 0};
    const unsigned char lookAlikes[] = {0x1D, 0x2D, 0x8D, 0x0A, 0x2A, 0x8A, 0x19,
                                        0x99, 0x89, 0xA9, 0x80, 0xFF, 'a',  ' '};
    std::mt19937 rng(5);
    Guarded mem;
    for (Isa isa : isas()) {
        for (unsigned char t : terminators) {
            StopBytes stop = stopBytesFor(t, isa);
            auto isStop = [&](unsigned char c) { return c == t || c == 9 || c == 26; };
            for (size_t cap : {1u,  2u,   15u,  16u,  17u,  31u,  32u,  33u,  47u,  63u,  64u,
                               65u, 100u, 191u, 192u, 193u, 200u, 223u, 224u, 225u, 256u, 512u}) {
                for (size_t at = 0; at <= cap; ++at) {
                    for (unsigned char which : {t, (unsigned char)9, (unsigned char)26}) {
                        SCOPED_TRACE(::testing::Message() << isaName(isa) << " terminator " << int(t) << " width "
                                                          << cap << " stop at " << at << " byte " << int(which));
                        char* line = mem.lineEndingAtGuard(cap);
                        for (size_t i = 0; i < cap; ++i) {
                            unsigned char c;
                            do
                                c = lookAlikes[rng() % sizeof lookAlikes];
                            while (isStop(c));
                            line[i] = char(c);
                        }
                        if (at < cap)
                            line[at] = char(which);
                        // A second stop byte later must not count.
                        if (at + 1 < cap)
                            line[at + 1 + rng() % (cap - at - 1)] = char(t);
                        char* rec = mem.recordEndingAtGuard(cap);
                        std::memset(rec, 'Q', cap);
                        size_t k = copyLine(rec, cap, line, stop);
                        ASSERT_EQ(k, at);
                        ASSERT_EQ(std::string(rec, k), std::string(line, k));
                        ASSERT_EQ(std::string(rec + k, cap - k), std::string(cap - k, ' '));
                    }
                }
            }
        }
    }
}

// The copy writes nothing before the record, and a record that does not start on a block boundary is
// blanked as well as one that does.
TEST(LineScan, RecordAtEveryAlignment) {
    for (Isa isa : isas()) {
        StopBytes stop = stopBytesFor(13, isa);
        std::string line(600, 'x');
        line[77] = '\r';
        for (size_t shift = 0; shift < 64; ++shift) {
            SCOPED_TRACE(::testing::Message() << isaName(isa) << " shift " << shift);
            std::vector<char> buf(700, 'Q');
            char* rec = buf.data() + 8 + shift;
            ASSERT_EQ(copyLine(rec, 512, line.data(), stop), 77u);
            EXPECT_EQ(std::string(buf.data(), 8 + shift), std::string(8 + shift, 'Q'));
            EXPECT_EQ(std::string(rec, 77), std::string(77, 'x'));
            EXPECT_EQ(std::string(rec + 77, 512 - 77), std::string(512 - 77, ' '));
            EXPECT_EQ(std::string(rec + 512, buf.size() - 520 - shift), std::string(buf.size() - 520 - shift, 'Q'));
        }
    }
}

}  // namespace
}  // namespace sitedex::text
