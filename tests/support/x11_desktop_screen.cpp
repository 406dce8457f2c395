// The session's X display as a person sees it: its window manager, the desktop program's
// window and icons, panels, screenshots, and the checks made on them.

#include "support/x11_desktop_display.h"

#include "platform/x11/x11_loop_fixture.h"

#include <X11/extensions/XRes.h>

#include <algorithm>
#include <map>
#include <set>

namespace tavel::test {

namespace {

using namespace std::chrono_literals;

// Pixels this far from the backdrop are drawn on it; icons are compared on those further
// still, which another backdrop behind a label's soft edge cannot reach.
constexpr int kInk = 40, kOwnPixel = 128, kSameColour = 64;

std::vector<unsigned long> longsOf(Display* display, Window window, const char* property,
                                   Atom type) {
    return itemsOf(display, window, XInternAtom(display, property, False), type);
}

std::vector<std::string> atomNames(Display* display, Window window, const char* property) {
    std::vector<std::string> names;
    for (Atom atom : longsOf(display, window, property, XA_ATOM))
        if (char* name = XGetAtomName(display, atom)) {
            names.push_back(name);
            XFree(name);
        }
    return names;
}

bool viewable(Display* display, Window window) {
    XWindowAttributes a;
    return XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable;
}

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int most = 0;
    for (int shift : {0, 8, 16})
        most = std::max(most, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
    return most;
}

}  // namespace

long pidOf(Display* display, Window window) {
    XResClientIdSpec client{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0, pid = -1;
    XResClientIdValue* values = nullptr;
    if (XResQueryClientIds(display, 1, &client, &count, &values) != Success) return -1;
    for (long i = 0; i < count; ++i)
        if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_PID)
            pid = XResGetClientPid(&values[i]);
    XResClientIdsDestroy(count, values);
    return pid;
}

long windowManagerPid(Display* display) {
    auto check =
        longsOf(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    return check.empty() ? -1 : pidOf(display, check[0]);
}

std::pair<Window, Window> desktopWindow(Display* display) {
    for (const TopLevel& top : childrenOf(display)) {
        if (top.typed("_NET_WM_WINDOW_TYPE_DESKTOP")) return {top.window, top.window};
        for (const TopLevel& child : childrenOf(display, top.window))
            if (child.typed("_NET_WM_WINDOW_TYPE_DESKTOP")) return {child.window, top.window};
    }
    return {0, 0};
}

bool dockShown(Display* display) {
    for (unsigned long client :
         longsOf(display, DefaultRootWindow(display), "_NET_CLIENT_LIST", XA_WINDOW))
        if (viewable(display, client) &&
            std::ranges::count(atomNames(display, client, "_NET_WM_WINDOW_TYPE"),
                               "_NET_WM_WINDOW_TYPE_DOCK"))
            return true;
    return false;
}

std::vector<TopLevel> childrenOf(Display* display, unsigned long parent) {
    std::vector<TopLevel> list;
    Window root, *children = nullptr;
    unsigned count = 0;
    XSync(display, False);
    if (!XQueryTree(display, parent ? parent : DefaultRootWindow(display), &root, &parent,
                    &children, &count))
        return list;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
            a.c_class == InputOutput)
            list.push_back({children[i],
                            {a.x, a.y, a.width, a.height},
                            a.override_redirect == True,
                            atomNames(display, children[i], "_NET_WM_WINDOW_TYPE"),
                            atomNames(display, children[i], "_NET_WM_STATE")});
    }
    if (children) XFree(children);
    return list;
}

Shot grab(Display* display, const Rect& area) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), area.x, area.y, area.width,
                              area.height, AllPlanes, ZPixmap);
    if (!image) return {};
    // Xvfb's 24-bit screens hold a pixel in 32 bits: rows are read directly (it is polled).
    Shot shot;
    shot.taken = true;
    shot.width = area.width;
    shot.height = area.height;
    if (image->bits_per_pixel == 32)
        for (int y = 0; y < area.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(
                image->data + std::size_t(y) * image->bytes_per_line);
            for (int x = 0; x < area.width; ++x) shot.pixels.push_back(row[x] & 0xffffff);
        }
    XDestroyImage(image);
    return shot.pixels.empty() ? Shot{} : shot;
}

Shot X11DesktopSession::screenshot() const {
    return login_.has(DesktopLogin::Wayland) ? shellScreenshot()
                                             : grab(display_, {0, 0, kWidth, kHeight});
}

void X11DesktopSession::findIcons() {
    const Shot& shot = baseline_;
    auto area = longsOf(display_, DefaultRootWindow(display_), "_NET_WORKAREA", XA_CARDINAL);
    workArea_ = area.size() >= 4 ? Rect{int(area[0]), int(area[1]), int(area[2]), int(area[3])}
                                 : Rect{0, 0, kWidth, kHeight};
    // Panels and whatever else stands above the desktop program's window.
    const Window top = desktopWindow(display_).second;
    bool above = false;
    for (const TopLevel& window : childrenOf(display_)) {
        if (above && window.rect.intersects({0, 0, kWidth, kHeight}))
            covered_.push_back(window.rect);
        above |= window.window == top;
    }

    // The backdrop is the work area's most common colour.
    std::map<std::uint32_t, long> counts;
    for (int y = workArea_.y; y < workArea_.y + workArea_.height; y += 4)
        for (int x = workArea_.x; x < workArea_.x + workArea_.width; x += 4)
            ++counts[shot.at(x, y)];
    backdrop_ = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                    return a.second < b.second;
                })->first;

    // Icons: groups of 4x4 cells with pixels off the backdrop (and their count), at most two
    // cells apart: an icon and its label are one group.
    constexpr int kCell = 4;
    std::vector<std::pair<Rect, long>> groups;
    for (int cy = workArea_.y / kCell; cy * kCell < workArea_.y + workArea_.height; ++cy)
        for (int cx = workArea_.x / kCell; cx * kCell < workArea_.x + workArea_.width; ++cx) {
            std::pair<Rect, long> cell{{cx * kCell, cy * kCell, kCell, kCell}, 0};
            const int right = std::min(cell.first.x + kCell, workArea_.x + workArea_.width);
            for (int y = std::max(cell.first.y, workArea_.y);
                 y < std::min(cell.first.y + kCell, workArea_.y + workArea_.height); ++y)
                for (int x = std::max(cell.first.x, workArea_.x); x < right; ++x)
                    cell.second += channelDistance(shot.at(x, y), backdrop_) > kInk;
            if (!cell.second) continue;
            std::erase_if(groups, [&](const std::pair<Rect, long>& group) {
                if (!group.first.grown(3 * kCell).intersects(cell.first)) return false;
                cell = {cell.first.united(group.first), cell.second + group.second};
                return true;
            });
            groups.push_back(cell);
        }
    for (const auto& [rect, pixels] : groups)
        if (pixels >= 50 && std::none_of(covered_.begin(), covered_.end(),
                                         [&](const Rect& c) { return c.intersects(rect); }))
            icons_.push_back(rect);

    // The launcher: its icon's square.
    int left = kWidth, right = -1, upper = kHeight, lower = -1;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (shot.at(x, y) == kLauncherColour)
                left = std::min(left, x), right = std::max(right, x), upper = std::min(upper, y),
                lower = std::max(lower, y);
    launcher_ = right < 0 ? Rect{} : Rect{left, upper, right - left + 1, lower - upper + 1};

    // The first place from the bottom right with the backdrop alone, clear of icons and panels.
    const int w = kWidth / 5, h = kHeight / 5, margin = 16;
    auto near = [](const std::vector<Rect>& rects, int by, const Rect& candidate) {
        return std::any_of(rects.begin(), rects.end(),
                           [&](const Rect& r) { return r.grown(by).intersects(candidate); });
    };
    for (int y = workArea_.y + workArea_.height - margin - h; y >= workArea_.y + margin; y -= 16)
        for (int x = workArea_.x + workArea_.width - margin - w; x >= workArea_.x + margin;
             x -= 16) {
            const Rect candidate{x, y, w, h};
            if (near(icons_, 24, candidate) || near(covered_, 8, candidate)) continue;
            bool plain = true;
            for (int py = y; py < y + h && plain; ++py)
                for (int px = x; px < x + w && plain; ++px) plain = shot.at(px, py) == backdrop_;
            if (plain) {
                freeArea_ = candidate;
                return;
            }
        }
}

::testing::AssertionResult X11DesktopSession::iconsLookAsInBaseline() const {
    // No icon under the pointer, lit.
    if (login_.has(DesktopLogin::Wayland))
        clickAt(freeArea_.centerX(), freeArea_.centerY(), 0);
    else
        run({"xdotool", "mousemove", std::to_string(freeArea_.centerX()),
             std::to_string(freeArea_.centerY())});
    const Shot now = screenshot();
    std::string changed;
    for (const Rect& icon : icons_) {
        long own = 0, kept = 0;
        for (int y = icon.y; y < icon.y + icon.height; ++y)
            for (int x = icon.x; x < icon.x + icon.width; ++x)
                if (channelDistance(baseline_.at(x, y), backdrop_) > kOwnPixel) {
                    ++own;
                    kept += channelDistance(baseline_.at(x, y), now.at(x, y)) <= kSameColour;
                }
        if (own && kept < own * 3 / 4)
            changed += "icon at " + std::to_string(icon.x) + "," + std::to_string(icon.y) + ": " +
                       std::to_string(kept * 100 / own) + "% as before\n";
    }
    if (changed.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << changed;
}

::testing::AssertionResult X11DesktopSession::panelsLookAsInBaseline() const {
    const Shot now = screenshot();
    const Rect& w = workArea_;
    std::vector<Rect> panels = covered_;
    for (Rect strip : {Rect{0, 0, kWidth, w.y}, Rect{0, w.y + w.height, kWidth, kHeight},
                       Rect{0, 0, w.x, kHeight}, Rect{w.x + w.width, 0, kWidth, kHeight}}) {
        strip.width = std::min(strip.width, kWidth - strip.x);
        strip.height = std::min(strip.height, kHeight - strip.y);
        if (strip.width > 0 && strip.height > 0) panels.push_back(strip);
    }
    std::string changed;
    for (const Rect& panel : panels)
        if (double share = changedShare(baseline_, now, panel); share > 0.2)
            changed += "panel at " + std::to_string(panel.x) + "," + std::to_string(panel.y) +
                       ": " + std::to_string(int(share * 100)) + "% changed\n";
    if (changed.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << changed;
}

::testing::AssertionResult X11DesktopSession::rightClickOpensTheDesktopMenu() const {
    std::set<Window> before;
    for (const TopLevel& window : childrenOf(display_)) before.insert(window.window);
    const std::string x = std::to_string(freeArea_.centerX()),
                      y = std::to_string(freeArea_.centerY());
    run({"xdotool", "mousemove", x, y, "click", "3"});
    Window menu = 0;
    waitUntil(
        [&] {
            for (const TopLevel& window : childrenOf(display_))
                if (!before.count(window.window) && pidOf(display_, window.window) == menuOwner_ &&
                    (window.overrideRedirect || window.typed("_NET_WM_WINDOW_TYPE_POPUP_MENU")))
                    menu = window.window;
            return menu != 0;
        },
        20s);  // the desktop program may be slow to answer on a busy machine
    if (!menu)
        return ::testing::AssertionFailure() << "no menu of process " << menuOwner_
                                             << " after a right-click at " << x << "," << y;
    run({"xdotool", "key", "Escape"});
    if (!waitUntil([&] { return !viewable(display_, menu); }, 5s))
        return ::testing::AssertionFailure() << "the menu stayed after Escape";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult X11DesktopSession::doubleClickOpensTheLauncher() const {
    const auto launched = dir_ / "launched";
    std::filesystem::remove(launched);
    const std::string x = std::to_string(launcher_.centerX()),
                      y = std::to_string(launcher_.centerY());
    // A busy machine may hold xdotool up between the clicks: a missed one is tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (login_.has(DesktopLogin::Wayland))
            clickAt(launcher_.centerX(), launcher_.centerY(), 2);
        else
            run({"xdotool", "mousemove", x, y, "click", "--repeat", "2", "--delay", "50", "1"});
        if (waitUntil([&] { return std::filesystem::exists(launched); }, 5s))
            return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "three double-clicks at " << x << "," << y << " did not run the launcher's command";
}

}  // namespace tavel::test
