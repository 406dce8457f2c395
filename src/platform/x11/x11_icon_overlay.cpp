#include <epoxy/gl.h>

#include "platform/x11/x11_icon_overlay.h"

#include "effects/shader_program.h"
#include "platform/x11/glx_context.h"
#include "platform/x11/glx_pixmap_texture.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_error_catch.h"
#include "platform/x11/x11_window_stack.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>

#include <utility>
#include <variant>

namespace tavel {

namespace {

// The program's pixel where it differs from the backdrop it was drawn over, with a soft
// edge for the labels' anti-aliased outlines; nothing elsewhere.
constexpr const char* kFragment = R"(#version 330 core
uniform sampler2D icons;
uniform sampler2D backdrop;
uniform ivec2 iconsOrigin;     // the window's top-left corner in the program's pixels
uniform ivec2 backdropOrigin;  // and in the root's
uniform int windowHeight;
uniform bvec2 topRowFirst;     // of each texture
out vec4 color;

ivec2 row(sampler2D s, ivec2 p, bool topFirst) {
    return ivec2(p.x, topFirst ? p.y : textureSize(s, 0).y - 1 - p.y);
}

void main() {
    ivec2 p = ivec2(int(gl_FragCoord.x), windowHeight - 1 - int(gl_FragCoord.y));
    ivec2 ip = p + iconsOrigin;
    ivec2 is = textureSize(icons, 0);
    if (any(lessThan(ip, ivec2(0))) || any(greaterThanEqual(ip, is))) discard;
    // The root's picture is tiled over it (a plain colour is often one pixel).
    ivec2 bs = textureSize(backdrop, 0);
    ivec2 bp = ((p + backdropOrigin) % bs + bs) % bs;
    vec3 a = texelFetch(icons, row(icons, ip, topRowFirst.x), 0).rgb;
    vec3 b = texelFetch(backdrop, row(backdrop, bp, topRowFirst.y), 0).rgb;
    vec3 d = abs(a - b);
    color = vec4(a, smoothstep(0.02, 0.12, max(d.r, max(d.g, d.b))));
}
)";

// The pixmap the root's picture is published as, with its depth; None when there is none,
// it is gone (a setter that freed it leaves its name behind) or no texture takes it.
std::pair<Pixmap, int> rootPixmap(X11Connection& x) {
    auto published = propertyItems(x.display(), x.root(), x.atom("_XROOTPMAP_ID"), XA_PIXMAP, 1);
    const Pixmap pixmap = published && published->size() == 1 ? Pixmap((*published)[0]) : None;
    if (pixmap == None) return {None, 0};
    X11ErrorCatch errors(x.display());
    Window root = None;
    int px = 0, py = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(x.display(), pixmap, &root, &px, &py, &width, &height, &border, &depth) ||
        errors.take() || (depth != 24 && depth != 32))
        return {None, 0};
    return {pixmap, int(depth)};
}

}  // namespace

struct X11IconOverlay::Gl {
    GLuint program = 0;
    GLuint vertexArray = 0;
    GLint iconsOrigin = -1, backdropOrigin = -1, windowHeight = -1, topRowFirst = -1;

    Gl() {
        auto linked = linkProgram(kCoveringTriangleVertex, kFragment);
        if (auto* made = std::get_if<unsigned>(&linked)) program = *made;
        if (program == 0) return;
        glGenVertexArrays(1, &vertexArray);
        iconsOrigin = glGetUniformLocation(program, "iconsOrigin");
        backdropOrigin = glGetUniformLocation(program, "backdropOrigin");
        windowHeight = glGetUniformLocation(program, "windowHeight");
        topRowFirst = glGetUniformLocation(program, "topRowFirst");
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "icons"), 0);
        glUniform1i(glGetUniformLocation(program, "backdrop"), 1);
        glUseProgram(0);
    }
    ~Gl() {
        if (vertexArray) glDeleteVertexArrays(1, &vertexArray);
        if (program) glDeleteProgram(program);
    }
};

std::unique_ptr<X11IconOverlay> X11IconOverlay::create(X11Connection& connection,
                                                       GlxContext& context, PixelRect monitor,
                                                       std::function<void()> changed,
                                                       std::function<void()> replace) {
    Display* display = connection.display();
    int event = 0, error = 0, major = 0, minor = 2;
    if (!XCompositeQueryExtension(display, &event, &error) ||
        !XCompositeQueryVersion(display, &major, &minor) || (major == 0 && minor < 2))
        return nullptr;
    int damageEvent = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &error) ||
        !GlxPixmapTexture::supported(context))
        return nullptr;
    return std::unique_ptr<X11IconOverlay>(new X11IconOverlay(
        connection, context, monitor, std::move(changed), std::move(replace), damageEvent));
}

X11IconOverlay::X11IconOverlay(X11Connection& connection, GlxContext& context, PixelRect monitor,
                               std::function<void()> changed, std::function<void()> replace,
                               int damageEventBase)
    : connection_(connection),
      context_(context),
      monitor_(monitor),
      changed_(std::move(changed)),
      replace_(std::move(replace)),
      damageEventBase_(damageEventBase) {
    handlerId_ = connection_.addExtensionHandler([this](const XEvent& event) { onEvent(event); });
}

X11IconOverlay::~X11IconOverlay() {
    connection_.removeExtensionHandler(handlerId_);
    stop();
    gl_.reset();
}

bool X11IconOverlay::follow(const std::optional<DesktopProgramWindow>& program) {
    if (!program || program->seeThrough) {
        stop();
        return false;
    }
    if (program->client == client_) {
        if (!(program->rect == programRect_)) {
            programRect_ = program->rect;
            nameClientPixmap();
        }
        return true;
    }
    stop();
    if (rootPixmap(connection_).first == None) return false;  // nothing to tell icons from
    Display* display = connection_.display();
    X11ErrorCatch errors(display);  // the program may be gone already
    client_ = program->client;
    programRect_ = program->rect;
    XCompositeRedirectWindow(display, client_, CompositeRedirectAutomatic);
    damage_ = XDamageCreate(display, client_, XDamageReportNonEmpty);
    if (errors.take()) {
        stop();
        return false;
    }
    nameClientPixmap();
    readBackdrop();
    return true;
}

void X11IconOverlay::stop() {
    Display* display = connection_.display();
    X11ErrorCatch trap(display, X11ErrorCatch::windowGone);
    icons_.reset();
    backdropTexture_.reset();
    if (clientPixmap_ != None) XFreePixmap(display, clientPixmap_);
    clientPixmap_ = None;
    if (damage_) XDamageDestroy(display, damage_);
    damage_ = 0;
    if (client_ != None) XCompositeUnredirectWindow(display, client_, CompositeRedirectAutomatic);
    client_ = None;
    backdrop_ = None;
}

void X11IconOverlay::nameClientPixmap() {
    Display* display = connection_.display();
    X11ErrorCatch trap(display, X11ErrorCatch::windowGone);
    icons_.reset();
    XWindowAttributes attributes{};
    clientDepth_ = XGetWindowAttributes(display, client_, &attributes) ? attributes.depth : 24;
    if (clientPixmap_ != None) XFreePixmap(display, clientPixmap_);
    clientPixmap_ = XCompositeNameWindowPixmap(display, client_);
    iconsDirty_ = true;
}

bool X11IconOverlay::readBackdrop() {
    auto [backdrop, depth] = rootPixmap(connection_);
    if (backdrop == backdrop_) return false;
    backdrop_ = backdrop;
    backdropDepth_ = depth;
    backdropTexture_.reset();
    return true;
}

void X11IconOverlay::onEvent(const XEvent& event) {
    if (client_ == None) {
        // A backdrop published later lets a program it could not follow be followed now.
        if (event.type == PropertyNotify && event.xproperty.window == connection_.root() &&
            event.xproperty.atom == connection_.atom("_XROOTPMAP_ID") && replace_)
            replace_();
        return;
    }
    if (event.type == damageEventBase_ + XDamageNotify) {
        const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
        if (notify.damage != damage_) return;
        X11ErrorCatch trap(connection_.display(), X11ErrorCatch::windowGone);
        XDamageSubtract(connection_.display(), damage_, None, None);
        iconsDirty_ = true;
        if (changed_) changed_();
    } else if (event.type == PropertyNotify && event.xproperty.window == connection_.root() &&
               event.xproperty.atom == connection_.atom("_XROOTPMAP_ID")) {
        if (!readBackdrop()) return;
        if (backdrop_ == None) {
            stop();  // nothing left to tell the icons from: the window goes below again
            if (replace_) replace_();
        } else if (changed_) {
            changed_();
        }
    }
}

void X11IconOverlay::draw(int width, int height) {
    if (client_ == None || clientPixmap_ == None || backdrop_ == None) return;
    if (!gl_) gl_ = std::make_unique<Gl>();
    if (gl_->program == 0) return;
    if (!icons_) icons_ = GlxPixmapTexture::create(context_, clientPixmap_, clientDepth_);
    if (!backdropTexture_) {
        backdropTexture_ = GlxPixmapTexture::create(context_, backdrop_, backdropDepth_);
        if (backdropTexture_) backdropTexture_->refresh();
    }
    if (!icons_ || !backdropTexture_) return;
    if (iconsDirty_) {
        icons_->refresh();
        iconsDirty_ = false;
    }

    // What the frame's renderer may rely on stays as it was.
    GLint program = 0, vertexArray = 0, active = 0, texture0 = 0, texture1 = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture0);
    glBindTexture(GL_TEXTURE_2D, icons_->texture());
    glActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture1);
    glBindTexture(GL_TEXTURE_2D, backdropTexture_->texture());
    const GLboolean blend = glIsEnabled(GL_BLEND);

    glViewport(0, 0, width, height);
    glUseProgram(gl_->program);
    glUniform2i(gl_->iconsOrigin, monitor_.x - programRect_.x, monitor_.y - programRect_.y);
    glUniform2i(gl_->backdropOrigin, monitor_.x, monitor_.y);
    glUniform1i(gl_->windowHeight, height);
    glUniform2i(gl_->topRowFirst, icons_->topRowFirst(), backdropTexture_->topRowFirst());
    glBindVertexArray(gl_->vertexArray);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDrawArrays(GL_TRIANGLES, 0, 3);

    if (!blend) glDisable(GL_BLEND);
    glBindVertexArray(GLuint(vertexArray));
    glUseProgram(GLuint(program));
    glBindTexture(GL_TEXTURE_2D, GLuint(texture1));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, GLuint(texture0));
    glActiveTexture(GLenum(active));
}

}  // namespace tavel
