// The gallery window's input: pointer and keys through GLFW into ImGui, with a press
// near the edge handed to the window manager, and taps shorter than a frame replayed over
// two frames (ImGui samples its input once a frame).

#include "app/ui/host/gallery_window.h"
#include "app/ui/host/gallery_window_native.h"
#include "platform/x11/x11_window_chrome.h"

#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3native.h>
#include <backends/imgui_impl_glfw.h>

#include <algorithm>
#include <cfloat>
#include <optional>
#include <utility>

namespace tavel {

namespace {

// How close to the edge a press resizes instead of reaching the interface (pixels).
constexpr double kEdge = 6.0;

std::optional<WindowDrag> edgeAt(double x, double y, int width, int height) {
    const bool left = x < kEdge, right = x >= width - kEdge;
    const bool top = y < kEdge, bottom = y >= height - kEdge;
    if (top && left) return WindowDrag::sizeTopLeft;
    if (top && right) return WindowDrag::sizeTopRight;
    if (bottom && left) return WindowDrag::sizeBottomLeft;
    if (bottom && right) return WindowDrag::sizeBottomRight;
    if (top) return WindowDrag::sizeTop;
    if (bottom) return WindowDrag::sizeBottom;
    if (left) return WindowDrag::sizeLeft;
    if (right) return WindowDrag::sizeRight;
    return std::nullopt;
}

}  // namespace

void GalleryWindow::installInput() {
    GLFWwindow* window = native_->window;
    glfwSetMouseButtonCallback(window, [](GLFWwindow* w, int button, int action, int mods) {
        auto* self = static_cast<GalleryWindow*>(glfwGetWindowUserPointer(w));
        Native& n = *self->native_;
        if (action == GLFW_PRESS && button == GLFW_MOUSE_BUTTON_LEFT) {
            double x = 0, y = 0;
            int width = 0, height = 0;
            glfwGetCursorPos(w, &x, &y);
            glfwGetWindowSize(w, &width, &height);
            if (auto edge = edgeAt(x, y, width, height)) {
                int left = 0, top = 0;
                glfwGetWindowPos(w, &left, &top);
                beginWindowDrag(glfwGetX11Display(), glfwGetX11Window(w), *edge,
                                left + static_cast<int>(x), top + static_cast<int>(y), 1);
                return;  // the interface never sees a press on the edge
            }
        }
        if (button >= 0 && button < 3) {
            n.down[button] = action == GLFW_PRESS;
            if (action == GLFW_PRESS) {
                n.pressedSinceFrame[button] = true;
                n.pressX = n.cursorX;
                n.pressY = n.cursorY;
            } else if (button == GLFW_MOUSE_BUTTON_LEFT) {
                n.releasedSinceFrame = true;
                n.releaseX = n.cursorX;
                n.releaseY = n.cursorY;
            }
        }
        ImGui_ImplGlfw_MouseButtonCallback(w, button, action, mods);
    });
    glfwSetCursorPosCallback(window, [](GLFWwindow* w, double x, double y) {
        auto* self = static_cast<GalleryWindow*>(glfwGetWindowUserPointer(w));
        Native& n = *self->native_;
        n.cursorX = x;
        n.cursorY = y;
        int width = 0, height = 0;
        glfwGetWindowSize(w, &width, &height);
        GLFWcursor* wanted = n.arrow;
        if (auto edge = edgeAt(x, y, width, height)) {
            switch (*edge) {
                case WindowDrag::sizeLeft:
                case WindowDrag::sizeRight:
                    wanted = n.horizontal;
                    break;
                case WindowDrag::sizeTop:
                case WindowDrag::sizeBottom:
                    wanted = n.vertical;
                    break;
                default:
                    wanted = n.cross;
            }
        }
        if (wanted != n.current) glfwSetCursor(w, n.current = wanted);
    });
    glfwSetScrollCallback(window, ImGui_ImplGlfw_ScrollCallback);
    glfwSetKeyCallback(window, [](GLFWwindow* w, int key, int scancode, int action, int mods) {
        Native& n = *static_cast<GalleryWindow*>(glfwGetWindowUserPointer(w))->native_;
        auto& pressed = n.keysPressedSinceFrame;
        if (action == GLFW_PRESS) {
            pressed.push_back(key);
        } else if (action == GLFW_RELEASE &&
                   std::find(pressed.begin(), pressed.end(), key) != pressed.end()) {
            n.heldReleases.push_back({key, scancode, mods});
            return;
        }
        ImGui_ImplGlfw_KeyCallback(w, key, scancode, action, mods);
    });
    glfwSetCharCallback(window, ImGui_ImplGlfw_CharCallback);
    glfwSetCursorEnterCallback(window, ImGui_ImplGlfw_CursorEnterCallback);
    glfwSetWindowFocusCallback(window, ImGui_ImplGlfw_WindowFocusCallback);
}

void GalleryWindow::feedInput(float scale) {
    ImGuiIO& io = ImGui::GetIO();
    // A click whose press and release both came since the last frame is seen over two
    // frames, each where it happened: the press now, the release in the next one.
    Native& n = *native_;
    const bool pressFrame = n.pressedSinceFrame[0];
    if (pressFrame && n.pressX >= 0)
        io.MousePos = ImVec2(static_cast<float>(n.pressX), static_cast<float>(n.pressY));
    else if (n.releasedSinceFrame && n.releaseX >= 0)
        io.MousePos = ImVec2(static_cast<float>(n.releaseX), static_cast<float>(n.releaseY));
    n.releasedSinceFrame = pressFrame && n.releasedSinceFrame;
    if (io.MousePos.x > -FLT_MAX / 2)
        io.MousePos = ImVec2(io.MousePos.x / scale, io.MousePos.y / scale);
    for (int b = 0; b < 3; ++b) {
        io.MouseDown[b] = n.down[b] || n.pressedSinceFrame[b];
        n.pressedSinceFrame[b] = false;
    }
}

void GalleryWindow::endInputFrame() {
    Native& n = *native_;
    // This frame saw the short taps down; the next sees them up.
    n.keysPressedSinceFrame.clear();
    for (const auto& [key, scancode, mods] : std::exchange(n.heldReleases, {}))
        ImGui_ImplGlfw_KeyCallback(native_->window, key, scancode, GLFW_RELEASE, mods);
}

}  // namespace tavel
