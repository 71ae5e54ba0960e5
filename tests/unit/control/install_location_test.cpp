// The lookup against Wine's real registry: the class key is written under HKLM\Software\Classes
// and removed again after each case. Windows' merged view of HKEY_CLASSES_ROOT, which Wine does
// not have, comes through the seam.
#include "control/install_location.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "product/product.h"
#include "support/seam_fixture.h"

// The server key as Windows names it, spelt out here so that a wrong key in the program shows.
static const char kClassKeyPath[] =
    "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}\\InProcServer32";

namespace {

const char kTestCaseFolder[] = "C:\\unchanged";

class InstallLocation : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    RemoveClassKey();
    strcpy(g_installDir, kTestCaseFolder);
  }
  void TearDown() override {
    RemoveClassKey();
    memset(g_installDir, 0, sizeof(g_installDir));
    SeamTest::TearDown();
  }
  static void RemoveClassKey() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
      RegDeleteTreeA(root, "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}");
  }
  // Creates the class key (under root: the machine's, or the user's of the same name); with
  // data, sets its default value to exactly those bytes.
  static void WriteClassKey(const std::string* data, HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, kClassKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    if (data) {
      EXPECT_EQ(ERROR_SUCCESS,
                RegSetValueExA(key, nullptr, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(data->data()), data->size()));
    }
    RegCloseKey(key);
  }
};

std::string Terminated(const std::string& s) { return s + std::string(1, '\0'); }

TEST_F(InstallLocation, TakesTheFolderOfTheServerFile) {
  struct Case {
    const char* name;
    std::string data;  // bytes stored, exactly
    int found;
    std::string folder;  // g_installDir afterwards
  } cases[] = {
      {"nested folder", Terminated("C:\\Dir\\Sub\\server.dll"), 1, "C:\\Dir\\Sub"},
      {"drive root", Terminated("C:\\server.dll"), 1, "C:"},
      {"bare file name", Terminated("server.dll"), 0, kTestCaseFolder},
      {"empty", Terminated(""), 0, kTestCaseFolder},
      {"stored without terminator", "D:\\Prog\\x.dll", 1, "D:\\Prog"},
      {"259 bytes and terminator", Terminated("C:\\" + std::string(250, 'a') + "\\b.dll"), 1,
       "C:\\" + std::string(250, 'a')},
      // 260 bytes and no terminator would fill the buffer: not a path we can use.
      {"exactly 260 bytes", "C:\\" + std::string(251, 'a') + "\\b.dll", 0, kTestCaseFolder},
      {"longer than the buffer", Terminated("C:\\" + std::string(300, 'a') + "\\b.dll"), 0,
       kTestCaseFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    strcpy(g_installDir, kTestCaseFolder);
    WriteClassKey(&c.data);
    EXPECT_EQ(c.found, LocateInstallFolder());
    EXPECT_EQ(c.folder, std::string(g_installDir));
    RemoveClassKey();
  }
}

TEST_F(InstallLocation, FailsWithoutTheKeyOrItsDefaultValue) {
  EXPECT_EQ(0, LocateInstallFolder());  // no key
  WriteClassKey(nullptr);
  EXPECT_EQ(0, LocateInstallFolder());  // key, no default value
  EXPECT_STREQ(kTestCaseFolder, g_installDir);
}

// Any program the user runs may write a per-user class key of the product's name; on Windows it
// then takes priority in HKEY_CLASSES_ROOT (the stand-in opens as Windows does). It is not the
// product's registration, and the folder it names is not the product's.
TEST_F(InstallLocation, TakesTheMachineWideKeyNeverAPerUserOne) {
  std::string machine = Terminated("C:\\Program Files\\Brenlock\\Tolvane\\tolsrv.dll");
  std::string user = Terminated("C:\\Users\\Public\\Documents\\tolsrv.dll");
  WriteClassKey(&machine);
  WriteClassKey(&user, HKEY_CURRENT_USER);
  g_seam.RegOpenKey = OpenMergedClasses;
  EXPECT_EQ(1, LocateInstallFolder());
  EXPECT_STREQ("C:\\Program Files\\Brenlock\\Tolvane", g_installDir);
  // Without the machine-wide value the product counts as removed, whatever the user's key says.
  RemoveClassKey();
  WriteClassKey(nullptr);
  WriteClassKey(&user, HKEY_CURRENT_USER);
  strcpy(g_installDir, kTestCaseFolder);
  EXPECT_EQ(0, LocateInstallFolder());
  EXPECT_STREQ(kTestCaseFolder, g_installDir);
}

TEST_F(InstallLocation, ReadsNamedValuesAndClosesTheKey) {
  std::string data = Terminated("C:\\x\\y.dll");
  WriteClassKey(&data);
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassKeyPath, 0, KEY_ALL_ACCESS, &key));
  RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Both"), 5);
  RegCloseKey(key);

  static int opens, closes;
  opens = closes = 0;
  g_seam.RegOpenKey = [](HKEY root, const char* path, REGSAM access, HKEY* out) -> LONG {
    ++opens;
    EXPECT_EQ(HKEY_LOCAL_MACHINE, root);
    EXPECT_EQ(static_cast<REGSAM>(KEY_READ), access);
    return RegOpenKeyExA(root, path, 0, access, out);
  };
  g_seam.RegCloseKey = [](HKEY k) -> LONG {
    ++closes;
    return RegCloseKey(k);
  };
  char buffer[16];
  EXPECT_STREQ("Both", ReadClassesRootValue("ThreadingModel", buffer, sizeof(buffer),
                                            kClassKeyPath));
  EXPECT_EQ(nullptr, ReadClassesRootValue("Missing", buffer, sizeof(buffer), kClassKeyPath));
  char tiny[4];  // "Both" and its terminator need 5 bytes
  EXPECT_EQ(nullptr, ReadClassesRootValue("ThreadingModel", tiny, sizeof(tiny), kClassKeyPath));
  EXPECT_EQ(3, opens);
  EXPECT_EQ(3, closes);
  EXPECT_EQ(nullptr, ReadClassesRootValue(nullptr, buffer, sizeof(buffer),
                                          "Software\\Classes\\CLSID\\NoSuchKey"));
  EXPECT_EQ(4, opens);
  EXPECT_EQ(3, closes) << "a key that was not opened is not closed";
}

}  // namespace
