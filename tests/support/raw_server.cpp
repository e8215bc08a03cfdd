#include "tests/support/raw_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace cirrodex::testing {

namespace {

// No request head of a test comes near this; more is not read.
constexpr size_t kHeadLimit = 1 << 20;
// A client that sends nothing is given this long before the handler runs anyway.
constexpr int kHeadWaitMs = 5000;

}  // namespace

std::string RawServer::Connection::Target() const {
  const size_t space = request_.find(' ');
  if (space == std::string::npos) return {};
  const size_t end = request_.find_first_of(" \r\n", space + 1);
  return request_.substr(space + 1, end == std::string::npos ? std::string::npos : end - space - 1);
}

std::string RawServer::Connection::Path() const {
  const std::string target = Target();
  return target.substr(0, target.find('?'));
}

std::string RawServer::Connection::Param(std::string_view name) const {
  return QueryParam(Target(), name);
}

std::string QueryParam(std::string_view target, std::string_view name) {
  const size_t question = target.find('?');
  if (question == std::string::npos) return {};
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const std::string_view pair = query.substr(0, query.find('&'));
    if (pair.substr(0, pair.find('=')) == name) {
      const std::string_view raw =
          pair.find('=') == std::string_view::npos ? "" : pair.substr(pair.find('=') + 1);
      std::string value;
      for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size()) {
          value += static_cast<char>(std::stoi(std::string(raw.substr(i + 1, 2)), nullptr, 16));
          i += 2;
        } else {
          value += raw[i] == '+' ? ' ' : raw[i];
        }
      }
      return value;
    }
    if (pair.size() == query.size()) break;
    query.remove_prefix(pair.size() + 1);
  }
  return {};
}

std::string RawServer::Connection::Header(std::string_view name) const {
  size_t line = request_.find('\n');
  while (line != std::string::npos && line + 1 < request_.size()) {
    const size_t start = line + 1;
    line = request_.find('\n', start);
    const std::string_view text = std::string_view(request_).substr(
        start, (line == std::string::npos ? request_.size() : line) - start);
    const size_t colon = text.find(':');
    if (colon != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < colon; ++i) {
      same = same && std::tolower(static_cast<unsigned char>(text[i])) ==
                         std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (!same) continue;
    std::string_view value = text.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
      value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.remove_suffix(1);
    return std::string(value);
  }
  return {};
}

bool RawServer::Connection::Reply(int status, std::string_view type, std::string_view body) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " Answer\r\n";
  if (!type.empty()) head += "Content-Type: " + std::string(type) + "\r\n";
  head += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  return Send(head) && Send(body);
}

bool RawServer::Connection::Send(std::string_view bytes) {
  while (!bytes.empty() && fd_ >= 0) {
    const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return bytes.empty();
}

void RawServer::Connection::Reset() {
  if (fd_ < 0) return;
  const linger abort{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close(fd_);
  fd_ = -1;
  reset_ = true;
}

void RawServer::Connection::Hold(int ms) {
  char buffer[4096];
  for (;;) {
    pollfd wait[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(wait, 2, ms) <= 0 || (wait[1].revents & POLLIN) != 0) return;
    if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return;
  }
}

RawServer::RawServer(Handler handler, Serving serving)
    : handler_(std::move(handler)), serving_(serving) {
  if (pipe2(stopPipe_, O_CLOEXEC) != 0) return;
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listenFd_, 16) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
  if (stopPipe_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = write(stopPipe_[1], &byte, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (std::thread& thread : connectionThreads_) thread.join();
  if (listenFd_ >= 0) close(listenFd_);
  for (int fd : stopPipe_) {
    if (fd >= 0) close(fd);
  }
}

std::string RawServer::Url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

std::wstring RawServer::WideUrl(std::string_view pathAndQuery) const {
  const std::string url = Url(pathAndQuery);
  return std::wstring(url.begin(), url.end());
}

void RawServer::StopListening() {
  stopListening_ = true;
  // Shutting a listening socket down makes the kernel refuse new connections at once and wakes
  // the serving thread; the descriptor itself is closed with the server.
  shutdown(listenFd_, SHUT_RDWR);
}

std::vector<std::string> RawServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RawServer::Serve() {
  while (!stopListening_) {
    pollfd wait[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (poll(wait, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if ((wait[1].revents & POLLIN) != 0) return;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopListening_) break;
      continue;
    }
    const int index = nextIndex_++;
    if (serving_ == Serving::Concurrently) {
      connectionThreads_.emplace_back([this, fd, index] { Handle(fd, index); });
    } else {
      Handle(fd, index);
    }
  }
}

void RawServer::Handle(int fd, int index) {
  Connection connection(fd, index, stopPipe_[0]);
  char buffer[4096];
  while (connection.request_.find("\r\n\r\n") == std::string::npos &&
         connection.request_.size() < kHeadLimit) {
    pollfd in[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (poll(in, 2, kHeadWaitMs) <= 0 || (in[1].revents & POLLIN) != 0) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    connection.request_.append(buffer, static_cast<size_t>(n));
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(connection.request_);
  }
  ++accepted_;
  handler_(connection);
  if (connection.fd_ >= 0) close(connection.fd_);
}

}  // namespace cirrodex::testing
