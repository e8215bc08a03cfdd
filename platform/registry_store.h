// The registry: a tree of keys under two roots holding REG_DWORD and REG_SZ values, kept in one
// SQLite file ("registry.db" in the device folder) that every process of the system shares.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace cirrodex::platform {

enum class RootKey : uint32_t {
  CurrentUser = 0x80000001u,   // HKEY_CURRENT_USER
  LocalMachine = 0x80000002u,  // HKEY_LOCAL_MACHINE
};

inline constexpr RootKey HKEY_CURRENT_USER = RootKey::CurrentUser;
inline constexpr RootKey HKEY_LOCAL_MACHINE = RootKey::LocalMachine;

inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_DWORD = 4;

// Key paths are backslash-separated ("SOFTWARE\Velbrook\Cirrodex"); empty components are
// ignored. Key and value names compare without regard to ASCII case. Value data are raw bytes:
// a REG_DWORD is 4 little-endian bytes, a REG_SZ UTF-16LE with its terminator.
//
// Every write is one transaction: atomic, durable once it returns (it survives the writing
// process being killed), and a busy database is waited for rather than reported. A store whose
// file is damaged or unreadable is left untouched: every operation fails and LastError() says why.
// A write-protected file is opened for reading only: reads work, writes fail and say so, and the
// file is never modified. All operations are safe to call from several threads of one process.
class RegistryStore {
 public:
  // Opens (creating when missing) the store file at `file`. Never throws; a failure to open shows
  // in IsOpen() and LastError().
  explicit RegistryStore(const std::string& file);
  // A store that is not open, with `why` as its error.
  static std::unique_ptr<RegistryStore> Refused(const std::string& why);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool IsOpen() const;
  // Opened for reading only, because the file is write-protected.
  bool IsReadOnly() const;
  // What went wrong in the last failed operation of the calling thread, for tools to print.
  std::string LastError() const;
  // True when the last failed operation of the calling thread failed only because the key or
  // value does not exist (not because the store is unusable).
  bool LastFailureWasMissing() const;
  // The first failure of any thread that was not only a missing key or value (the store could
  // not be opened, read or written); empty when there was none. What an unattended run reports.
  std::string FirstFault() const;

  // How long an operation waits for a store that another process holds (10 s unless set).
  void SetBusyTimeout(std::chrono::milliseconds timeout);
  // True once an operation failed because another process held the store until the process's
  // budget for waiting (SetRegistryBusyBudget) was used up.
  bool GaveUpWaiting() const;

  // Runs `body` as one transaction that holds the store's write lock from its start: what `body`
  // reads is what it commits against, and its writes land together or not at all. Operations
  // that `body` makes on this thread join it; other threads of the process wait. Commits when
  // `body` returns true, rolls back otherwise; true only when committed.
  bool Transaction(const std::function<bool()>& body);

  bool KeyExists(RootKey root, std::wstring_view path);
  // Creates the key and its missing parents; true when the key exists afterwards.
  bool CreateKey(RootKey root, std::wstring_view path);
  // False when the key or the value is missing. On success `type` and `data` hold the value.
  bool QueryValue(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t* type,
                  std::vector<uint8_t>* data);
  // Sets a value of an existing key; false when the key does not exist.
  bool SetValue(RootKey root, std::wstring_view path, std::wstring_view name, uint32_t type,
                const void* data, size_t size);
  // Creates the key with its parents if needed and sets the value, in one transaction.
  bool CreateKeyAndSetValue(RootKey root, std::wstring_view path, std::wstring_view name,
                            uint32_t type, const void* data, size_t size);
  bool DeleteValue(RootKey root, std::wstring_view path, std::wstring_view name);
  // The key's values in name order (for tools).
  struct Value {
    std::wstring name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };
  bool EnumValues(RootKey root, std::wstring_view path, std::vector<Value>* values);
  // The key's direct subkeys in name order, each with all its values in name order, read in one
  // statement; false when the key does not exist. What `subkeys` held is replaced, its storage
  // reused.
  struct Subkey {
    std::wstring name;
    std::vector<Value> values;
  };
  bool ReadSubkeys(RootKey root, std::wstring_view path, std::vector<Subkey>* subkeys);
  // Names of the key's direct subkeys, in name order; false when the key does not exist.
  bool EnumSubkeys(RootKey root, std::wstring_view path, std::vector<std::wstring>* names);
  // Deletes the key with its values and everything below it; false when it does not exist.
  // A root itself cannot be deleted.
  bool DeleteKey(RootKey root, std::wstring_view path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The process's one store, on DeviceRoot()/registry.db, opened at first use. A device folder
// that DeviceRootProblem() refuses gives a store that is not open and says why.
RegistryStore& Registry();

// The busy time-out of the process's store, now and when it is opened later (an unattended run
// can afford to wait longer than a window can).
void SetRegistryBusyTimeout(std::chrono::milliseconds timeout);

// Caps the time that all waits of the process for a store another process holds may take
// together from now on, however many operations wait (each still waits no longer than its busy
// time-out); once it is used up, an operation that finds the store held fails at once. Negative:
// no cap (the default).
void SetRegistryBusyBudget(std::chrono::milliseconds budget);

// Replaces the process's store (tests point it at a fresh device folder). Takes effect for later
// Registry() calls; the caller keeps no reference to the old store.
void ResetRegistryForTesting();

}  // namespace cirrodex::platform
