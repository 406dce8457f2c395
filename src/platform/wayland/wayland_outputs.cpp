#include "platform/wayland/wayland_outputs.h"

#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>

namespace tavel {

struct WaylandOutputs::Output {
    WaylandOutputs& owner;
    std::uint32_t globalName;
    wl_output* output;
    zxdg_output_v1* xdgOutput = nullptr;
    OutputState state;
    // Sources of the name, best first: wl_output 4, xdg-output, make and model.
    std::string ownName, xdgName, makeModel;
    bool described = false;     // a wl_output.done arrived
    bool xdgDescribed = false;  // the logical geometry arrived

    Output(WaylandOutputs& o, std::uint32_t name, wl_output* out)
        : owner(o), globalName(name), output(out) {}
    ~Output() {
        if (xdgOutput) zxdg_output_v1_destroy(xdgOutput);
        if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(output);
        else
            wl_output_destroy(output);
    }

    bool complete() const { return described && (!xdgOutput || xdgDescribed); }

    void takeName() {
        state.name = !ownName.empty() ? ownName : !xdgName.empty() ? xdgName : makeModel;
    }

    void askXdg(zxdg_output_manager_v1* manager);
    void changed() {
        takeName();
        owner.notify();
    }
};

namespace {

using Output = WaylandOutputs::Output;

Output& outputOf(void* data) {
    return *static_cast<Output*>(data);
}

const wl_output_listener kOutputListener = {
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char* make, const char* model, std::int32_t transform) {
            Output& o = outputOf(data);
            o.state.x = x;
            o.state.y = y;
            o.state.transform = transform;
            std::string text = std::string(make ? make : "") + " " + (model ? model : "");
            text.erase(0, text.find_first_not_of(' '));
            text.erase(text.find_last_not_of(' ') + 1);
            o.makeModel = text;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
            if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
            Output& o = outputOf(data);
            o.state.modeWidth = width;
            o.state.modeHeight = height;
        },
    .done =
        [](void* data, wl_output*) {
            Output& o = outputOf(data);
            o.described = true;
            o.changed();
        },
    .scale = [](void* data, wl_output*,
                std::int32_t factor) { outputOf(data).state.scale = factor > 0 ? factor : 1; },
    .name = [](void* data, wl_output*, const char* name) { outputOf(data).ownName = name; },
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    .logical_position =
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
            Output& o = outputOf(data);
            if (!o.state.logical) o.state.logical.emplace();
            o.state.logical->x = x;
            o.state.logical->y = y;
        },
    .logical_size =
        [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
            Output& o = outputOf(data);
            if (!o.state.logical) o.state.logical.emplace();
            o.state.logical->width = width;
            o.state.logical->height = height;
            o.xdgDescribed = width > 0 && height > 0;
        },
    // Version 3 and later send wl_output.done instead; before it, this ends a change.
    .done = [](void* data, zxdg_output_v1*) { outputOf(data).changed(); },
    .name = [](void* data, zxdg_output_v1*, const char* name) { outputOf(data).xdgName = name; },
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

}  // namespace

void Output::askXdg(zxdg_output_manager_v1* manager) {
    if (xdgOutput || !manager) return;
    xdgOutput = zxdg_output_manager_v1_get_xdg_output(manager, output);
    zxdg_output_v1_add_listener(xdgOutput, &kXdgOutputListener, this);
}

WaylandOutputs::WaylandOutputs() = default;
WaylandOutputs::~WaylandOutputs() = default;

void WaylandOutputs::add(wl_registry* registry, std::uint32_t name, std::uint32_t version) {
    // Version 4 adds the connector name; 2 the done event every description ends with.
    if (version < 2) return;
    auto* proxy = static_cast<wl_output*>(
        wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 4u)));
    outputs_.push_back(std::make_unique<Output>(*this, name, proxy));
    Output& output = *outputs_.back();
    wl_output_add_listener(proxy, &kOutputListener, &output);
    output.askXdg(xdgManager_);
}

bool WaylandOutputs::remove(std::uint32_t name) {
    auto found = std::find_if(outputs_.begin(), outputs_.end(),
                              [name](const auto& o) { return o->globalName == name; });
    if (found == outputs_.end()) return false;
    outputs_.erase(found);
    notify();
    return true;
}

void WaylandOutputs::useXdgOutputs(zxdg_output_manager_v1* manager, std::uint32_t) {
    xdgManager_ = manager;
    for (auto& output : outputs_) output->askXdg(manager);
}

std::vector<OutputState> WaylandOutputs::states() const {
    std::vector<OutputState> states;
    for (const auto& output : outputs_)
        if (output->complete()) states.push_back(output->state);
    return states;
}

wl_output* WaylandOutputs::find(std::string_view name) const {
    for (const auto& output : outputs_)
        if (output->complete() && output->state.name == name) return output->output;
    return nullptr;
}

void WaylandOutputs::notify() {
    if (auto handler = changed_) handler();  // a copy: it may replace itself
}

}  // namespace tavel
