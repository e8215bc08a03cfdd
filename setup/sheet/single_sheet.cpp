#include "setup/sheet/single_sheet.h"

#include <sys/un.h>

#include <QLocalSocket>

#include "platform/device.h"

namespace cirrodex {

namespace {

constexpr int kAnswerMs = 3000;
constexpr char kShown = '+';

// One byte each way: the mode asked for, then kShown.
char ModeByte(StartMode mode) { return static_cast<char>('0' + static_cast<int>(mode)); }

}  // namespace

QString SheetSocketPath() {
  const std::string path = (platform::DeviceRoot() / "setup-sheet.socket").string();
  if (path.size() >= sizeof(sockaddr_un::sun_path)) return {};
  return QString::fromStdString(path);
}

bool HandOverToOpenSheet(const QString& path, StartMode mode) {
  if (path.isEmpty()) return false;
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(kAnswerMs)) return false;
  const char asked = ModeByte(mode);
  socket.write(&asked, 1);
  if (!socket.waitForBytesWritten(kAnswerMs)) return false;
  char answer = 0;
  return socket.waitForReadyRead(kAnswerMs) && socket.read(&answer, 1) == 1 && answer == kShown;
}

bool SheetListener::Listen(const QString& path) {
  if (path.isEmpty()) return false;
  // No access option: Qt would bind elsewhere and rename over whatever is here, so two sheets
  // could both listen. The device folder is the user's alone already.
  if (!server_.listen(path)) {
    // Nobody answers there: a sheet that ended without removing its socket.
    if (server_.serverError() != QAbstractSocket::AddressInUseError) return false;
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(kAnswerMs)) return false;
    QLocalServer::removeServer(path);
    if (!server_.listen(path)) return false;
  }
  QObject::connect(&server_, &QLocalServer::newConnection, [this] {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        char asked = 0;
        if (socket->read(&asked, 1) != 1) return;
        const int mode = asked - '0';
        if (mode < static_cast<int>(StartMode::Current) ||
            mode > static_cast<int>(StartMode::FirstPage)) {
          socket->disconnectFromServer();
          return;
        }
        if (show_) show_(static_cast<StartMode>(mode));
        socket->write(&kShown, 1);
        socket->flush();
      });
    }
  });
  return true;
}

}  // namespace cirrodex
