#pragma once
// The desktop program's icons over the effect. A desktop program that paints an opaque
// backdrop under its icons (xfdesktop, caja) would hide an effect below it; so Tavel's
// window stands directly above the program's instead and draws, over each frame, the
// program's own picture wherever it differs from the backdrop the program publishes on
// the root (_XROOTPMAP_ID, tiled over the root as the server tiles it): icons, labels,
// selections and dragged icons show, the backdrop does not. The window takes no input, so every
// click still reaches the program.
//
// The program's window is redirected (Composite, automatically: the server still paints
// it) and watched for damage; its pixmap and the root's are textures through
// texture-from-pixmap, refreshed only after they change. Main thread; draw() and the
// destructor with the views' GLX context current.

#include "platform/x11/pixel_rect.h"
#include "platform/x11/x11_desktop_program.h"

#include <X11/Xlib.h>

#include <functional>
#include <memory>
#include <optional>

namespace tavel {

class GlxContext;
class GlxPixmapTexture;
class X11Connection;

class X11IconOverlay {
public:
    // Nothing when the server lacks Composite 0.2, Damage or texture-from-pixmap.
    // `changed` runs on the main thread when what the overlay draws has changed;
    // `replace` when whether it can follow the program may have changed (the root's
    // published picture came or went): the window asks follow() again.
    static std::unique_ptr<X11IconOverlay> create(X11Connection& connection, GlxContext& context,
                                                  PixelRect monitor, std::function<void()> changed,
                                                  std::function<void()> replace);
    ~X11IconOverlay();
    X11IconOverlay(const X11IconOverlay&) = delete;
    X11IconOverlay& operator=(const X11IconOverlay&) = delete;

    // Draws `program`'s icons from now on (nothing: none). False when it cannot: the
    // program draws with an alpha channel (the effect shows through it anyway) or
    // publishes no backdrop to tell its icons from; the window then stays below it.
    bool follow(const std::optional<DesktopProgramWindow>& program);
    bool following() const { return client_ != None; }
    // Over the bound framebuffer of the window, `width` x `height` pixels; nothing while
    // it follows no program. Leaves the GL state it found.
    void draw(int width, int height);

private:
    X11IconOverlay(X11Connection& connection, GlxContext& context, PixelRect monitor,
                   std::function<void()> changed, std::function<void()> replace,
                   int damageEventBase);
    void onEvent(const XEvent& event);
    void stop();
    void nameClientPixmap();
    bool readBackdrop();

    X11Connection& connection_;
    GlxContext& context_;
    PixelRect monitor_;
    std::function<void()> changed_, replace_;
    int damageEventBase_;
    int handlerId_ = 0;

    Window client_ = None;
    PixelRect programRect_;
    unsigned long damage_ = 0;
    Pixmap clientPixmap_ = None;
    int clientDepth_ = 24;
    Pixmap backdrop_ = None;
    int backdropDepth_ = 24;
    std::unique_ptr<GlxPixmapTexture> icons_, backdropTexture_;
    bool iconsDirty_ = true;

    struct Gl;
    std::unique_ptr<Gl> gl_;
};

}  // namespace tavel
