// The stored values besides the settings record, as any bytes: a Bool value (the Live
// Lock Screen guide's "shown" mark) and the gallery window's remembered frame, read
// against screens of the sizes X11 allows.

#include "app/ui/host/gallery_frame.h"
#include "fuzz/fuzz_support.h"
#include "support/fakes.h"

using namespace tavel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    test::MemoryPreferencesStore store;
    store.values["value"].assign(data, data + size);
    if (auto value = store.boolValue("value")) {
        FUZZ_CHECK(store.setBool("again", *value) && store.boolValue("again") == value);
    }

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (int side : {1, 640, 1920, 32767}) {
        auto frame = restorableGalleryFrame(text, side, side);
        if (!frame) continue;
        FUZZ_CHECK(frame->width >= 200 && frame->height >= 200);
        FUZZ_CHECK(frame->x < side && frame->y < side && frame->x + frame->width > 0 &&
                   frame->y + frame->height > 0);
        FUZZ_CHECK(restorableGalleryFrame(galleryFrameText(*frame), side, side).has_value());
    }
    return 0;
}
