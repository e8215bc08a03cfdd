// service-load: feed requests from well-behaved keep-alive clients against a running
// weather-service, once calm and once with hostile connections held open beside them, in rounds.
// Prints "name<TAB>value" figures (medians over the rounds) on stdout:
//   service_calm_p50_us, service_calm_p99_us, service_calm_failed,
//   service_hostile_p50_us, service_hostile_p99_us, service_hostile_failed,
//   service_hourly_p50_us, service_hourly_p99_us, service_hourly_failed (the hourly document
//   asked by 2 more clients beside the calm feed load),
//   service_peak_rss_kb (the service's, sampled through both phases)
// With --terminate N, it then opens N connections, sends the service SIGTERM and prints
//   service_sigterm_exit_us (until the process has ended)
//
//   service-load PORT PID [--requests N] [--clients N] [--hostile N] [--rounds N]
//                [--terminate N]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int port = 0;

int Connect() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  return fd;
}

long ResidentKb(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

const std::string kFeedRequest =
    "GET /m/chnk/d/weather_d_src.asp?acid=UKXX0085 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
const std::string kHourlyRequest =
    "GET /weather/hourly/UKXX0085.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// One keep-alive client: `count` requests one after another, each timed whole.
void Client(int count, std::vector<double>& micros, std::atomic<int>& failed,
            const std::string& request = kFeedRequest) {
  int fd = Connect();
  std::string data;
  char buffer[8192];
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    bool ok = fd >= 0 && send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                             static_cast<ssize_t>(request.size());
    data.clear();
    size_t want = std::string::npos;
    while (ok && data.size() != want) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        ok = false;
        break;
      }
      data.append(buffer, static_cast<size_t>(n));
      const size_t end = data.find("\r\n\r\n");
      if (want == std::string::npos && end != std::string::npos) {
        const size_t length = data.find("Content-Length: ");
        if (length == std::string::npos || length > end) {
          ok = false;
          break;
        }
        want = end + 4 + std::strtoul(data.c_str() + length + 16, nullptr, 10);
      }
    }
    ok = ok && data.compare(0, 12, "HTTP/1.1 200") == 0;
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (!ok) {
      ++failed;
      if (fd >= 0) close(fd);
      fd = Connect();
    }
  }
  if (fd >= 0) close(fd);
}

struct Phase {
  double p50 = 0, p99 = 0;
  int failed = 0;
};

Phase RunClients(int requests, int clients) {
  std::vector<std::vector<double>> times(static_cast<size_t>(clients));
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    const int share = requests / clients + (c < requests % clients ? 1 : 0);
    threads.emplace_back([&, c, share] { Client(share, times[static_cast<size_t>(c)], failed); });
  }
  for (auto& thread : threads) thread.join();
  std::vector<double> all;
  for (const auto& t : times) all.insert(all.end(), t.begin(), t.end());
  std::sort(all.begin(), all.end());
  Phase phase;
  if (!all.empty()) {
    phase.p50 = all[all.size() / 2];
    phase.p99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
  }
  phase.failed = failed;
  return phase;
}

// The feed load of RunClients with `hourlyClients` more clients asking for the hourly document
// beside it; the hourly requests' figures.
Phase RunHourlyBeside(int requests, int clients, int hourlyRequests, int hourlyClients) {
  std::vector<std::vector<double>> times(static_cast<size_t>(hourlyClients));
  std::atomic<int> failed{0};
  std::thread feeds([&] { RunClients(requests, clients); });
  std::vector<std::thread> threads;
  for (int c = 0; c < hourlyClients; ++c) {
    threads.emplace_back([&, c] {
      Client(hourlyRequests / hourlyClients, times[static_cast<size_t>(c)], failed, kHourlyRequest);
    });
  }
  for (auto& thread : threads) thread.join();
  feeds.join();
  std::vector<double> all;
  for (const auto& t : times) all.insert(all.end(), t.begin(), t.end());
  std::sort(all.begin(), all.end());
  Phase phase;
  if (!all.empty()) {
    phase.p50 = all[all.size() / 2];
    phase.p99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
  }
  phase.failed = failed;
  return phase;
}

// Hostile connections: half send one byte of a request head a second, half connect and say
// nothing. A connection the service closes is opened again, so that `count` stay open.
class Hostiles {
 public:
  explicit Hostiles(int count) : fds_(static_cast<size_t>(count), -1) {
    for (int& fd : fds_) fd = Connect();
    thread_ = std::thread([this] { Run(); });
  }
  ~Hostiles() {
    stop_ = true;
    thread_.join();
    for (int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  int open() const { return open_; }

 private:
  void Run() {
    static const std::string head =
        "GET /m/chnk/d/weather_d_src.asp?acid=UKXX0085 HTTP/1.1\r\nX-Dribble: "
        "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
    std::vector<size_t> sent(fds_.size(), 0);
    auto nextByte = Clock::now();
    while (!stop_) {
      std::vector<pollfd> watch;
      for (int fd : fds_) watch.push_back({fd, POLLIN, 0});
      poll(watch.data(), watch.size(), 50);
      int open = 0;
      const bool dribble = Clock::now() >= nextByte;
      if (dribble) nextByte += std::chrono::seconds(1);
      for (size_t i = 0; i < fds_.size(); ++i) {
        char byte;
        if (fds_[i] < 0 || (watch[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
          // Closed by the service (or never opened): open another.
          if (fds_[i] >= 0 && recv(fds_[i], &byte, 1, MSG_DONTWAIT) > 0) continue;
          if (fds_[i] >= 0) close(fds_[i]);
          fds_[i] = Connect();
          sent[i] = 0;
        }
        if (fds_[i] >= 0) ++open;
        if (dribble && i % 2 == 0 && fds_[i] >= 0) {
          send(fds_[i], &head[sent[i] % head.size()], 1, MSG_NOSIGNAL);
          ++sent[i];
        }
      }
      open_ = open;
    }
  }

  std::vector<int> fds_;
  std::atomic<bool> stop_{false};
  std::atomic<int> open_{0};
  std::thread thread_;
};

// True once `pid` has ended (gone, or a zombie its parent has not reaped yet).
bool Ended(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return true;
  const size_t close = stat.rfind(')');
  return close == std::string::npos || stat.compare(close + 1, 3, " Z ") == 0 ||
         stat.compare(close + 1, 3, " X ") == 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: service-load PORT PID [--requests N] [--clients N] [--hostile N] "
                 "[--rounds N]\n");
    return 2;
  }
  port = std::atoi(argv[1]);
  const int pid = std::atoi(argv[2]);
  int requests = 10000, clients = 8, hostile = 1000, rounds = 3, terminate = 0;
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (name == "--requests") requests = value;
    if (name == "--clients") clients = value;
    if (name == "--hostile") hostile = value;
    if (name == "--rounds") rounds = value;
    if (name == "--terminate") terminate = value;
  }
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  std::atomic<bool> sampling{true};
  std::atomic<long> peak{0};
  std::thread sampler([&] {
    while (sampling) {
      peak = std::max(peak.load(), ResidentKb(pid));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });

  std::vector<double> calm50, calm99, hostile50, hostile99;
  int calmFailed = 0, hostileFailed = 0;
  RunClients(requests / 10, clients);  // warm up: connections, the sample documents
  for (int round = 0; round < rounds; ++round) {
    const Phase calm = RunClients(requests, clients);
    calm50.push_back(calm.p50);
    calm99.push_back(calm.p99);
    calmFailed += calm.failed;
    Hostiles held(hostile);
    // Let them all be open and the first bytes be sent before measuring.
    for (int wait = 0; wait < 100 && held.open() < hostile; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    std::fprintf(stderr, "round %d: %d hostile connections open\n", round + 1, held.open());
    const Phase loaded = RunClients(requests, clients);
    hostile50.push_back(loaded.p50);
    hostile99.push_back(loaded.p99);
    hostileFailed += loaded.failed;
  }
  sampling = false;
  sampler.join();

  std::printf("service_calm_p50_us\t%.1f\nservice_calm_p99_us\t%.1f\nservice_calm_failed\t%d\n",
              Median(calm50), Median(calm99), calmFailed);
  std::printf(
      "service_hostile_p50_us\t%.1f\nservice_hostile_p99_us\t%.1f\nservice_hostile_failed\t%d\n",
      Median(hostile50), Median(hostile99), hostileFailed);
  // The hourly document from the warm cache, beside the calm feed load.
  RunHourlyBeside(requests / 10, clients, 200, 2);  // warm up
  const Phase hourly = RunHourlyBeside(requests, clients, 2000, 2);
  std::printf(
      "service_hourly_p50_us\t%.1f\nservice_hourly_p99_us\t%.1f\n"
      "service_hourly_failed\t%d\n",
      hourly.p50, hourly.p99, hourly.failed);
  std::printf("service_peak_rss_kb\t%ld\n", peak.load());

  if (terminate > 0) {
    std::vector<int> open;
    for (int i = 0; i < terminate; ++i) open.push_back(Connect());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // all accepted
    const auto start = Clock::now();
    kill(pid, SIGTERM);
    while (!Ended(pid) && Clock::now() - start < std::chrono::seconds(10)) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::printf("service_sigterm_exit_us\t%.0f\n",
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    for (int fd : open) {
      if (fd >= 0) close(fd);
    }
  }
  std::fflush(stdout);
  return 0;
}
