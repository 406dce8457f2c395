#pragma once
// The compositor's outputs as it describes them: each wl_output's name, position,
// current mode, transform and scale, and (where xdg-output is offered) its logical
// position and size. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct wl_output;
struct wl_registry;
struct zxdg_output_manager_v1;

namespace tavel {

// One output as last described, in compositor (logical) coordinates and pixels.
struct OutputState {
    std::string name;  // the connector name ("DP-1"); see WaylandOutputs for its source
    int x = 0, y = 0;  // wl_output's position
    int modeWidth = 0, modeHeight = 0;  // the current mode, in pixels, before the transform
    std::int32_t transform = 0;         // wl_output.transform
    int scale = 1;                      // wl_output.scale (whole numbers only)
    struct Logical {
        int x = 0, y = 0, width = 0, height = 0;
        bool operator==(const Logical&) const = default;
    };
    std::optional<Logical> logical;  // from xdg-output, when offered
    bool operator==(const OutputState&) const = default;
};

class WaylandOutputs {
public:
    WaylandOutputs();
    ~WaylandOutputs();
    WaylandOutputs(const WaylandOutputs&) = delete;
    WaylandOutputs& operator=(const WaylandOutputs&) = delete;

    // The registry announced an output (`name` is the global's name) or took it away.
    void add(wl_registry* registry, std::uint32_t name, std::uint32_t version);
    // False when no output has that global name.
    bool remove(std::uint32_t name);
    // Asks every output, present and future, for its logical geometry and name.
    void useXdgOutputs(zxdg_output_manager_v1* manager, std::uint32_t version);

    // The outputs that have been described completely, in the order they were
    // announced. The name is wl_output's own (version 4) where offered, else
    // xdg-output's, else the make and model, else empty.
    std::vector<OutputState> states() const;
    // The wl_output of the described output with this name; null when there is none.
    wl_output* find(std::string_view name) const;

    // Called after each complete description of an output and after an output went
    // away (one change may call it more than once). One handler; empty removes it.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

    struct Output;

private:
    friend struct Output;
    void notify();

    std::vector<std::unique_ptr<Output>> outputs_;  // in announcement order
    zxdg_output_manager_v1* xdgManager_ = nullptr;
    std::function<void()> changed_;
};

}  // namespace tavel
