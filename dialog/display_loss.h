// A Qt program whose display goes away (a logout, a crashed session). Qt ends the process itself
// then: exit(1) when the X11 connection breaks, which destroys statics under threads that still
// run, or a fatal message, an abort, for Wayland. The message that announces it is the program's
// last moment on its main thread.
#pragma once

#include <functional>

namespace cirrodex {

// From now on, when Qt reports the display connection broken (or any fatal error) on the main
// thread, `beforeExit` runs there, "`program`: why" goes to stderr as one line, and the process
// ends at once with status 1. Needs the QGuiApplication; a null `beforeExit` only reports.
void EndWhenTheDisplayGoes(const char* program, std::function<void()> beforeExit);

}  // namespace cirrodex
