#include "installer/Install/InstallDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/installer/InstallTestDrives.h"
#include "tests/support/TempDir.h"

namespace {

using namespace install;
using vkqx_test::ScopedDriveTable;
using vkqx_test::TempDir;
using vkqx_test::TmpfsDrive;

constexpr uint64_t kPage = 4096;
constexpr uint64_t kLarge = 1024ull * 1024 * 1024;
const std::wstring kDefaultOnC = L"C:\\Velkor网络\\VelkorTessary";
const std::wstring kDefaultOnD = L"D:\\Velkor网络\\VelkorTessary";
const std::wstring kDefaultOnE = L"E:\\Velkor网络\\VelkorTessary";

// Drives of given sizes in a temporary directory, each its own tmpfs, and the table naming them.
class SizedDrives {
 public:
  struct Spec {
    char letter;
    uint64_t bytes;
    bool readOnly = false;
    const char* type = "fixed";
  };

  explicit SizedDrives(const std::vector<Spec>& specs) {
    std::string table;
    for (const Spec& spec : specs) {
      const std::string dir = m_tmp.Sub(std::string(1, spec.letter));
      m_mounts.push_back(std::make_unique<TmpfsDrive>(dir, spec.bytes, spec.readOnly));
      m_mounted = m_mounted && m_mounts.back()->Mounted();
      table += std::string(table.empty() ? "" : ";") + spec.letter + ":=" + dir + "|" + spec.type;
    }
    m_table.Set(table);
  }
  bool Mounted() const { return m_mounted; }

 private:
  TempDir m_tmp;  // outlives the mounts inside it
  std::vector<std::unique_ptr<TmpfsDrive>> m_mounts;
  ScopedDriveTable m_table{""};
  bool m_mounted = true;
};

#define REQUIRE_MOUNTED(drives) \
  if (!(drives).Mounted()) GTEST_SKIP() << "needs root to mount file systems of a chosen size"

// The space threshold, to the byte: a proposal needs more than 150 MiB, a typed directory at least
// that much.
TEST(InstallDirTest, SpaceThresholdProposesAboveAndAcceptsFromExactly150MiB) {
  struct Case {
    uint64_t freeOnD;
    InstallDirCheck check;
    std::wstring proposed;
  };
  const Case cases[] = {
      {kRequiredSpace - kPage, kInstallDirNoSpace, kDefaultOnC},
      {kRequiredSpace, kInstallDirOk, kDefaultOnC},
      {kRequiredSpace + kPage, kInstallDirOk, kDefaultOnD},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.freeOnD);
    SizedDrives drives({{'C', kLarge}, {'D', c.freeOnD}});
    REQUIRE_MOUNTED(drives);
    uint64_t free = 0;
    EXPECT_EQ(CheckInstallDir(L"D:\\Games\\Qarnath", &free), c.check);
    if (c.check == kInstallDirOk) {
      EXPECT_EQ(free, c.freeOnD);
    }
    EXPECT_EQ(ChooseInstallDir(L""), c.proposed);
  }
}

TEST(InstallDirTest, CheckGivesTheFirstReasonThatApplies) {
  SizedDrives drives({{'C', kLarge}, {'D', kLarge, /*readOnly=*/true}, {'E', kRequiredSpace - kPage, true}});
  REQUIRE_MOUNTED(drives);
  struct Case {
    const wchar_t* dir;
    InstallDirCheck check;
  };
  const Case cases[] = {
      {L"C:\\Games\\Qarnath", kInstallDirOk},
      {L"C:\\a\\b\\c\\d", kInstallDirOk},  // probed in the nearest existing ancestor
      {L"C:", kInstallDirOk},
      {L"", kInstallDirInvalid},
      {L"Games\\Qarnath", kInstallDirInvalid},
      {L"C:\\Ga?mes", kInstallDirInvalid},
      {L"Q:\\Games", kInstallDirInvalid},     // no such drive
      {L"D:\\Games", kInstallDirNotWritable},  // read-only, plenty of space
      {L"E:\\Games", kInstallDirNoSpace},      // read-only too, but space is checked first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dir " << platform::WideToUtf8(c.dir));
    uint64_t free = 12345;
    EXPECT_EQ(CheckInstallDir(c.dir, &free), c.check);
    if (c.check != kInstallDirOk) {
      EXPECT_EQ(free, 12345u) << "free space only comes with an accepted directory";
    }
  }
}

TEST(InstallDirTest, ProposalKeepsAGoodCurrentDirectoryElseFollowsTheDriveOrder) {
  // D: too small, E: read-only, C: good, F: good but later in the order.
  SizedDrives drives({{'C', kLarge}, {'D', kRequiredSpace}, {'E', kLarge, true}, {'F', kLarge}});
  REQUIRE_MOUNTED(drives);
  EXPECT_EQ(ChooseInstallDir(L"F:\\Games\\Launcher"), L"F:\\Games\\Launcher");
  EXPECT_EQ(ChooseInstallDir(L"D:\\Games\\Launcher"), kDefaultOnC);
  EXPECT_EQ(ChooseInstallDir(L"E:\\Games\\Launcher"), kDefaultOnC);
  // The fallback text takes the first listed root that exists, whatever its space or rights.
  EXPECT_EQ(SuggestInstallDir(), kDefaultOnD);
}

TEST(InstallDirTest, NothingProposedWithoutAListedDriveThatQualifies) {
  SizedDrives drives({{'E', kRequiredSpace}, {'H', kLarge}});
  REQUIRE_MOUNTED(drives);
  EXPECT_EQ(ChooseInstallDir(L""), L"");
  EXPECT_EQ(SuggestInstallDir(), kDefaultOnE);

  SizedDrives unlisted({{'H', kLarge}});
  REQUIRE_MOUNTED(unlisted);
  EXPECT_EQ(ChooseInstallDir(L""), L"");
  EXPECT_EQ(SuggestInstallDir(), L"");
}

TEST(InstallDirTest, SilentDirectoryBesideTheProgramElseOnTheFirstWritableFixedDrive) {
  // C: removable, D: fixed but read-only, E: fixed and writable though small, F: fixed and large.
  SizedDrives drives({{'C', kLarge, false, "removable"},
                      {'D', kLarge, true},
                      {'E', kRequiredSpace - kPage},
                      {'F', kLarge}});
  REQUIRE_MOUNTED(drives);
  EXPECT_EQ(ChooseSilentInstallDir(L"F:\\Downloads\\Setup"), L"F:\\Downloads\\VelkorTessary");
  // Beside the program needs more than 150 MiB; the drive walk needs only rights.
  EXPECT_EQ(ChooseSilentInstallDir(L"E:\\Downloads"), kDefaultOnE);
  EXPECT_EQ(ChooseSilentInstallDir(L"D:\\Downloads"), kDefaultOnE);
  // A program at a drive's root has no folder beside its own: never "\VelkorTessary".
  EXPECT_EQ(ChooseSilentInstallDir(L"F:"), kDefaultOnE);

  SizedDrives none({{'C', kLarge, false, "removable"}, {'D', kLarge, true}});
  REQUIRE_MOUNTED(none);
  EXPECT_EQ(ChooseSilentInstallDir(L"D:\\Downloads"), L"");
}

}  // namespace
