#pragma once
// Which window-system API (GLX or EGL) holds a thread's GL binding. Through libglvnd a
// thread has a current context of one API at a time: while a GLX context is bound,
// every eglMakeCurrent on that thread fails with EGL_BAD_ACCESS, and the other way
// round. Under a Wayland compositor the main thread binds both (EGL for the desktop's
// surfaces, GLX through Xwayland for the gallery), so each binding first hands the
// thread over.
//
// Any thread; the state is the calling thread's own.

namespace tavel {

// Unbinds the calling thread's context of one API, if it has one.
using ReleaseGlBinding = void (*)();

// Call right before binding a context of the API whose release is `release` on the
// calling thread: when another API's context holds the thread, that API's own release
// unbinds it first. Costs nothing while the thread keeps to one API.
void takeGlBinding(ReleaseGlBinding release);

}  // namespace tavel
