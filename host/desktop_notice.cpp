#include "host/desktop_notice.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace cirrodex::host {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";

// The "image-data" hint: (iiibiiay) of width, height, row stride, alpha, bits per sample,
// channels and the RGBA bytes.
QVariant ImageData(const QImage& image) {
  const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
  QDBusArgument data;
  data.beginStructure();
  data << rgba.width() << rgba.height() << static_cast<int>(rgba.bytesPerLine()) << true << 8 << 4
       << QByteArray(reinterpret_cast<const char*>(rgba.constBits()),
                     static_cast<int>(rgba.sizeInBytes()));
  data.endStructure();
  return QVariant::fromValue(data);
}

}  // namespace

bool SendDesktopNotice(const QString& summary, const QImage& image) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
  if (daemon == nullptr) return false;
  if (!daemon->isServiceRegistered(kService).value() &&
      !daemon->activatableServiceNames().value().contains(kService)) {
    return false;
  }
  QVariantMap hints;
  hints["desktop-entry"] = QString("cirrodex-today");
  if (!image.isNull()) hints["image-data"] = ImageData(image);
  QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
  notify << QString("Cirrodex") << 0u << QString() << summary << QString() << QStringList() << hints
         << -1;
  // The answer (the notification's id) is of no use here; a server that hangs must not hold
  // the panel.
  return bus.send(notify);
}

}  // namespace cirrodex::host
