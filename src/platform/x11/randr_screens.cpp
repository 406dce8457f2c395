#include "platform/x11/randr_screens.h"

#include "platform/x11/x11_connection.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace tavel {

namespace {

// The dpi at which one point is one pixel.
constexpr double kBaseDpi = 96.0;

constexpr long kRootMask = StructureNotifyMask | PropertyChangeMask;

// The RESOURCE_MANAGER text as it is now. XResourceManagerString would give the copy
// taken when the display was opened, missing later `xrdb -merge` and desktop settings.
std::string currentResources(Display* display) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(display, RootWindow(display, 0), XA_RESOURCE_MANAGER, 0, 0x1000000,
                           False, XA_STRING, &type, &format, &count, &after, &data) == Success &&
        type == XA_STRING && format == 8 && data)
        text.assign(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    return text;
}

}  // namespace

std::vector<ScreenRecord> screenRecordsFor(const std::vector<MonitorGeometry>& monitors,
                                           double scale) {
    if (!(scale > 0) || !std::isfinite(scale)) scale = 1.0;
    std::vector<const MonitorGeometry*> ordered;
    for (const auto& monitor : monitors) ordered.push_back(&monitor);
    // Only the first primary moves: the server may flag more than one monitor primary.
    auto primary = std::find_if(ordered.begin(), ordered.end(),
                                [](const MonitorGeometry* m) { return m->primary; });
    if (primary != ordered.end()) std::rotate(ordered.begin(), primary, primary + 1);

    std::vector<ScreenRecord> records;
    for (const MonitorGeometry* monitor : ordered) {
        ScreenRecord record;
        record.number = displayNumberForMonitorName(monitor->name);
        record.name = monitor->name;
        record.frame = {monitor->x / scale, monitor->y / scale, monitor->width / scale,
                        monitor->height / scale};
        record.scale = scale;
        records.push_back(std::move(record));
    }
    return records;
}

double scaleFromResources(std::string_view resources) {
    if (resources.empty()) return 1.0;
    XrmInitialize();
    std::string text(resources);
    XrmDatabase database = XrmGetStringDatabase(text.c_str());
    if (!database) return 1.0;
    double scale = 1.0;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        char* end = nullptr;
        double dpi = std::strtod(value.addr, &end);
        bool whole = end != value.addr && (*end == '\0' || *end == ' ' || *end == '\t');
        if (whole && dpi > 0 && std::isfinite(dpi)) scale = dpi / kBaseDpi;
    }
    XrmDestroyDatabase(database);
    return scale;
}

RandrScreens::RandrScreens(X11Connection& connection, Scheduler& scheduler)
    : connection_(connection), scheduler_(scheduler) {
    Display* display = connection_.display();
    int errorBase = 0;
    randrAvailable_ = XRRQueryExtension(display, &eventBase_, &errorBase);
    if (randrAvailable_) {
        int major = 0, minor = 0;
        XRRQueryVersion(display, &major, &minor);
        bool crtcs = major > 1 || (major == 1 && minor >= 2);
        monitorsAvailable_ = major > 1 || (major == 1 && minor >= 5);
        int mask = RRScreenChangeNotifyMask;
        if (crtcs) mask |= RRCrtcChangeNotifyMask | RROutputChangeNotifyMask;
        XRRSelectInput(display, connection_.root(), mask);
    }
    connection_.selectRootInput(kRootMask);

    handlerId_ = connection_.addExtensionHandler([this](const XEvent& event) {
        Window root = connection_.root();
        bool changed = false;
        if (randrAvailable_ && event.type == eventBase_ + RRScreenChangeNotify) {
            // Keeps Xlib's idea of the screen size current.
            XRRUpdateConfiguration(const_cast<XEvent*>(&event));
            changed = true;
        } else if (randrAvailable_ && event.type == eventBase_ + RRNotify) {
            changed = true;
        } else if (event.type == ConfigureNotify && event.xconfigure.window == root) {
            if (randrAvailable_) XRRUpdateConfiguration(const_cast<XEvent*>(&event));
            changed = true;
        } else if (event.type == PropertyNotify && event.xproperty.window == root &&
                   event.xproperty.atom == XA_RESOURCE_MANAGER) {
            changed = true;
        }
        if (changed) lookAgainSoon();
    });
    seen_ = screens();
}

void RandrScreens::lookAgainSoon() {
    if (std::exchange(lookPosted_, true)) return;
    scheduler_.post(self_.guard([](RandrScreens& screens) { screens.lookAgain(); }));
}

void RandrScreens::lookAgain() {
    lookPosted_ = false;
    std::vector<ScreenRecord> now = screens();
    if (now == seen_) return;
    seen_ = std::move(now);
    if (auto handler = changeHandler_) handler();  // a copy: it may replace itself
}

RandrScreens::~RandrScreens() {
    self_.reset();
    connection_.removeExtensionHandler(handlerId_);
    if (randrAvailable_) XRRSelectInput(connection_.display(), connection_.root(), 0);
    connection_.deselectRootInput(kRootMask);
}

void RandrScreens::setChangeHandler(std::function<void()> handler) {
    changeHandler_ = std::move(handler);
}

double RandrScreens::scale() const {
    return scaleFromResources(currentResources(connection_.display()));
}

std::vector<ScreenRecord> RandrScreens::screens() const {
    Display* display = connection_.display();
    std::vector<MonitorGeometry> monitors;
    if (monitorsAvailable_) {
        int count = 0;
        XRRMonitorInfo* info = XRRGetMonitors(display, connection_.root(), True, &count);
        std::vector<Atom> atoms;
        for (int i = 0; i < count; ++i)
            if (info[i].name != None) atoms.push_back(info[i].name);
        // One round trip for all the names.
        std::vector<char*> names(atoms.size(), nullptr);
        if (!atoms.empty() &&
            !XGetAtomNames(display, atoms.data(), static_cast<int>(atoms.size()), names.data()))
            std::fill(names.begin(), names.end(), nullptr);
        std::size_t next = 0;
        for (int i = 0; i < count; ++i) {
            MonitorGeometry monitor;
            if (info[i].name != None && names[next]) monitor.name = names[next];
            if (info[i].name != None) ++next;
            monitor.primary = info[i].primary;
            monitor.x = info[i].x;
            monitor.y = info[i].y;
            monitor.width = info[i].width;
            monitor.height = info[i].height;
            monitors.push_back(std::move(monitor));
        }
        for (char* name : names)
            if (name) XFree(name);
        if (info) XRRFreeMonitors(info);
    } else {
        XWindowAttributes root{};
        if (XGetWindowAttributes(display, connection_.root(), &root))
            monitors.push_back({"", true, 0, 0, root.width, root.height});
    }
    return screenRecordsFor(monitors, scale());
}

}  // namespace tavel
