#include "platform/x11/x11_wallpaper_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

namespace tavel {

namespace {

void setAtoms(X11Connection& x, Window window, const char* property,
              std::initializer_list<const char*> values) {
    std::vector<Atom> atoms;
    for (const char* v : values) atoms.push_back(x.atom(v));
    XChangeProperty(x.display(), window, x.atom(property), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(atoms.data()),
                    static_cast<int>(atoms.size()));
}

void setCardinal(X11Connection& x, Window window, const char* property, unsigned long value) {
    XChangeProperty(x.display(), window, x.atom(property), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
}

}  // namespace

X11WallpaperWindow::X11WallpaperWindow(const X11RenderServices& services,
                                       const ScreenRecord& screen)
    : window_(services, screen,
              X11ViewWindow::Options{
                  services.stacking && overrideRedirectFits(services.connection), 0, {}}),
      coverage_(services.coverage),
      stacking_(services.stacking) {
    X11Connection& x = services.connection;
    Display* display = x.display();
    Window w = window_.xid();

    XClassHint classHint{const_cast<char*>("tavel"), const_cast<char*>("Tavel")};
    XSetClassHint(display, w, &classHint);
    XStoreName(display, w, "Tavel");

    setAtoms(x, w, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DESKTOP"});
    setAtoms(x, w, "_NET_WM_STATE",
             {"_NET_WM_STATE_BELOW", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR",
              "_NET_WM_STATE_SKIP_PAGER"});
    // On every workspace.
    setCardinal(x, w, "_NET_WM_DESKTOP", 0xFFFFFFFFul);
    // Composited with the rest: a compositor takes a full-screen override-redirect window
    // for a game's and stops compositing for it (xfwm4 does), and what it no longer
    // draws goes black.
    setCardinal(x, w, "_NET_WM_BYPASS_COMPOSITOR", 2);

    // Never takes keyboard focus.
    XWMHints hints{};
    hints.flags = InputHint;
    hints.input = False;
    XSetWMHints(display, w, &hints);

    // No frame or title from the window manager (Motif hints: decorations flag, none).
    long motif[5] = {2, 0, 0, 0, 0};
    XChangeProperty(display, w, x.atom("_MOTIF_WM_HINTS"), x.atom("_MOTIF_WM_HINTS"), 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(motif), 5);

    // An empty input shape: pointer events go to whatever is below.
    XserverRegion empty = XFixesCreateRegion(display, nullptr, 0);
    XFixesSetWindowShapeRegion(display, w, ShapeInput, 0, 0, empty);
    XFixesDestroyRegion(display, empty);

    // Under a compositing manager the server never reports it obscured.
    if (coverage_)
        coverageWatch_ = coverage_->watch(w, window_.rect(),
                                          [this](bool covered) { window_.setCovered(covered); });
    if (!stacking_) return;
    overlay_ = X11IconOverlay::create(
        x, services.context, window_.rect(), [this] { window_.view().redraw(); },
        [this] { stacking_->refresh(); });
    stackingWatch_ = stacking_->watch(w, window_.rect(), !window_.overrideRedirect(),
                                      [this](const auto& program) { return follow(program); });
}

X11WallpaperWindow::~X11WallpaperWindow() {
    if (coverage_) coverage_->unwatch(coverageWatch_);
    if (stacking_) stacking_->unwatch(stackingWatch_);
    if (overlay_) {
        window_.surface().setOverlay({});
        // Its textures and program belong to the context.
        if (window_.surface().makeCurrent()) overlay_.reset();
    }
}

ProgramSide X11WallpaperWindow::follow(const std::optional<DesktopProgramWindow>& program) {
    program_ = program;
    const bool over = overlay_ && overlay_->follow(program);
    if (over != iconsOver_) {
        iconsOver_ = over;
        if (over)
            window_.surface().setOverlay([overlay = overlay_.get()](int width, int height) {
                overlay->draw(width, height);
            });
        else
            window_.surface().setOverlay({});
    }
    // An opaque program whose icons cannot be drawn over the effect hides it: above it
    // only when the person chose to cover it.
    return over || (cover_ && program && !program->seeThrough) ? ProgramSide::above
                                                               : ProgramSide::below;
}

void X11WallpaperWindow::setCoverDesktopProgram(bool cover) {
    if (cover == cover_) return;
    cover_ = cover;
    if (stacking_) stacking_->refresh();
}

std::string X11WallpaperWindow::hiddenBy() const {
    return program_ && !program_->seeThrough && !iconsOver_ && !cover_ ? program_->name
                                                                       : std::string();
}

std::string X11WallpaperWindow::drawnBy() const {
    if (!program_) return "desktop window";
    const std::string& name = program_->name;
    if (iconsOver_) return "desktop window, " + name + "'s icons drawn over it";
    if (program_->seeThrough) return "desktop window, below " + name + "'s icons";
    if (cover_) return "desktop window, covering " + name + "'s desktop and icons";
    return "desktop window, hidden behind " + name + "'s opaque desktop";
}

void X11WallpaperWindow::orderFront() {
    window_.map();
    XLowerWindow(window_.display(), window_.xid());
    XFlush(window_.display());
    if (stacking_) stacking_->refresh();
}

void X11WallpaperWindow::orderOut() {
    window_.unmap();
    XFlush(window_.display());
}

}  // namespace tavel
