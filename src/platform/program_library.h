#pragma once
// The views' programs, linked at most once per process and effect id, on one compile
// thread, in the order they were asked for. The queue lives on the main thread: a
// compile is started only when the thread is free, and only for an effect that a
// request still waits for, so fast browsing or a looping shuffle never builds a backlog
// ahead of the effect that is wanted. Programs stay for the whole run (sixteen effects at
// most; on llvmpipe about 4 MB each): a rebuilt window shows its effect at once, and no
// program is ever deleted while another context of the share group has drawn with it
// (llvmpipe crashed when one was deleted on the compile thread after a view had used it).

#include "effects/shader_view.h"
#include "platform/gl_compile_thread.h"
#include "platform/scheduler.h"
#include "platform/weak_self.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavel {

class ProgramLibrary final : public ProgramCompiler {
public:
    // What turns an effect into a program: runs on the library's thread only, one call at
    // a time. The programs it makes belong to whoever gave it.
    using Build = std::function<Outcome(const ShaderEffect&)>;

    // `build` runs on `thread` (serial); outcomes come back through `scheduler`. Both
    // must outlive the library or finish their work first.
    ProgramLibrary(Scheduler& scheduler, Executor& thread, Build build);
    // Builds on `compiler`'s thread.
    ProgramLibrary(Scheduler& scheduler, GlCompileThread& compiler);
    // Outcomes still on their way are dropped; waiting callbacks never run.
    ~ProgramLibrary() override;
    ProgramLibrary(const ProgramLibrary&) = delete;
    ProgramLibrary& operator=(const ProgramLibrary&) = delete;

    Request request(const ShaderEffect& effect, std::function<void(const Outcome&)> done) override;

    // For reports: how many programs the builder was asked for so far.
    std::size_t buildCount() const { return buildCount_; }

private:
    using Done = std::function<void(const Outcome&)>;
    struct Wanted {
        ShaderEffect effect;
        std::vector<std::weak_ptr<Done>> waiters;
        bool stillWanted() const;
    };
    void startNext();
    void finished(Outcome outcome);

    Scheduler& scheduler_;
    Executor& thread_;
    Build build_;
    // Main thread.
    std::map<std::string, Outcome> known_;  // effect id -> linked program or failure
    std::deque<Wanted> queue_;              // not started yet, in request order
    std::optional<Wanted> building_;        // on the compile thread now
    std::size_t buildCount_ = 0;
    WeakSelf<ProgramLibrary> self_{*this};
};

}  // namespace tavel
