// For tests that drive Qt widgets on the offscreen platform (main in qt_test_main.cpp).
#pragma once

#include <QCoreApplication>

namespace cirrodex::testing {

// Lets Qt deliver posted events and paint.
inline void ProcessEvents() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

}  // namespace cirrodex::testing
