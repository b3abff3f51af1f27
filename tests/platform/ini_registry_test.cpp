// Private INI files, the registry store and the common application data folder, each on a drive
// table of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/ini_file.h"
#include "platform/registry_store.h"
#include "platform/shell_folders.h"
#include "platform/text.h"
#include "tests/support/TempDir.h"

namespace {

class OwnDriveC : public ::testing::Test {
 protected:
  OwnDriveC() {
    ::mkdir(c.c_str(), 0777);
    ::setenv("VKQX_DRIVES", ("C:=" + c).c_str(), 1);
    platform::ReloadDrivesForTesting();
  }
  ~OwnDriveC() override {
    ::unsetenv("VKQX_DRIVES");
    platform::ReloadDrivesForTesting();
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(c + "/" + name, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string ReadFile(const std::string& name) {
    std::ifstream in(c + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  vkqx_test::TempDir tmp;
  std::string c = tmp.Sub("c");
};

std::string Utf16LEWithBom(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  platform::AppendUtf16LE(text, bytes);
  return bytes;
}

const wchar_t kDescriptor[] =
    L"; comment line\r\n"
    L"[Other]\r\n"
    L"Url=wrong\r\n"
    L"[ Install ]\r\n"
    L"  Url = http://127.0.0.1/vkinstaller.exe  \r\n"
    L"md5=ABCDEF\r\n"
    L"Quoted=\"  kept  \"\r\n"
    L"Single='x'\r\n"
    L"Half=\"open\r\n"
    L"Flag\r\n"
    L"Empty=\r\n"
    L"Name=安装包\n"
    L"Url=second wins never\r\n"
    L"[install]\r\n"
    L"Late=from a second section of the same name\r\n";

struct IniCase {
  const wchar_t* section;
  const wchar_t* key;
  const wchar_t* fallback;
  uint32_t bufferChars;
  const wchar_t* expected;
};

const IniCase kIniCases[] = {
    {L"Install", L"Url", L"", 2048, L"http://127.0.0.1/vkinstaller.exe"},  // trimmed, first key wins
    {L"INSTALL", L"URL", L"", 2048, L"http://127.0.0.1/vkinstaller.exe"},  // names without case
    {L"Install", L"MD5", L"", 2048, L"ABCDEF"},
    {L"Install", L"Quoted", L"", 2048, L"  kept  "},  // one pair of quotes comes off
    {L"Install", L"Single", L"", 2048, L"x"},
    {L"Install", L"Half", L"", 2048, L"\"open"},
    {L"Install", L"Flag", L"dflt", 2048, L""},   // a key without "=" has an empty value
    {L"Install", L"Empty", L"dflt", 2048, L""},  // present but empty: not the default
    {L"Install", L"Name", L"", 2048, L"安装包"},
    {L"Install", L"Late", L"dflt", 2048, L"dflt"},  // only the first section of a name counts
    {L"Install", L"Missing", L"0  ", 2048, L"0"},   // default, trailing blanks removed
    {L"Nowhere", L"Url", L"dflt", 2048, L"dflt"},
    {L"Install", L"Url", L"", 8, L"http://"},  // cut to size - 1
    {L"Install", L"Url", L"", 1, L""},
    {L"Install", L"Missing", L"default", 4, L"def"},
};

TEST_F(OwnDriveC, IniLookupRulesInEveryEncoding) {
  const std::wstring text = kDescriptor;
  struct Encoding {
    const char* name;
    std::string bytes;
  };
  std::string bigEndian = "\xFE\xFF";
  for (char16_t unit : platform::WideToUtf16(text)) {
    bigEndian += static_cast<char>(unit >> 8);
    bigEndian += static_cast<char>(unit & 0xFF);
  }
  const Encoding encodings[] = {
      {"utf16le", Utf16LEWithBom(text)},
      {"utf16be", bigEndian},
      {"utf8 bom", "\xEF\xBB\xBF" + platform::WideToUtf8(text)},
      {"8-bit", platform::WideToAnsi(text)},
  };
  for (const Encoding& encoding : encodings) {
    WriteFile("d.ini", encoding.bytes);
    for (const IniCase& k : kIniCases) {
      EXPECT_EQ(platform::ReadPrivateProfileString(k.section, k.key, k.fallback, L"C:\\d.ini", k.bufferChars),
                k.expected)
          << encoding.name << " [" << platform::WideToUtf8(k.section) << "] " << platform::WideToUtf8(k.key) << " size "
          << k.bufferChars;
    }
  }
}

TEST_F(OwnDriveC, IniBufferCallReportsCountAndMissingFile) {
  WriteFile("d.ini", Utf16LEWithBom(kDescriptor));
  wchar_t buffer[8] = {L'x', L'x', L'x', L'x', L'x', L'x', L'x', L'x'};
  EXPECT_EQ(platform::GetPrivateProfileString(L"Install", L"Url", L"", buffer, 8, L"C:\\d.ini"), 7u);
  EXPECT_EQ(std::wstring(buffer), L"http://");
  EXPECT_EQ(platform::GetPrivateProfileString(L"Install", L"Url", L"", buffer, 0, L"C:\\d.ini"), 0u);

  EXPECT_EQ(platform::GetPrivateProfileString(L"Install", L"Url", L"none", buffer, 8, L"C:\\missing.ini"), 4u);
  EXPECT_EQ(std::wstring(buffer), L"none");
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_FILE_NOT_FOUND);
}

TEST_F(OwnDriveC, RegistryStoreReadsWhatWasWrittenByHandOrByTheWriter) {
  const std::wstring key = L"SOFTWARE\\VelkorLauncher";
  std::wstring value;
  EXPECT_FALSE(platform::RegQueryStringValue(platform::RegistryRoot::kLocalMachine, key, L"InstPath", &value));

  ::mkdir((c + "/Windows").c_str(), 0777);
  WriteFile("Windows/vkqx_registry.reg",
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\velkorlauncher]\r\n"
            "\"InstPath\"=\"D:\\\\Games\\\\Velkor \\\"x\\\"\"\r\n"
            "\"Count\"=dword:0000002a\r\n"
            "\"Blob\"=hex:01,02\r\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\VelkorLauncher]\r\n\"InstPath\"=\"user\"\r\n");
  ASSERT_TRUE(platform::RegQueryStringValue(platform::RegistryRoot::kLocalMachine, key, L"instpath", &value));
  EXPECT_EQ(value, L"D:\\Games\\Velkor \"x\"");
  EXPECT_FALSE(platform::RegQueryStringValue(platform::RegistryRoot::kLocalMachine, key, L"Count", &value));
  EXPECT_FALSE(platform::RegQueryStringValue(platform::RegistryRoot::kLocalMachine, key, L"Blob", &value));

  // The raw query: size with the terminator, ERROR_MORE_DATA for a small buffer, the DWORD's bytes.
  uint32_t type = 0;
  uint32_t size = 0;
  EXPECT_EQ(platform::RegQueryValue(platform::RegistryRoot::kLocalMachine, key, L"InstPath", &type, nullptr, &size),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(type, platform::REG_SZ);
  EXPECT_EQ(size, 2u * (value.size() + 1));
  uint8_t small[4];
  size = sizeof small;
  EXPECT_EQ(platform::RegQueryValue(platform::RegistryRoot::kLocalMachine, key, L"InstPath", &type, small, &size),
            platform::ERROR_MORE_DATA);
  uint8_t dword[4] = {};
  size = sizeof dword;
  EXPECT_EQ(platform::RegQueryValue(platform::RegistryRoot::kLocalMachine, key, L"Count", &type, dword, &size),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(type, platform::REG_DWORD);
  EXPECT_EQ(dword[0], 42);

  // The writer keeps the other values and replaces the one it sets.
  EXPECT_EQ(platform::RegSetStringValue(platform::RegistryRoot::kLocalMachine, key, L"INSTPATH", L"C:\\安装 \\\"q\""),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(platform::RegSetDwordValue(platform::RegistryRoot::kLocalMachine, L"SOFTWARE\\New", L"N", 7),
            platform::ERROR_SUCCESS);
  ASSERT_TRUE(platform::RegQueryStringValue(platform::RegistryRoot::kLocalMachine, key, L"InstPath", &value));
  EXPECT_EQ(value, L"C:\\安装 \\\"q\"");
  ASSERT_TRUE(platform::RegQueryStringValue(platform::RegistryRoot::kCurrentUser, key, L"InstPath", &value));
  EXPECT_EQ(value, L"user");
  size = sizeof dword;
  EXPECT_EQ(platform::RegQueryValue(platform::RegistryRoot::kLocalMachine, key, L"Count", &type, dword, &size),
            platform::ERROR_SUCCESS);
  size = sizeof dword;
  EXPECT_EQ(platform::RegQueryValue(platform::RegistryRoot::kLocalMachine, L"SOFTWARE\\New", L"N", &type, dword, &size),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(dword[0], 7);
  EXPECT_EQ(ReadFile("Windows/vkqx_registry.reg.new"), "");  // no temporary file left behind
}

TEST_F(OwnDriveC, RegistryWriterCreatesTheStoreOnAnEmptyDrive) {
  EXPECT_EQ(platform::RegSetStringValue(platform::RegistryRoot::kLocalMachine, L"SOFTWARE\\VelkorLauncher",
                                        L"InstPath", L"C:\\Velkor"),
            platform::ERROR_SUCCESS);
  EXPECT_NE(ReadFile("Windows/vkqx_registry.reg").find("\"InstPath\"=\"C:\\\\Velkor\""), std::string::npos);
}

TEST_F(OwnDriveC, CommonAppDataIsOnDriveC) {
  EXPECT_EQ(platform::GetSpecialFolderPath(platform::CSIDL_COMMON_APPDATA), L"C:\\ProgramData");
  struct stat st {};
  EXPECT_EQ(::stat((c + "/ProgramData").c_str(), &st), 0);
  EXPECT_EQ(platform::GetSpecialFolderPath(26), L"");
}

}  // namespace
