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

TEST_F(ProgramLibraryTest, EachEffectIsBuiltOnceAndWithdrawnRequestsAreSkipped) {
    std::vector<std::string> got;
    auto first = ask("tiles", got);
    auto second = ask("tiles", got);  // joins the same build
    compile();
    EXPECT_EQ(got, (std::vector<std::string>{"tiles:1", "tiles:1"}));
    auto third = ask("tiles", got);  // known: inside the call, nothing held
    EXPECT_FALSE(third.pending());
    EXPECT_EQ(got.size(), 3u);
    // A failure is known too: the same text never goes to the driver twice.
    auto failed = ask("ridges", got);
    compile();
    ask("ridges", got);
    EXPECT_EQ(built, (std::vector<std::string>{"tiles", "ridges"}));

    got.clear();
    auto building = ask("dome", got);  // on the thread at once
    std::vector<ProgramCompiler::Request> browsing;
    for (const char* id : {"orbits", "vortex"}) browsing.push_back(ask(id, got));
    for (auto& request : browsing) request.withdraw();  // the user moved on
    auto wanted = ask("horizon", got);
    building.withdraw();  // already started: it finishes and is kept for later
    compile();
    compile();
    EXPECT_EQ(built, (std::vector<std::string>{"tiles", "ridges", "dome", "horizon"}));
    EXPECT_EQ(got, (std::vector<std::string>{"horizon:4"}));
    ask("dome", got);
    EXPECT_EQ(got.back(), "dome:3");
}

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
