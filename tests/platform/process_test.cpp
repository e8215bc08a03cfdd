#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/eventually.h"
#include "tests/support/temp_device.h"

namespace cirrodex::platform {
namespace {

using testing::DeviceTest;
using testing::Eventually;

// Polls a condition about a child process for at most `timeoutMs`.
using testing::ReadFile;

// Children of this process not yet reaped, zombies included.
std::string Children() {
  std::string all;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    all += ReadFile(task.path() / "children");
  }
  return all;
}

class ProcessTest : public DeviceTest {
 protected:
  // A program at \bin\args.exe that writes its arguments, one a line, to args.txt beside it.
  void WriteArgumentsProgram() {
    const auto program = device_.Path(L"\\bin\\args.exe");
    std::filesystem::create_directories(program.parent_path());
    std::ofstream(program) << "#!/bin/sh\nfor a in \"$0\" \"$@\"; do echo \"[$a]\"; done > \""
                           << device_.Path(L"\\bin\\args.tmp").string() << "\"\nmv \""
                           << device_.Path(L"\\bin\\args.tmp").string() << "\" \""
                           << device_.Path(L"\\bin\\args.txt").string() << "\"\n";
    chmod(program.c_str(), 0755);
  }
};

TEST_F(ProcessTest, ArgumentsTextIsOneArgumentAndTheChildIsReaped) {
  WriteArgumentsProgram();
  ASSERT_TRUE(CreateProcess(L"\\bin\\args.exe", L"/day1 and more"));
  const auto output = device_.Path(L"\\bin\\args.txt");
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(output); }));
  EXPECT_EQ(ReadFile(output),
            "[" + device_.Path(L"\\bin\\args.exe").string() + "]\n[/day1 and more]\n");
  EXPECT_TRUE(Eventually([] { return Children().find_first_not_of(" \n") == std::string::npos; }))
      << "left: " << Children();
}

TEST_F(ProcessTest, EmptyArgumentsGiveNoArgument) {
  WriteArgumentsProgram();
  ASSERT_TRUE(CreateProcess(L"/bin/args.exe", L""));
  const auto output = device_.Path(L"\\bin\\args.txt");
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(output); }));
  EXPECT_EQ(ReadFile(output), "[" + device_.Path(L"\\bin\\args.exe").string() + "]\n");
}

TEST_F(ProcessTest, MissingOrNotExecutableProgramIsNotCreated) {
  EXPECT_FALSE(CreateProcess(L"\\bin\\missing.exe", L""));
  const auto plain = device_.Path(L"\\bin\\plain.exe");
  std::filesystem::create_directories(plain.parent_path());
  std::ofstream(plain) << "not a program\n";
  chmod(plain.c_str(), 0644);
  EXPECT_FALSE(CreateProcess(L"\\bin\\plain.exe", L""));
}

}  // namespace
}  // namespace cirrodex::platform
