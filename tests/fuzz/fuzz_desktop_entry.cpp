// A desktop entry read back (the autostart entry, which the user or the desktop's
// settings may have edited): any text. Keys come out trimmed and never localised.

#include "fuzz/fuzz_support.h"
#include "platform/desktop_entry.h"

#include <sstream>

using namespace tavel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    auto keys = parseDesktopEntry(in);
    if (!keys) return 0;
    for (const auto& [key, value] : *keys) {
        FUZZ_CHECK(key.find('[') == std::string::npos);
        for (const std::string* text : {&key, &value})
            FUZZ_CHECK(text->empty() || (text->front() != ' ' && text->back() != ' ' &&
                                         text->front() != '\t' && text->back() != '\t'));
    }
    return 0;
}
