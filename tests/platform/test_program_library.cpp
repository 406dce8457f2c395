// The program library on a manual clock and a manual compile thread.

#include "platform/program_library.h"

#include "effects/catalog.h"
#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavel {
namespace {

class ProgramLibraryTest : public ::testing::Test {
protected:
    // Runs the compile thread's queue and delivers what it finished.
    void compile() {
        thread.runAll();
        clock.runPending();
    }
    ProgramCompiler::Request ask(const char* id, std::vector<std::string>& got) {
        return library.request(*shaderEffect(id), [&got, id](const ProgramCompiler::Outcome& o) {
            got.push_back(std::string(id) + ":" + std::to_string(o.program));
        });
    }

    test::ManualScheduler clock;
    test::ManualExecutor thread;
    std::vector<std::string> built;  // effect ids, in build order
    ProgramLibrary::Build build = [this](const ShaderEffect& effect) {
        built.push_back(effect.id);
        if (effect.id == "ridges") return ProgramCompiler::Outcome{0, -1, "error: no"};
        return ProgramCompiler::Outcome{static_cast<unsigned>(built.size()), 7, {}};
    };
    ProgramLibrary library{clock, thread, build};
};

// Requests joining one build all get it; a withdrawn one is skipped, a failure is cached too.
TEST_F(ProgramLibraryTest, EachEffectIsBuiltOnceAndWithdrawnRequestsAreSkipped) {
    std::vector<std::string> got;
    auto first = ask("tiles", got);
    auto second = ask("tiles", got);
    auto failed = ask("ridges", got);
    auto withdrawn = ask("orbits", got);
    withdrawn.withdraw();
    for (int i = 0; i < 3; ++i) compile();  // one build on the thread at a time
    ask("ridges", got);
    EXPECT_EQ(built, (std::vector<std::string>{"tiles", "ridges"}));
    EXPECT_EQ(got, (std::vector<std::string>{"tiles:1", "tiles:1", "ridges:0", "ridges:0"}));
}

// A result arriving after the library is gone reaches nobody.
TEST_F(ProgramLibraryTest, AResultArrivingAfterTheLibraryIsGoneReachesNobody) {
    int delivered = 0;
    auto library = std::make_unique<ProgramLibrary>(clock, thread, build);
    auto request = library->request(*shaderEffect("dome"), [&](const auto&) { ++delivered; });
    thread.runAll();
    library.reset();
    clock.runPending();
    EXPECT_EQ(delivered, 0);
}

}  // namespace
}  // namespace tavel
