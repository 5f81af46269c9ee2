// Fuzzing display pictures: any picture text compiles or is refused; any value formats and any
// typed text reads back through it without a crash, and a date or time that formats reads back.

#include "runtime/pictures.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using namespace sitedex::runtime;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Layout: 8 bytes of number, then the picture text up to a zero byte, then the typed text.
    if (size < 8)
        return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const std::string_view rest(reinterpret_cast<const char*>(data + 8), size - 8);
    const std::size_t cut = rest.find('\0');
    const std::string_view picture = rest.substr(0, cut);
    const std::string_view typed = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);

    auto p = compilePicture(picture);
    const std::string shown = format(picture, value);
    (void)format(picture, typed);
    (void)deformat(picture, typed);
    if (p && (p->kind == PictureKind::Date || p->kind == PictureKind::Time) && !shown.empty()) {
        // What a date or time picture shows, it reads back (to the same text once shown again).
        const std::string back = deformat(picture, shown);
        if (back.empty())
            std::abort();
        if (format(picture, std::strtod(back.c_str(), nullptr)) != shown)
            std::abort();
    }
    return 0;
}
