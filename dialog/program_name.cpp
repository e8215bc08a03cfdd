#include "dialog/program_name.h"

#include <QGuiApplication>
#include <cstdlib>

namespace cirrodex {

void NameProgramWindows(const char* name) {
  // The X11 platform reads the instance from RESOURCE_NAME and the class from the application
  // name when it makes the first window.
  setenv("RESOURCE_NAME", name, 1);
  QCoreApplication::setApplicationName(QString::fromLatin1(name));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(name));
}

}  // namespace cirrodex
