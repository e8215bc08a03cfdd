// The panel icon: the current condition's icon with the temperature drawn over it, drawn anew at
// each size a panel asks for rather than scaled, so "7°" stays legible at 16 pixels.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace cirrodex::host {

// The sizes drawn: the usual panel sizes, and twice them for scaled desktops.
inline constexpr int kTrayIconSizes[] = {16, 22, 24, 32, 48, 64};

// One square picture of `size` pixels: the condition icon (its white ground made transparent;
// a null image draws none) with `temperature` over its lower part in white on a dark outline,
// shrunk to the width when long ("-12°"). An empty temperature draws the icon alone.
QImage DrawTrayIcon(const QImage& condition, const QString& temperature, int size);
// The icon at every size of kTrayIconSizes.
QIcon TrayIcon(const QImage& condition, const QString& temperature);

}  // namespace cirrodex::host
