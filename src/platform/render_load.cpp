#include "platform/render_load.h"

#include <ctime>

namespace tavel {

double ProcessRenderLoad::cpuSeconds() const {
    timespec now{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0) return 0.0;
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

}  // namespace tavel
