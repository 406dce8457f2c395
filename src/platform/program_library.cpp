#include "platform/program_library.h"

#include <algorithm>

namespace tavel {

bool ProgramLibrary::Wanted::stillWanted() const {
    return std::any_of(waiters.begin(), waiters.end(),
                       [](const std::weak_ptr<Done>& waiter) { return !waiter.expired(); });
}

ProgramLibrary::ProgramLibrary(Scheduler& scheduler, Executor& thread, Build build)
    : scheduler_(scheduler), thread_(thread), build_(std::move(build)) {}

ProgramLibrary::ProgramLibrary(Scheduler& scheduler, GlCompileThread& compiler)
    : ProgramLibrary(scheduler, compiler.executor(),
                     [&compiler](const ShaderEffect& effect) { return compiler.build(effect); }) {}

ProgramLibrary::~ProgramLibrary() {
    self_.reset();
}

ProgramCompiler::Request ProgramLibrary::request(const ShaderEffect& effect, Done done) {
    if (auto known = known_.find(effect.id); known != known_.end()) {
        done(known->second);
        return {};
    }
    auto waiter = std::make_shared<Done>(std::move(done));
    auto sameEffect = [&](const Wanted& wanted) { return wanted.effect.id == effect.id; };
    if (building_ && sameEffect(*building_)) {
        building_->waiters.push_back(waiter);
    } else if (auto queued = std::find_if(queue_.begin(), queue_.end(), sameEffect);
               queued != queue_.end()) {
        queued->waiters.push_back(waiter);
    } else {
        queue_.push_back(Wanted{effect, {waiter}});
    }
    startNext();
    return Request(waiter);
}

void ProgramLibrary::startNext() {
    if (building_) return;
    // Requests withdrawn meanwhile (a view gone, a newer effect chosen) cost nothing.
    while (!queue_.empty() && !queue_.front().stillWanted()) queue_.pop_front();
    if (queue_.empty()) return;
    building_ = std::move(queue_.front());
    queue_.pop_front();
    ++buildCount_;
    auto deliver = self_.guard(
        [](ProgramLibrary& library, Outcome& outcome) { library.finished(std::move(outcome)); });
    thread_.submit([&build = build_, &scheduler = scheduler_, effect = building_->effect,
                    deliver = std::move(deliver)]() mutable {
        Outcome outcome = build(effect);
        scheduler.post([deliver = std::move(deliver), outcome = std::move(outcome)]() mutable {
            deliver(outcome);
        });
    });
}

void ProgramLibrary::finished(Outcome outcome) {
    Wanted built = std::move(*building_);
    building_.reset();
    known_[built.effect.id] = outcome;
    // A callback may ask for another program, which may start the next compile at once.
    for (const auto& weak : built.waiters)
        if (auto waiter = weak.lock()) (*waiter)(outcome);
    startNext();
}

}  // namespace tavel
