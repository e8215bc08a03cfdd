// The registry: a tree of keys under two roots holding REG_DWORD and REG_SZ values, kept in one
// SQLite file ("registry.db" in the device folder) that every process of the system shares.
#pragma once

#include <cstdint>
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
// All operations are safe to call from several threads of one process.
class RegistryStore {
 public:
  // Opens (creating when missing) the store file at `file`. Never throws; a failure to open shows
  // in IsOpen() and LastError().
  explicit RegistryStore(const std::string& file);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool IsOpen() const;
  // What went wrong in the last failed operation of the calling thread, for tools to print.
  std::string LastError() const;
  // True when the last failed operation of the calling thread failed only because the key or
  // value does not exist (not because the store is unusable).
  bool LastFailureWasMissing() const;

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
  // Names of the key's direct subkeys, in name order; false when the key does not exist.
  bool EnumSubkeys(RootKey root, std::wstring_view path, std::vector<std::wstring>* names);
  // Deletes the key with its values and everything below it; false when it does not exist.
  // A root itself cannot be deleted.
  bool DeleteKey(RootKey root, std::wstring_view path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The process's one store, on DeviceRoot()/registry.db, opened at first use.
RegistryStore& Registry();

// Replaces the process's store (tests point it at a fresh device folder). Takes effect for later
// Registry() calls; the caller keeps no reference to the old store.
void ResetRegistryForTesting();

}  // namespace cirrodex::platform
