// An ActivateAction call from the session bus, checked and run as the running instance
// runs it: NUL-separated texts, the first the action's name, each further one a
// parameter (one starting with byte 1 stands for a parameter of another type, the rest
// of it being that type's signature). The actions and their parameter counts are the
// application's.

#include "app/composition/instance_actions.h"
#include "fuzz/faked_app.h"
#include "fuzz/fuzz_support.h"
#include "platform/dbus/action_arguments.h"

using namespace tavel;

namespace {

struct Offered {
    const char* name;
    std::size_t minArguments, maxArguments;
};
constexpr Offered kActions[] = {
    {"shuffle", 0, 0}, {"pause", 0, 0}, {"resume", 0, 0}, {"set", 1, 2}, {"quit", 0, 0}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> texts = fuzz::splitAtNul(data, size);
    if (texts.empty()) return 0;
    std::vector<ActionParameter> parameters;
    for (std::size_t i = 1; i < texts.size(); ++i) {
        if (!texts[i].empty() && texts[i][0] == '\x01')
            parameters.push_back({false, texts[i].substr(1)});
        else
            parameters.push_back({true, texts[i]});
    }
    const std::string& name = texts[0];
    for (const Offered& action : kActions) {
        if (name != action.name) continue;
        auto arguments =
            actionArguments(name, action.minArguments, action.maxArguments, parameters);
        if (!arguments) return 0;
        FUZZ_CHECK(arguments->size() >= action.minArguments &&
                   arguments->size() <= action.maxArguments);
        fuzz::FakedApp app;
        AppState& state = app.start();
        if (name == "set") {
            if (setEffectAction(state, *arguments))
                FUZZ_CHECK(state.activeShaderID() == arguments->front());
        } else if (name == "pause" || name == "resume") {
            setPausedAction(state, name == "pause");
        } else if (name == "shuffle") {
            state.shuffleNow();
        }
        app.clock.advance(std::chrono::seconds(10));
    }
    return 0;
}
