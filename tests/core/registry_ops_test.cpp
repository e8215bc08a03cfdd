#include "core/registry_ops.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using platform::REG_DWORD;
using platform::REG_SZ;
using platform::Registry;
using testing::DeviceTest;

constexpr wchar_t kKey[] = L"SOFTWARE\\Velbrook\\Cirrodex";

class RegistryOps : public DeviceTest {
 protected:
  std::vector<uint8_t> StoredBytes(std::wstring_view path, std::wstring_view name,
                                   uint32_t* type = nullptr) {
    std::vector<uint8_t> data;
    EXPECT_TRUE(Registry().QueryValue(HKEY_CURRENT_USER, path, name, type, &data));
    return data;
  }
  bool PutRaw(std::wstring_view name, uint32_t type, const std::vector<uint8_t>& data) {
    return Registry().CreateKeyAndSetValue(HKEY_CURRENT_USER, kKey, name, type, data.data(),
                                           data.size());
  }
};

TEST_F(RegistryOps, WritesNeedTheKeyAndStoreFallsBackToCreate) {
  EXPECT_FALSE(WriteDword(HKEY_CURRENT_USER, kKey, L"UpdateRate", 30));
  EXPECT_FALSE(WriteString(HKEY_CURRENT_USER, kKey, L"CityCode1", L"UKXX0085"));
  EXPECT_FALSE(Registry().KeyExists(HKEY_CURRENT_USER, kKey));

  EXPECT_TRUE(StoreDword(HKEY_CURRENT_USER, kKey, L"UpdateRate", 30));
  EXPECT_TRUE(WriteString(HKEY_CURRENT_USER, kKey, L"CityCode1", L"UKXX0085"));
  EXPECT_TRUE(
      StoreString(HKEY_CURRENT_USER, kKey + std::wstring(L"\\UKXX0085"), L"CityName", L"London"));
  uint32_t rate = 0;
  std::wstring code, name;
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, kKey, L"UpdateRate", rate));
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kKey, L"CityCode1", code));
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kKey + std::wstring(L"\\UKXX0085"), L"CityName", name));
  EXPECT_EQ(rate, 30u);
  EXPECT_EQ(code, L"UKXX0085");
  EXPECT_EQ(name, L"London");
  EXPECT_TRUE(CreateDword(HKEY_CURRENT_USER, kKey, L"UpdateRate", 45));
  EXPECT_EQ(ReadDwordOr(HKEY_CURRENT_USER, kKey, L"UpdateRate", 1), 45u);
}

TEST_F(RegistryOps, ValuesAreStoredInThePlatformLayout) {
  ASSERT_TRUE(StoreDword(HKEY_CURRENT_USER, kKey, L"D", 0x12345678));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, kKey, L"S", L"abc"));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, kKey, L"U", L"\u00BA\U0001F327"));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, kKey, L"E", L""));
  uint32_t type = 0;
  EXPECT_EQ(StoredBytes(kKey, L"D", &type), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(StoredBytes(kKey, L"S", &type), (std::vector<uint8_t>{'a', 0, 'b', 0, 'c', 0, 0, 0}));
  EXPECT_EQ(type, REG_SZ);
  // One UTF-16 unit, a surrogate pair, the terminator.
  EXPECT_EQ(StoredBytes(kKey, L"U"),
            (std::vector<uint8_t>{0xBA, 0x00, 0x3C, 0xD8, 0x27, 0xDF, 0, 0}));
  EXPECT_EQ(StoredBytes(kKey, L"E"), (std::vector<uint8_t>{0, 0}));
  std::wstring back;
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kKey, L"U", back));
  EXPECT_EQ(back, L"\u00BA\U0001F327");
}

struct LengthCase {
  size_t characters;
  bool writes;  // WriteString accepts it
  bool reads;   // ReadString gives it back
};

TEST_F(RegistryOps, StringLimitsFollowThePlatformBuffers) {
  const LengthCase cases[] = {
      {1022, true, true},  {1023, true, true},   {1024, true, false},
      {2047, true, false}, {2048, false, false}, {5000, false, false},
  };
  for (const LengthCase& c : cases) {
    std::wstring text(c.characters, L'x');
    std::wstring name = L"Len" + std::to_wstring(c.characters);
    EXPECT_EQ(WriteString(HKEY_CURRENT_USER, kKey, name, text), false) << "no key yet";
    ASSERT_TRUE(Registry().CreateKey(HKEY_CURRENT_USER, kKey));
    EXPECT_EQ(WriteString(HKEY_CURRENT_USER, kKey, name, text), c.writes) << c.characters;
    // The create variant has no limit.
    ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, kKey, name, text));
    EXPECT_EQ(StoredBytes(kKey, name).size(), (c.characters + 1) * 2);
    std::wstring back = L"unchanged";
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kKey, name, back), c.reads) << c.characters;
    EXPECT_EQ(back, c.reads ? text : L"unchanged");
    ASSERT_TRUE(Registry().DeleteKey(HKEY_CURRENT_USER, kKey));
  }
}

TEST_F(RegistryOps, ReadsFailOnTheWrongTypeAndLeaveTheOutputAlone) {
  ASSERT_TRUE(StoreDword(HKEY_CURRENT_USER, kKey, L"D", 7));
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, kKey, L"S", L"7"));
  uint32_t value = 99;
  std::wstring text = L"before";
  EXPECT_FALSE(ReadDword(HKEY_CURRENT_USER, kKey, L"S", value));
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kKey, L"D", text));
  EXPECT_FALSE(ReadDword(HKEY_CURRENT_USER, kKey, L"Missing", value));
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, L"No\\Such\\Key", L"S", text));
  EXPECT_EQ(value, 99u);
  EXPECT_EQ(text, L"before");
  EXPECT_EQ(ReadDwordOr(HKEY_CURRENT_USER, kKey, L"S", 1439), 1439u);
}

TEST_F(RegistryOps, ValuesWrittenByOthersReadSafely) {
  // A DWORD of two bytes reads with zeros above them; one of more than 2048 bytes fails.
  ASSERT_TRUE(PutRaw(L"Short", REG_DWORD, {0x34, 0x12}));
  ASSERT_TRUE(PutRaw(L"Huge", REG_DWORD, std::vector<uint8_t>(2049, 1)));
  ASSERT_TRUE(PutRaw(L"Long", REG_DWORD, std::vector<uint8_t>(2048, 2)));
  // A string without its terminator, one with a NUL inside, one of odd length.
  ASSERT_TRUE(PutRaw(L"Open", REG_SZ, {'a', 0, 'b', 0}));
  ASSERT_TRUE(PutRaw(L"Inner", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}));
  ASSERT_TRUE(PutRaw(L"Odd", REG_SZ, {'a', 0, 'b'}));
  uint32_t value = 0;
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, kKey, L"Short", value));
  EXPECT_EQ(value, 0x1234u);
  value = 5;
  EXPECT_FALSE(ReadDword(HKEY_CURRENT_USER, kKey, L"Huge", value));
  EXPECT_EQ(value, 5u);
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, kKey, L"Long", value));
  EXPECT_EQ(value, 0x02020202u);
  std::wstring text;
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kKey, L"Open", text));
  EXPECT_EQ(text, L"ab");
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kKey, L"Inner", text));
  EXPECT_EQ(text, L"a");
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kKey, L"Odd", text));
  EXPECT_EQ(text, L"a");
}

TEST_F(RegistryOps, WrittenTextEndsAtAnEmbeddedNul) {
  ASSERT_TRUE(StoreString(HKEY_CURRENT_USER, kKey, L"S", std::wstring(L"ab\0cd", 5)));
  EXPECT_EQ(StoredBytes(kKey, L"S"), (std::vector<uint8_t>{'a', 0, 'b', 0, 0, 0}));
}

TEST_F(RegistryOps, DeleteValueAndDeleteTree) {
  const wchar_t* keys[] = {L"C\\A\\Log000", L"C\\A\\Log001\\X\\Y", L"C\\B", L"C\\B\\Z"};
  for (const wchar_t* key : keys) ASSERT_TRUE(CreateString(HKEY_CURRENT_USER, key, L"Tm", L"t"));
  ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, L"C", L"Latest", 1));
  ASSERT_TRUE(CreateDword(HKEY_CURRENT_USER, L"Keep", L"V", 1));

  EXPECT_TRUE(DeleteValue(HKEY_CURRENT_USER, L"C", L"Latest"));
  EXPECT_FALSE(DeleteValue(HKEY_CURRENT_USER, L"C", L"Latest"));
  EXPECT_FALSE(DeleteValue(HKEY_CURRENT_USER, L"NoKey", L"Latest"));

  EXPECT_TRUE(DeleteTree(HKEY_CURRENT_USER, L"C"));
  for (const wchar_t* key : keys) EXPECT_FALSE(Registry().KeyExists(HKEY_CURRENT_USER, key));
  EXPECT_FALSE(Registry().KeyExists(HKEY_CURRENT_USER, L"C"));
  EXPECT_TRUE(Registry().KeyExists(HKEY_CURRENT_USER, L"Keep"));
  EXPECT_FALSE(DeleteTree(HKEY_CURRENT_USER, L"C"));
}

}  // namespace
}  // namespace cirrodex
