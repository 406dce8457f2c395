// The GLX context's name for its renderer, on the test program's Xvfb (Mesa's software
// rasteriser).

// Before any X11 header: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include "glx_loop_fixture.h"

#include <epoxy/glx.h>

#include <string>

namespace tavel {
namespace {

class GlxContextTest : public test::GlxLoopTest {
protected:
    void TearDown() override {
        if (gl && drawable) gl->destroyDrawable(drawable);
        if (window) XDestroyWindow(display(), window);
    }
    Window window = 0;
    unsigned long drawable = 0;
};

// Read when the context is made, the same name GL gives once bound to a window; making
// another context (the gallery's) leaves the main thread's binding as it was.
TEST_F(GlxContextTest, NamesItsRendererAndLeavesTheBindingAsItWas) {
    const std::string name = gl->renderer();
    EXPECT_TRUE(name.find("llvmpipe") != std::string::npos ||
                name.find("softpipe") != std::string::npos)
        << name;

    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display(), root(), gl->visual(), AllocNone);
    window = XCreateWindow(display(), root(), 0, 0, 8, 8, 0, gl->depth(), InputOutput, gl->visual(),
                           CWColormap, &attributes);
    drawable = gl->createDrawable(window);
    ASSERT_NE(drawable, 0u);
    ASSERT_TRUE(gl->makeCurrent(drawable));
    EXPECT_EQ(reinterpret_cast<const char*>(glGetString(GL_RENDERER)), name);

    GLXContext bound = glXGetCurrentContext();
    auto other = GlxContext::create(display(), connection->screen());
    ASSERT_TRUE(other);
    EXPECT_EQ(other->renderer(), name);
    EXPECT_EQ(glXGetCurrentContext(), bound);
    EXPECT_EQ(glXGetCurrentDrawable(), drawable);
}

}  // namespace
}  // namespace tavel
