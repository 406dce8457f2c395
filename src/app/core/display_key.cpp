#include "app/core/display_key.h"

namespace tavel {

std::string displayKey(const ScreenRecord& screen) {
    return screen.number ? std::to_string(*screen.number) : "0";
}

}  // namespace tavel
