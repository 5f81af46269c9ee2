// Fuzzing the filter-expression compiler: any text either compiles or is refused, never crashes or
// hangs; what compiles evaluates, and its text form compiles again to the same text.

#include "runtime/expressions.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace sitedex::runtime;

namespace {

std::int32_t g_integer = 42;
double g_real = 2.5;
std::string g_text = "Some text  ";
char g_category[30];
char g_type[10];

void setUp() {
    // GETINI must find no settings of the user's.
    ::setenv("SITEDEX_CONFIG_DIR", "/nonexistent/sitedex-fuzz", 1);
    std::memset(g_category, ' ', sizeof g_category);
    std::memcpy(g_category, "News", 4);
    std::memset(g_type, ' ', sizeof g_type);
    std::memcpy(g_type, "Export", 6);
    bindVariable("N", variableOf(&g_integer));
    bindVariable("R", variableOf(&g_real));
    bindVariable("S", variableOf(&g_text));
    bindVariable("URL:Category", fixedTextVariable(g_category, sizeof g_category));
    bindVariable("BRW1::Sort2:Reset:CAT:Category", fixedTextVariable(g_category, sizeof g_category));
    bindVariable("HIS:Type", fixedTextVariable(g_type, sizeof g_type));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = (setUp(), true);
    (void)ready;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto e = compileExpression(text)) {
        Value v = e->evaluate();
        (void)v.toText();
        (void)e->test();
        const std::string form = e->text();
        auto again = compileExpression(form);
        if (!again || again->text() != form)
            std::abort();
    }

    std::size_t pos = 0;
    if (compileOneExpression(text, pos) && pos > size)
        std::abort();

    std::vector<OrderItem> items;
    if (compileOrderList(text, items))
        for (const OrderItem& item : items)
            (void)item.expression->test();
    return 0;
}
