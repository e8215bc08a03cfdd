#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_device.h"

namespace cirrodex::platform {
namespace {

using testing::DeviceTest;

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Dword(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

using testing::ReadFile;

class RegistryStoreTest : public DeviceTest {
 protected:
  std::filesystem::path StoreFile() const { return device_.root() / "registry.db"; }

  bool Put(std::wstring_view path, std::wstring_view name, const std::vector<uint8_t>& data,
           uint32_t type = REG_SZ) {
    return Registry().CreateKeyAndSetValue(HKEY_CURRENT_USER, path, name, type, data.data(),
                                           data.size());
  }

  std::vector<uint8_t> Get(std::wstring_view path, std::wstring_view name) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    EXPECT_TRUE(Registry().QueryValue(HKEY_CURRENT_USER, path, name, &type, &data))
        << Registry().LastError();
    return data;
  }

  // Runs `body` in a child process with a connection of its own; the child's exit status is
  // body's result (0 for success). The parent must hold no connection while children run.
  template <typename Body>
  pid_t Spawn(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
      int status = 1;
      {
        RegistryStore store(StoreFile().string());
        status = store.IsOpen() ? body(store) : 100;
      }
      _exit(status);
    }
    return pid;
  }

  int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
  }
};

TEST_F(RegistryStoreTest, SetValueNeedsAnExistingKeyAndCreateMakesParents) {
  RegistryStore& r = Registry();
  auto data = Dword(30);
  EXPECT_FALSE(r.SetValue(HKEY_CURRENT_USER, L"SOFTWARE\\Velbrook", L"UpdateRate", REG_DWORD,
                          data.data(), data.size()));
  EXPECT_TRUE(r.LastFailureWasMissing());
  EXPECT_FALSE(r.KeyExists(HKEY_CURRENT_USER, L"SOFTWARE"));

  ASSERT_TRUE(Put(L"SOFTWARE\\Velbrook\\Cirrodex", L"UpdateRate", data, REG_DWORD));
  for (const wchar_t* key : {L"SOFTWARE", L"SOFTWARE\\Velbrook", L"SOFTWARE\\Velbrook\\Cirrodex"}) {
    EXPECT_TRUE(r.KeyExists(HKEY_CURRENT_USER, key)) << key;
  }
  EXPECT_FALSE(r.KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE"));
  EXPECT_TRUE(r.SetValue(HKEY_CURRENT_USER, L"SOFTWARE\\Velbrook", L"Other", REG_DWORD, data.data(),
                         data.size()));

  uint32_t type = 0;
  std::vector<uint8_t> back;
  ASSERT_TRUE(r.QueryValue(HKEY_CURRENT_USER, L"SOFTWARE\\Velbrook\\Cirrodex", L"UpdateRate", &type,
                           &back));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(back, data);
}

TEST_F(RegistryStoreTest, PathsIgnoreEmptyComponents) {
  ASSERT_TRUE(Put(L"\\A\\\\B\\", L"v", Bytes("x")));
  EXPECT_EQ(Get(L"A\\B", L"v"), Bytes("x"));
  std::vector<std::wstring> subkeys;
  ASSERT_TRUE(Registry().EnumSubkeys(HKEY_CURRENT_USER, L"A", &subkeys));
  EXPECT_EQ(subkeys, std::vector<std::wstring>{L"B"});
}

TEST_F(RegistryStoreTest, NamesCompareWithoutAsciiCase) {
  ASSERT_TRUE(Put(L"SOFTWARE\\Velbrook\\Cirrodex", L"CitySelected", Dword(1), REG_DWORD));
  EXPECT_EQ(Get(L"software\\VELBROOK\\cirrodex", L"CITYSELECTED"), Dword(1));
  ASSERT_TRUE(Put(L"Software\\velbrook\\CIRRODEX", L"cityselected", Dword(2), REG_DWORD));

  std::vector<RegistryStore::Value> values;
  ASSERT_TRUE(Registry().EnumValues(HKEY_CURRENT_USER, L"SOFTWARE\\Velbrook\\Cirrodex", &values));
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, L"CitySelected");  // the first spelling stays
  EXPECT_EQ(values[0].data, Dword(2));

  std::vector<std::wstring> subkeys;
  ASSERT_TRUE(Registry().EnumSubkeys(HKEY_CURRENT_USER, L"SOFTWARE", &subkeys));
  EXPECT_EQ(subkeys, std::vector<std::wstring>{L"Velbrook"});

  // Only ASCII letters fold: these are two different values.
  ASSERT_TRUE(Put(L"K", L"Z\u00FCrich", Bytes("a")));
  ASSERT_TRUE(Put(L"K", L"Z\u00DCRICH", Bytes("b")));
  EXPECT_EQ(Get(L"K", L"Z\u00FCrich"), Bytes("a"));
  EXPECT_EQ(Get(L"K", L"z\u00DCrich"), Bytes("b"));
}

TEST_F(RegistryStoreTest, ValuesComeBackByteForByte) {
  std::vector<uint8_t> all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> large(100000, 0xA5);
  struct Case {
    const wchar_t* name;
    std::vector<uint8_t> data;
    uint32_t type;
  } cases[] = {
      {L"Empty", {}, REG_SZ},
      {L"Terminator", {0, 0}, REG_SZ},
      {L"AllBytes", all, REG_SZ},
      {L"Large", large, REG_SZ},
      {L"Dword", Dword(0xFFFFFFFF), REG_DWORD},
  };
  for (const Case& c : cases) ASSERT_TRUE(Put(L"Data", c.name, c.data, c.type)) << c.name;
  for (const Case& c : cases) {
    uint32_t type = 0;
    std::vector<uint8_t> back{1, 2, 3};
    ASSERT_TRUE(Registry().QueryValue(HKEY_CURRENT_USER, L"Data", c.name, &type, &back));
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(back, c.data) << c.name;
  }
}

TEST_F(RegistryStoreTest, DeleteKeyTakesEverythingBelowIt) {
  for (const wchar_t* key : {L"City\\Log000", L"City\\Log001\\Deep\\Deeper", L"City\\Log002"}) {
    ASSERT_TRUE(Put(key, L"Tm", Bytes("t")));
  }
  ASSERT_TRUE(Put(L"City", L"Latest", Dword(2), REG_DWORD));
  ASSERT_TRUE(Put(L"Other", L"Keep", Bytes("k")));

  ASSERT_TRUE(Registry().DeleteKey(HKEY_CURRENT_USER, L"city"));
  for (const wchar_t* key :
       {L"City", L"City\\Log000", L"City\\Log001", L"City\\Log001\\Deep\\Deeper"}) {
    EXPECT_FALSE(Registry().KeyExists(HKEY_CURRENT_USER, key)) << key;
  }
  // A key of the same name made afterwards starts empty.
  ASSERT_TRUE(Registry().CreateKey(HKEY_CURRENT_USER, L"City"));
  std::vector<RegistryStore::Value> values;
  std::vector<std::wstring> subkeys;
  ASSERT_TRUE(Registry().EnumValues(HKEY_CURRENT_USER, L"City", &values));
  ASSERT_TRUE(Registry().EnumSubkeys(HKEY_CURRENT_USER, L"City", &subkeys));
  EXPECT_TRUE(values.empty());
  EXPECT_TRUE(subkeys.empty());
  EXPECT_EQ(Get(L"Other", L"Keep"), Bytes("k"));

  EXPECT_FALSE(Registry().DeleteKey(HKEY_CURRENT_USER, L"Missing"));
  EXPECT_TRUE(Registry().LastFailureWasMissing());
  EXPECT_FALSE(Registry().DeleteKey(HKEY_CURRENT_USER, L""));
  EXPECT_FALSE(Registry().LastFailureWasMissing());
}

TEST_F(RegistryStoreTest, DeleteValueReportsAMissingValue) {
  ASSERT_TRUE(Put(L"K", L"A", Bytes("a")));
  EXPECT_TRUE(Registry().DeleteValue(HKEY_CURRENT_USER, L"K", L"a"));
  EXPECT_FALSE(Registry().QueryValue(HKEY_CURRENT_USER, L"K", L"A", nullptr, nullptr));
  EXPECT_TRUE(Registry().LastFailureWasMissing());
  EXPECT_FALSE(Registry().DeleteValue(HKEY_CURRENT_USER, L"K", L"A"));
  EXPECT_TRUE(Registry().LastFailureWasMissing());
  EXPECT_FALSE(Registry().DeleteValue(HKEY_CURRENT_USER, L"NoKey", L"A"));
  EXPECT_TRUE(Registry().KeyExists(HKEY_CURRENT_USER, L"K"));
}

TEST_F(RegistryStoreTest, EnumerationIsInNameOrder) {
  for (const wchar_t* key : {L"R\\b", L"R\\C", L"R\\a"})
    ASSERT_TRUE(Registry().CreateKey(HKEY_CURRENT_USER, key));
  for (const wchar_t* name : {L"y", L"X", L"z"}) ASSERT_TRUE(Put(L"R", name, Bytes("")));
  std::vector<std::wstring> subkeys;
  std::vector<RegistryStore::Value> values;
  ASSERT_TRUE(Registry().EnumSubkeys(HKEY_CURRENT_USER, L"R", &subkeys));
  ASSERT_TRUE(Registry().EnumValues(HKEY_CURRENT_USER, L"R", &values));
  EXPECT_EQ(subkeys, (std::vector<std::wstring>{L"a", L"b", L"C"}));
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, L"X");
  EXPECT_EQ(values[2].name, L"z");
  EXPECT_FALSE(Registry().EnumSubkeys(HKEY_CURRENT_USER, L"Nope", &subkeys));
  EXPECT_TRUE(Registry().LastFailureWasMissing());
}

TEST_F(RegistryStoreTest, ThreadsOfOneProcessShareTheConnection) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        std::wstring name = L"T" + std::to_wstring(t) + L"_" + std::to_wstring(i);
        if (!Put(L"Threads", name, Dword(i), REG_DWORD)) ++failures;
        std::vector<uint8_t> data;
        if (!Registry().QueryValue(HKEY_CURRENT_USER, L"Threads", name, nullptr, &data) ||
            data != Dword(i)) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  std::vector<RegistryStore::Value> values;
  ASSERT_TRUE(Registry().EnumValues(HKEY_CURRENT_USER, L"Threads", &values));
  EXPECT_EQ(values.size(), 200u);
}

TEST_F(RegistryStoreTest, ConcurrentProcessesLoseNothingButToLastWriteWins) {
  constexpr int kWriters = 4;
  constexpr int kWrites = 60;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    children.push_back(Spawn([w](RegistryStore& store) {
      for (int i = 0; i < kWrites; ++i) {
        auto own = Dword(static_cast<uint32_t>(w * 1000 + i));
        std::wstring name = L"W" + std::to_wstring(w) + L"_" + std::to_wstring(i);
        // Everyone creates the same keys and overwrites the same value.
        if (!store.CreateKeyAndSetValue(HKEY_CURRENT_USER, L"Shared\\Key", name, REG_DWORD,
                                        own.data(), own.size()) ||
            !store.CreateKeyAndSetValue(HKEY_CURRENT_USER, L"Shared\\Key", L"Common", REG_DWORD,
                                        own.data(), own.size())) {
          return 1;
        }
      }
      return 0;
    }));
  }
  for (pid_t child : children) EXPECT_EQ(Wait(child), 0);

  std::vector<RegistryStore::Value> values;
  ASSERT_TRUE(Registry().EnumValues(HKEY_CURRENT_USER, L"Shared\\Key", &values));
  EXPECT_EQ(values.size(), static_cast<size_t>(kWriters * kWrites + 1));
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kWrites; ++i) {
      std::wstring name = L"W" + std::to_wstring(w) + L"_" + std::to_wstring(i);
      EXPECT_EQ(Get(L"Shared\\Key", name), Dword(static_cast<uint32_t>(w * 1000 + i))) << name;
    }
  }
  // The shared value holds some writer's last write.
  std::vector<uint8_t> common = Get(L"Shared\\Key", L"Common");
  bool someLast = false;
  for (int w = 0; w < kWriters; ++w)
    someLast |= common == Dword(static_cast<uint32_t>(w * 1000 + kWrites - 1));
  EXPECT_TRUE(someLast);
}

TEST_F(RegistryStoreTest, AReaderNeverSeesHalfAValue) {
  // Values far larger than a page, so a torn write would show.
  const std::vector<uint8_t> a(20000, 'a');
  const std::vector<uint8_t> b(30000, 'b');
  {
    ASSERT_TRUE(Put(L"Torn", L"V", a));
    ResetRegistryForTesting();
  }
  pid_t writer = Spawn([&](RegistryStore& store) {
    for (int i = 0; i < 150; ++i) {
      const auto& data = i % 2 == 0 ? b : a;
      if (!store.SetValue(HKEY_CURRENT_USER, L"Torn", L"V", REG_SZ, data.data(), data.size())) {
        return 1;
      }
    }
    return 0;
  });
  pid_t reader = Spawn([&](RegistryStore& store) {
    for (int i = 0; i < 300; ++i) {
      std::vector<uint8_t> data;
      if (!store.QueryValue(HKEY_CURRENT_USER, L"Torn", L"V", nullptr, &data)) return 1;
      if (data != a && data != b) return 2;
    }
    return 0;
  });
  EXPECT_EQ(Wait(writer), 0);
  EXPECT_EQ(Wait(reader), 0);
}

TEST_F(RegistryStoreTest, AWriteThatReturnedSurvivesTheWriterBeingKilled) {
  pid_t child = fork();
  if (child == 0) {
    RegistryStore store(StoreFile().string());
    auto data = Dword(200);
    bool ok = store.CreateKeyAndSetValue(HKEY_CURRENT_USER, L"City", L"DownloadResult", REG_DWORD,
                                         data.data(), data.size());
    if (ok) raise(SIGKILL);
    _exit(1);
  }
  EXPECT_EQ(Wait(child), 200 + SIGKILL);
  EXPECT_EQ(Get(L"City", L"DownloadResult"), Dword(200));
}

TEST_F(RegistryStoreTest, FirstOpensByManyProcessesAtOnceAllSucceed) {
  std::vector<pid_t> children;
  for (int i = 0; i < 6; ++i) {
    children.push_back(Spawn([i](RegistryStore& store) {
      auto data = Dword(static_cast<uint32_t>(i));
      return store.CreateKeyAndSetValue(HKEY_CURRENT_USER, L"Open", std::to_wstring(i), REG_DWORD,
                                        data.data(), data.size())
                 ? 0
                 : 1;
    }));
  }
  for (pid_t child : children) EXPECT_EQ(Wait(child), 0);
  std::vector<RegistryStore::Value> values;
  ASSERT_TRUE(Registry().EnumValues(HKEY_CURRENT_USER, L"Open", &values));
  EXPECT_EQ(values.size(), 6u);
}

// A write-protected store (even for the superuser) opens for reading: reads work, every kind of
// write fails saying so, and the file is never modified.
TEST_F(RegistryStoreTest, AWriteProtectedStoreReadsAndRefusesWrites) {
  ASSERT_TRUE(Put(L"City\\Log000", L"Tm", Bytes("t")));
  ResetRegistryForTesting();
  const std::string before = ReadFile(StoreFile());
  std::filesystem::permissions(StoreFile(), std::filesystem::perms::owner_read);
  {
    RegistryStore store(StoreFile().string());
    ASSERT_TRUE(store.IsOpen()) << store.LastError();
    EXPECT_TRUE(store.IsReadOnly());
    std::vector<uint8_t> data;
    EXPECT_TRUE(store.QueryValue(HKEY_CURRENT_USER, L"City\\Log000", L"Tm", nullptr, &data));
    EXPECT_EQ(data, Bytes("t"));
    std::vector<RegistryStore::Subkey> subkeys;
    EXPECT_TRUE(store.ReadSubkeys(HKEY_CURRENT_USER, L"City", &subkeys));
    auto value = Dword(7);
    const std::function<bool()> writes[] = {
        [&] {
          return store.SetValue(HKEY_CURRENT_USER, L"City", L"V", REG_DWORD, value.data(), 4);
        },
        [&] { return store.DeleteKey(HKEY_CURRENT_USER, L"City"); },
        [&] { return store.Transaction([] { return true; }); },
    };
    for (const auto& write : writes) {
      EXPECT_FALSE(write());
      EXPECT_FALSE(store.LastFailureWasMissing());
      EXPECT_NE(store.LastError().find("read-only"), std::string::npos) << store.LastError();
    }
    EXPECT_NE(store.FirstFault().find("read-only"), std::string::npos);
  }
  EXPECT_EQ(ReadFile(StoreFile()), before);
}

// The subkeys of a key with all their values in one read, as the history reader takes them.
TEST_F(RegistryStoreTest, ReadSubkeysGivesEverySubkeyWithItsValues) {
  ASSERT_TRUE(Put(L"City\\Log001", L"WS", Dword(5), REG_DWORD));
  ASSERT_TRUE(Put(L"City\\Log001", L"Tm", Bytes("one")));
  ASSERT_TRUE(Put(L"City\\log000", L"Tm", Bytes("zero")));
  ASSERT_TRUE(Put(L"City\\Log000\\Deeper", L"X", Bytes("not a direct value")));
  ASSERT_TRUE(Registry().CreateKey(HKEY_CURRENT_USER, L"City\\Empty"));
  ASSERT_TRUE(Put(L"City", L"Latest", Dword(1), REG_DWORD));
  ASSERT_TRUE(Registry().CreateKey(HKEY_CURRENT_USER, L"Leaf"));

  std::vector<RegistryStore::Subkey> subkeys;
  ASSERT_TRUE(Registry().ReadSubkeys(HKEY_CURRENT_USER, L"city", &subkeys));
  ASSERT_EQ(subkeys.size(), 3u);
  EXPECT_EQ(subkeys[0].name, L"Empty");
  EXPECT_TRUE(subkeys[0].values.empty());
  EXPECT_EQ(subkeys[1].name, L"log000");
  ASSERT_EQ(subkeys[1].values.size(), 1u);
  EXPECT_EQ(subkeys[1].values[0].data, Bytes("zero"));
  EXPECT_EQ(subkeys[2].name, L"Log001");
  ASSERT_EQ(subkeys[2].values.size(), 2u);
  EXPECT_EQ(subkeys[2].values[0].name, L"Tm");
  EXPECT_EQ(subkeys[2].values[1].name, L"WS");
  EXPECT_EQ(subkeys[2].values[1].type, REG_DWORD);
  EXPECT_EQ(subkeys[2].values[1].data, Dword(5));

  EXPECT_TRUE(Registry().ReadSubkeys(HKEY_CURRENT_USER, L"Leaf", &subkeys));
  EXPECT_TRUE(subkeys.empty());
  EXPECT_FALSE(Registry().ReadSubkeys(HKEY_CURRENT_USER, L"Nowhere", &subkeys));
  EXPECT_TRUE(Registry().LastFailureWasMissing());
}

class DamagedStore : public RegistryStoreTest {
 protected:
  // Every operation fails, nothing reads as merely missing, and the file stays as it was.
  void ExpectRefusedAndUntouched(const std::string& before) {
    RegistryStore store(StoreFile().string());
    EXPECT_FALSE(store.IsOpen());
    EXPECT_NE(store.LastError().find("registry"), std::string::npos) << store.LastError();
    auto data = Dword(1);
    EXPECT_FALSE(store.QueryValue(HKEY_CURRENT_USER, L"City", L"Latest", nullptr, nullptr));
    EXPECT_FALSE(store.LastFailureWasMissing());
    EXPECT_FALSE(store.KeyExists(HKEY_CURRENT_USER, L"City"));
    EXPECT_FALSE(store.CreateKeyAndSetValue(HKEY_CURRENT_USER, L"City", L"Latest", REG_DWORD,
                                            data.data(), data.size()));
    EXPECT_FALSE(store.CreateKey(HKEY_CURRENT_USER, L"New"));
    EXPECT_FALSE(store.DeleteKey(HKEY_CURRENT_USER, L"City"));
    EXPECT_EQ(ReadFile(StoreFile()), before);
  }
};

TEST_F(DamagedStore, AFileThatIsNoDatabaseIsLeftByteForByte) {
  std::string garbage;
  for (int i = 0; i < 10000; ++i) garbage += static_cast<char>((i * 7919) % 251);
  std::ofstream(StoreFile(), std::ios::binary) << garbage;
  ExpectRefusedAndUntouched(garbage);
  EXPECT_FALSE(std::filesystem::exists(StoreFile().string() + "-wal"));
}

TEST_F(DamagedStore, ADatabaseWithADamagedPageIsLeftByteForByte) {
  for (int i = 0; i < 400; ++i) {
    ASSERT_TRUE(Put(L"City\\Log" + std::to_wstring(i), L"Tm", Bytes("01/01/2005 02:15:00 GMT")));
  }
  ResetRegistryForTesting();  // the last connection checkpoints the journal into the file
  std::string content = ReadFile(StoreFile());
  ASSERT_GT(content.size(), 5u * 4096u);
  for (size_t i = 2 * 4096 + 100; i < 4 * 4096; ++i) content[i] = static_cast<char>(i * 31);
  std::ofstream(StoreFile(), std::ios::binary | std::ios::trunc) << content;
  ExpectRefusedAndUntouched(content);
}

TEST_F(DamagedStore, AnUnreadableFileIsReportedNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  ASSERT_TRUE(Put(L"K", L"V", Bytes("x")));
  ResetRegistryForTesting();
  std::string before = ReadFile(StoreFile());
  std::filesystem::permissions(StoreFile(), std::filesystem::perms::none);
  {
    RegistryStore store(StoreFile().string());
    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(store.LastError().empty());
    EXPECT_FALSE(store.QueryValue(HKEY_CURRENT_USER, L"K", L"V", nullptr, nullptr));
  }
  std::filesystem::permissions(
      StoreFile(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(ReadFile(StoreFile()), before);
}

}  // namespace
}  // namespace cirrodex::platform
