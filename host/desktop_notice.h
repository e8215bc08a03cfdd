// Desktop notifications through org.freedesktop.Notifications on the session bus.
#pragma once

#include <QImage>
#include <QString>

namespace cirrodex::host {

// Sends one notification with `summary` and `image` (may be null) and does not wait for its
// answer. False, with nothing sent, when there is no session bus or no notification server on it
// (running, or one the bus would start).
bool SendDesktopNotice(const QString& summary, const QImage& image);

}  // namespace cirrodex::host
