#include "platform/process_activity_ledger.h"

namespace tavel {

std::uint64_t ProcessActivityLedger::begin(const std::string& reason) {
    std::uint64_t token = next_++;
    held_.emplace(token, reason);
    return token;
}

void ProcessActivityLedger::end(std::uint64_t token) {
    held_.erase(token);
}

std::vector<std::string> ProcessActivityLedger::held() const {
    std::vector<std::string> reasons;
    for (const auto& [token, reason] : held_) reasons.push_back(reason);
    return reasons;
}

}  // namespace tavel
