#pragma once
// Linux has no system-wide counterpart of a declared process activity, so the
// activities are kept as state that `tavel status` shows.

#include "platform/system_state.h"

#include <map>
#include <string>
#include <vector>

namespace tavel {

class ProcessActivityLedger final : public ProcessActivity {
public:
    std::uint64_t begin(const std::string& reason) override;
    void end(std::uint64_t token) override;
    // Reasons of the activities held now, oldest first.
    std::vector<std::string> held() const;
    // How many activities were ever begun.
    std::uint64_t begun() const { return next_ - 1; }

private:
    std::uint64_t next_ = 1;
    std::map<std::uint64_t, std::string> held_;
};

}  // namespace tavel
