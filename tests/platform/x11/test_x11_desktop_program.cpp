// The keeper of the desktop windows' place against the desktop program's window, on the
// test program's Xvfb with windows another client makes (no window manager: the keeper
// needs none).

#include "x11_loop_fixture.h"  // first: see there

#include "platform/x11/x11_desktop_program.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

class X11DesktopProgramTest : public test::X11LoopTest {
protected:
    ~X11DesktopProgramTest() override {
        if (other) XCloseDisplay(other);
    }
    // An override-redirect window of this connection, as Tavel's desktop windows are.
    Window ownWindow(PixelRect rect) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        Window w = XCreateWindow(display(), root(), rect.x, rect.y, rect.width, rect.height, 0,
                                 CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect,
                                 &attributes);
        XMapWindow(display(), w);
        sync();
        return w;
    }
    // The viewable root children, bottom first.
    std::vector<Window> order() {
        Window r = None, parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        std::vector<Window> viewable;
        XQueryTree(display(), root(), &r, &parent, &children, &count);
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(display(), children[i], &a) && a.map_state == IsViewable)
                viewable.push_back(children[i]);
        }
        if (children) XFree(children);
        return viewable;
    }
    std::ptrdiff_t at(Window w) {
        auto o = order();
        return std::find(o.begin(), o.end(), w) - o.begin();
    }
    bool settled() {
        XSync(other, False);
        return settle() && settle();  // the keeper's own restack comes back once more
    }

    Display* other = XOpenDisplay(nullptr);
    X11DesktopStackKeeper keeper{*connection, loop};
    std::vector<std::optional<DesktopProgramWindow>> seen;
};

// Tavel's windows stay directly below the desktop program's window, whatever raises them
// or maps new windows, and go below everything once it is gone.
TEST_F(X11DesktopProgramTest, TavelsWindowsStayDirectlyBelowTheDesktopProgram) {
    ASSERT_NE(other, nullptr);
    const PixelRect left{0, 0, 640, 480}, right{640, 0, 640, 480};
    Window app = test::mapWindow(other, {100, 100, 200, 200});
    Window program =
        test::mapWindow(other, {0, 0, 1280, 480}, InputOutput, "_NET_WM_WINDOW_TYPE_DESKTOP");
    XClassHint hint{const_cast<char*>("desktop"), const_cast<char*>("Xfdesktop")};
    XSetClassHint(other, program, &hint);
    XRaiseWindow(other, app);
    Window a = ownWindow(left), b = ownWindow(right);
    for (Window own : {a, b})
        keeper.watch(own, own == a ? left : right, false, [this](const auto& p) {
            seen.push_back(p);
            return ProgramSide::below;
        });
    ASSERT_TRUE(settled());
    ASSERT_TRUE(seen.back());
    EXPECT_EQ(seen.back()->client, program);
    EXPECT_EQ(seen.back()->name, "Xfdesktop");
    EXPECT_EQ(seen.back()->rect, (PixelRect{0, 0, 1280, 480}));
    EXPECT_FALSE(seen.back()->seeThrough);
    auto inPlace = [&] {
        auto p = at(program);
        return std::max(at(a), at(b)) == p - 1 && std::min(at(a), at(b)) == p - 2;
    };
    EXPECT_TRUE(inPlace());

    XRaiseWindow(display(), a);
    ASSERT_TRUE(settled());
    EXPECT_TRUE(inPlace());
    XLowerWindow(other, program);  // the program restarted beneath them
    ASSERT_TRUE(settled());
    EXPECT_TRUE(inPlace());

    XDestroyWindow(other, program);
    ASSERT_TRUE(settled());
    EXPECT_FALSE(seen.back());
    EXPECT_LT(std::max(at(a), at(b)), at(app));
    EXPECT_LT(std::max(at(a), at(b)), 2);
    XDestroyWindow(other, app);
    XSync(other, False);
}

}  // namespace
}  // namespace tavel
