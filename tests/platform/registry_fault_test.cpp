// The registry store when its writer dies: a process writing a stream of values is killed with
// SIGKILL at a random moment, again and again. After every kill the file must pass SQLite's own
// integrity check, every value must be whole (the old or the new one) and every write the writer
// saw succeed must be there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "tests/support/temp_device.h"

namespace cirrodex::platform {
namespace {

constexpr int kRounds = 50;
constexpr int kValues = 120;

std::wstring KeyOf(int value) { return L"Crash\\Key" + std::to_wstring(value % 4); }
std::wstring NameOf(int value) { return L"Value" + std::to_wstring(value); }

// The content of `value` in generation `generation`: a UTF-16 text of 50 to about 6000
// characters, long enough that many values span several database pages.
std::vector<uint8_t> Content(int generation, int value) {
  const size_t characters = 50 + static_cast<size_t>((value * 977 + generation * 131) % 6000);
  std::vector<uint8_t> bytes;
  bytes.reserve(characters * 2 + 2);
  for (size_t i = 0; i < characters; ++i) {
    const auto c = static_cast<uint16_t>(0x41 + (generation * 7 + value * 3 + i) % 26);
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// "ok", or what SQLite's full integrity check found.
std::string IntegrityCheck(const std::string& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    const std::string why = db != nullptr ? sqlite3_errmsg(db) : "cannot open";
    sqlite3_close(db);
    return why;
  }
  std::string report;
  char* error = nullptr;
  const int rc = sqlite3_exec(
      db, "PRAGMA integrity_check",
      +[](void* out, int, char** row, char**) {
        auto* text = static_cast<std::string*>(out);
        if (!text->empty()) *text += "; ";
        *text += row[0] != nullptr ? row[0] : "(null)";
        return 0;
      },
      &report, &error);
  if (rc != SQLITE_OK) report = error != nullptr ? error : sqlite3_errstr(rc);
  sqlite3_free(error);
  sqlite3_close(db);
  return report;
}

// A child process that opens its own store on `file` and overwrites the values with generation
// `generation`, cycling through them until it is killed. After each write that returned true it
// writes the value's number and a newline to its pipe; a failed write ends it with status 3.
class Writer {
 public:
  Writer(const std::string& file, int generation) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      int status = 0;
      {
        RegistryStore store(file);
        status = store.IsOpen() ? Loop(store, generation, fds[1]) : 2;
      }
      _exit(status);
    }
    close(fds[1]);
    out_ = fds[0];
  }
  ~Writer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  bool started() const { return pid_ > 0 && out_ >= 0; }

  // Waits until the child reported `count` writes; false when it did not within 10 seconds.
  bool WaitForWrites(size_t count) {
    while (reported_ < count) {
      pollfd wait{out_, POLLIN, 0};
      if (poll(&wait, 1, 10000) <= 0 || !Read(false)) return false;
    }
    return true;
  }

  // Kills the child; true when it was still running (it did not end on its own).
  bool Kill() {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    Read(true);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

  // The values whose writes the child saw succeed.
  const std::set<int>& written() const { return written_; }

 private:
  static int Loop(RegistryStore& store, int generation, int out) {
    for (long i = 0;; ++i) {
      const int value = static_cast<int>(i % kValues);
      const std::vector<uint8_t> data = Content(generation, value);
      if (!store.CreateKeyAndSetValue(HKEY_CURRENT_USER, KeyOf(value), NameOf(value), REG_SZ,
                                      data.data(), data.size())) {
        return 3;
      }
      const std::string line = std::to_string(value) + "\n";
      if (write(out, line.data(), line.size()) < 0) return 4;
    }
  }

  // Reads from the pipe once (up to its end when `toEnd`); false when it is closed.
  bool Read(bool toEnd) {
    char buffer[4096];
    do {
      const ssize_t n = read(out_, buffer, sizeof buffer);
      if (n <= 0) return false;
      pending_.append(buffer, static_cast<size_t>(n));
      size_t end;
      while ((end = pending_.find('\n')) != std::string::npos) {
        written_.insert(std::stoi(pending_.substr(0, end)));
        ++reported_;
        pending_.erase(0, end + 1);
      }
    } while (toEnd);
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
  std::set<int> written_;
  size_t reported_ = 0;
};

class RegistryCrashTest : public testing::DeviceTest {
 protected:
  std::string File() const { return (device_.root() / "crash.db").string(); }

  // Sets every value to generation `generation` through a store of this process, closed again
  // before returning so that no connection of the parent is open while a writer runs.
  void WriteAll(int generation) {
    RegistryStore store(File());
    ASSERT_TRUE(store.IsOpen()) << store.LastError();
    for (int value = 0; value < kValues; ++value) {
      const std::vector<uint8_t> data = Content(generation, value);
      ASSERT_TRUE(store.CreateKeyAndSetValue(HKEY_CURRENT_USER, KeyOf(value), NameOf(value), REG_SZ,
                                             data.data(), data.size()))
          << store.LastError();
    }
  }
};

TEST_F(RegistryCrashTest, AWriterKilledMidStreamLeavesASoundFileOfWholeValues) {
  // The kill follows the child's report of a random number of writes of its first pass, while
  // it goes on writing.
  std::mt19937 random(20250607);
  std::uniform_int_distribution<size_t> writes(1, kValues - 1);
  int mixedRounds = 0;
  size_t acknowledged = 0;

  ASSERT_NO_FATAL_FAILURE(WriteAll(0));
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Writer writer(File(), round);
    ASSERT_TRUE(writer.started());
    ASSERT_TRUE(writer.WaitForWrites(writes(random))) << "the writer stopped writing";
    ASSERT_TRUE(writer.Kill()) << "the writer ended before it was killed (a failed write)";

    ASSERT_EQ(IntegrityCheck(File()), "ok");

    RegistryStore store(File());
    ASSERT_TRUE(store.IsOpen()) << store.LastError();
    int oldValues = 0;
    int newValues = 0;
    for (int value = 0; value < kValues; ++value) {
      std::vector<uint8_t> data;
      uint32_t type = 0;
      ASSERT_TRUE(store.QueryValue(HKEY_CURRENT_USER, KeyOf(value), NameOf(value), &type, &data))
          << "value " << value << ": " << store.LastError();
      EXPECT_EQ(type, REG_SZ);
      if (data == Content(round, value)) {
        ++newValues;
      } else {
        EXPECT_EQ(data, Content(round - 1, value))
            << "value " << value << " is neither old nor new";
        EXPECT_EQ(writer.written().count(value), 0u)
            << "value " << value << " was written, yet the old one is back";
        ++oldValues;
      }
    }
    acknowledged += writer.written().size();
    if (oldValues > 0 && newValues > 0) ++mixedRounds;
    if (::testing::Test::HasFailure()) return;

    // The next round starts from one known generation.
    ASSERT_NO_FATAL_FAILURE(WriteAll(round));
  }
  // The kills must really land in the middle of the stream, not only after whole passes.
  EXPECT_GT(mixedRounds, kRounds / 2);
  EXPECT_GT(acknowledged, static_cast<size_t>(kRounds));
}

}  // namespace
}  // namespace cirrodex::platform
