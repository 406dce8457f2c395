#pragma once
// The gallery window's GLFW side, shared by its two source files: the window, its GLX
// drawable, and the input as this window saw it between frames.

#include "app/ui/host/gallery_window.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <asio/posix/stream_descriptor.hpp>

#include <array>
#include <memory>
#include <vector>

namespace tavel {

struct GalleryWindow::Native {
    GLFWwindow* window = nullptr;
    unsigned long drawable = 0;
    std::unique_ptr<asio::posix::stream_descriptor> events;
    bool imguiGlfw = false, imguiGl = false;
    // The buttons as this window saw them: a move or resize hands the pointer to the
    // window manager, and GLFW never hears that button come up.
    bool down[3] = {false, false, false};
    bool pressedSinceFrame[3] = {false, false, false};
    // Where the pointer was by the events, and where the last press went down: a press
    // and a move between two frames must land where the press was, not where the
    // pointer is by the time the frame is built.
    double cursorX = -1, cursorY = -1;
    double pressX = -1, pressY = -1;
    double releaseX = -1, releaseY = -1;
    bool releasedSinceFrame = false;
    // Keys pressed since the last frame, and the releases held back for the next one: a
    // tap shorter than a frame is seen down in one frame and up in the next, as clicks are.
    std::vector<int> keysPressedSinceFrame;
    std::vector<std::array<int, 3>> heldReleases;  // key, scancode, mods
    GLFWcursor* arrow = nullptr;
    GLFWcursor* horizontal = nullptr;
    GLFWcursor* vertical = nullptr;
    GLFWcursor* cross = nullptr;
    GLFWcursor* current = nullptr;
};

}  // namespace tavel
