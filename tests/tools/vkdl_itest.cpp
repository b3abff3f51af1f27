// vkdl against nginx on three loopback addresses: a whole download, resume after SIGKILL at half
// way and at random moments, a clean stop on SIGTERM, an already complete target, bad arguments;
// and under failure (a full disk, a data file removed, a leftover data file, a wrong target, a file
// changed on the server, a second run on one target), where a second run must give the right file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "commonlib/util/MD5.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace {

using vkqx_test::NginxAccessEntry;
using vkqx_test::NginxOptions;
using vkqx_test::NginxServer;

constexpr uint64_t kBlock = 1310720;

std::string Vkdl() { return vkqx_test::BuildDir() + "/bin/vkdl"; }

std::string MakeContent(size_t size) {
  std::string data(size, '\0');
  std::mt19937 random(12345);
  for (size_t i = 0; i < size; i += 4) {
    const uint32_t v = random();
    for (size_t k = 0; k < 4 && i + k < size; ++k) data[i + k] = static_cast<char>(v >> (8 * k));
  }
  return data;
}

std::string Md5Of(const std::string& data) {
  MD5 md5(data.data(), data.size());
  return md5.hex_digest();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

// WaitFor ends when the process exits, whatever its predicate says.
bool WaitForExit(vkqx_test::ServerProcess& process) {
  process.WaitFor([&] { return !process.Running(); }, 60000);
  return !process.Running();
}

// The highest percent vkdl has printed so far.
int LastPercent(const std::string& logs) {
  static const std::regex percent(R"(  (\d+)%  )");
  int last = -1;
  for (auto it = std::sregex_iterator(logs.begin(), logs.end(), percent); it != std::sregex_iterator(); ++it)
    last = std::max(last, std::stoi((*it)[1]));
  return last;
}

// [first, last] of a "bytes=a-b" header.
bool ParseRange(const std::string& header, uint64_t& first, uint64_t& last) {
  return std::sscanf(header.c_str(), "bytes=%lu-%lu", &first, &last) == 2;
}

uint64_t BytesServed(const std::vector<NginxAccessEntry>& log, size_t from = 0, size_t to = SIZE_MAX) {
  uint64_t sum = 0;
  for (size_t i = from; i < std::min(to, log.size()); ++i) sum += log[i].bodyBytes;
  return sum;
}

class VkdlTest : public ::testing::Test {
 protected:
  void StartServer(size_t size, const std::string& limitRate = "") {
    NginxOptions options;
    options.addresses = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
    options.limitRate = limitRate;
    m_nginx = std::make_unique<NginxServer>(options);
    m_content = MakeContent(size);
    m_nginx->WriteFile("file.bin", m_content);
    ASSERT_TRUE(m_nginx->Start());
  }
  std::vector<std::string> Args(const std::string& out) const {
    return {"--url", m_nginx->Url("/file.bin"), "--size", std::to_string(m_content.size()), "--md5", Md5Of(m_content),
            "--ips", "127.0.0.2;127.0.0.3", "--out", out};
  }
  vkqx_test::ProgramResult RunToEnd(const std::string& out) { return vkqx_test::RunProgram(Vkdl(), Args(out), 120000); }
  // Starts vkdl, waits until it has printed `percent` (or for `delayMs` when percent is -1),
  // then kills it with `signal`; returns its wait status.
  int RunAndKill(const std::string& out, int signal, int percent, int delayMs = 0) {
    vkqx_test::ServerProcess vkdl("vkdl");
    EXPECT_TRUE(vkdl.Start(Vkdl(), Args(out)));
    if (percent >= 0) {
      EXPECT_TRUE(vkdl.WaitFor([&] { return LastPercent(vkdl.Logs()) >= percent; }, 60000)) << vkdl.Logs();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
    // Only our own child, and only while it is still unreaped: a pid of -1 would mean every
    // process there is.
    if (vkdl.Running() && vkdl.pid() > 0) ::kill(vkdl.pid(), signal);
    vkdl.WaitFor([&] { return !vkdl.Running(); }, 10000);
    m_lastLogs = vkdl.Logs();
    return vkdl.Stop();
  }
  // Waits until nginx has logged every request of the runs so far.
  std::vector<NginxAccessEntry> SettledLog() {
    std::vector<NginxAccessEntry> log = m_nginx->AccessLog();
    for (int i = 0; i < 50; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      std::vector<NginxAccessEntry> again = m_nginx->AccessLog();
      if (again.size() == log.size()) break;
      log = std::move(again);
    }
    return log;
  }

  vkqx_test::TempDir m_dir;
  std::unique_ptr<NginxServer> m_nginx;
  std::string m_content;
  std::string m_lastLogs;
};

TEST_F(VkdlTest, DownloadsFromThreeAddressesInDisjointBlocks) {
  StartServer(20 << 20);
  const std::string out = m_dir.Sub("out.bin");
  const vkqx_test::ProgramResult result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("vkdl: outcome (0, 0)"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("vkdl: md5 ok " + Md5Of(m_content)), std::string::npos) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);
  EXPECT_FALSE(std::ifstream(out + ".vkdt").good());
  EXPECT_FALSE(std::ifstream(out + ".vkdt.vkmt").good());

  const std::vector<NginxAccessEntry> log = SettledLog();
  std::set<std::string> addresses;
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (const NginxAccessEntry& e : log) {
    EXPECT_EQ(e.status, 206) << e.request;
    uint64_t first = 0;
    uint64_t last = 0;
    ASSERT_TRUE(ParseRange(e.range, first, last)) << e.range;
    EXPECT_EQ(first % kBlock, 0u);
    EXPECT_LE(last - first + 1, kBlock);
    EXPECT_EQ(e.bodyBytes, last - first + 1);
    ranges.emplace_back(first, last);
    addresses.insert(e.serverAddress);
  }
  EXPECT_EQ(addresses, (std::set<std::string>{"127.0.0.1", "127.0.0.2", "127.0.0.3"}));
  std::sort(ranges.begin(), ranges.end());
  uint64_t next = 0;
  for (const auto& [first, last] : ranges) {
    EXPECT_EQ(first, next);
    next = last + 1;
  }
  EXPECT_EQ(next, m_content.size());
}

TEST_F(VkdlTest, AfterASigkillAtHalfWayTheNextRunFetchesOnlyWhatWasMissing) {
  StartServer(64 << 20, "1m");
  const std::string out = m_dir.Sub("out.bin");
  const int status = RunAndKill(out, SIGKILL, 50);
  ASSERT_TRUE(WIFSIGNALED(status)) << m_lastLogs;
  const std::vector<NginxAccessEntry> first = SettledLog();
  ASSERT_TRUE(std::ifstream(out + ".vkdt.vkmt").good());

  const vkqx_test::ProgramResult result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("vkdl: md5 ok"), std::string::npos) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);

  const std::vector<NginxAccessEntry> all = SettledLog();
  // Blocks completed in the first run are not asked for again; only those in flight at the kill
  // (at most one per source) may be.
  int again = 0;
  for (size_t i = first.size(); i < all.size(); ++i) {
    uint64_t a = 0, b = 0;
    ASSERT_TRUE(ParseRange(all[i].range, a, b));
    for (const NginxAccessEntry& done : first) {
      uint64_t c = 0, d = 0;
      if (ParseRange(done.range, c, d) && done.bodyBytes == d - c + 1 && a <= d && c <= b) ++again;
    }
  }
  EXPECT_LE(again, 3);
  EXPECT_GE(BytesServed(all, 0, first.size()), m_content.size() / 2 - 3 * kBlock);
  EXPECT_LE(BytesServed(all), m_content.size() + 3 * kBlock);
}

TEST_F(VkdlTest, SigkillsAtRandomMomentsNeverSpoilTheFile) {
  StartServer(16 << 20, "1m");
  const std::string out = m_dir.Sub("out.bin");
  std::mt19937 random(static_cast<unsigned>(std::random_device{}()));
  constexpr int kKills = 5;
  for (int i = 0; i < kKills; ++i) RunAndKill(out, SIGKILL, -1, 150 + static_cast<int>(random() % 600));
  const vkqx_test::ProgramResult result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);
  // Each kill loses at most the blocks in flight.
  EXPECT_LE(BytesServed(SettledLog()), m_content.size() + kKills * 3 * kBlock);
}

TEST_F(VkdlTest, SigtermSavesTheProgressAndTheNextRunCompletes) {
  StartServer(16 << 20, "1m");
  const std::string out = m_dir.Sub("out.bin");
  const int status = RunAndKill(out, SIGTERM, -1, 1200);
  ASSERT_EQ(ExitCodeOf(status), 128 + SIGTERM) << m_lastLogs;
  EXPECT_NE(m_lastLogs.find("run the same command again to resume"), std::string::npos);
  EXPECT_TRUE(std::ifstream(out + ".vkdt.vkmt").good());
  const vkqx_test::ProgramResult result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);
  // A stop keeps even the partial blocks; nginx counts as sent what still sat in the socket
  // buffers when the connections closed (up to a second's worth per request under limit_rate).
  EXPECT_LE(BytesServed(SettledLog()), m_content.size() + 3 * kBlock);
}

TEST_F(VkdlTest, ACompleteTargetIsCheckedWithoutAnyRequest) {
  StartServer(3 << 20);
  const std::string out = m_dir.Sub("out.bin");
  std::ofstream(out, std::ios::binary) << m_content;
  const vkqx_test::ProgramResult result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("vkdl: md5 ok"), std::string::npos);
  EXPECT_TRUE(SettledLog().empty());
}

TEST_F(VkdlTest, AWrongHashIsReportedAfterTheDownload) {
  StartServer(2 << 20);
  std::vector<std::string> args = Args(m_dir.Sub("out.bin"));
  args[5] = std::string(32, '0');
  const vkqx_test::ProgramResult result = vkqx_test::RunProgram(Vkdl(), args, 60000);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.err.find("vkdl: md5 mismatch: expected 00000000000000000000000000000000, got " + Md5Of(m_content)),
            std::string::npos)
      << result.err;
}

TEST_F(VkdlTest, BadArgumentsGiveTheUsageAndExitTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"--url", "http://127.0.0.1/f", "--size", "x", "--md5", std::string(32, 'a'), "--out", "/tmp/f"},
           {"--nonsense"}}) {
    const vkqx_test::ProgramResult result = vkqx_test::RunProgram(Vkdl(), args, 10000);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("usage: vkdl --url URL"), std::string::npos) << result.err;
  }
  EXPECT_EQ(vkqx_test::RunProgram(Vkdl(), {"--help"}, 10000).exitCode, 0);
}

// A file system of `megabytes` at `mountPoint`: a tmpfs, else a file system made in a file. Empty
// `skipReason` when mounted.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& mountPoint, const std::string& image, int megabytes) : m_mountPoint(mountPoint) {
    if (geteuid() != 0) {
      m_skipReason = "mounting a small file system needs root";
      return;
    }
    ::mkdir(mountPoint.c_str(), 0755);
    const std::string size = "size=" + std::to_string(megabytes) + "m";
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, size.c_str()) == 0) return;
    const std::string make = "truncate -s " + std::to_string(megabytes) + "M " + image + " && mkfs.ext2 -q -F " + image +
                             " >/dev/null 2>&1 && mount -o loop " + image + " " + mountPoint + " 2>/dev/null";
    if (system(make.c_str()) == 0) return;
    m_skipReason = "neither a tmpfs nor a file system in a file can be mounted here";
  }
  ~SmallFileSystem() {
    if (m_skipReason.empty()) ::umount2(m_mountPoint.c_str(), MNT_DETACH);
  }
  const std::string& skipReason() const { return m_skipReason; }

 private:
  std::string m_mountPoint;
  std::string m_skipReason;
};

TEST_F(VkdlTest, AFullDiskFailsEveryRunWithItsCauseUntilSpaceIsFreed) {
  SmallFileSystem disk(m_dir.Sub("small"), m_dir.Sub("small.img"), 6);
  if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
  StartServer(4 << 20);
  const std::string filler = m_dir.Sub("small/filler");
  std::ofstream(filler, std::ios::binary) << std::string(3 << 20, 'f');
  const std::string out = m_dir.Sub("small/out.bin");
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    const vkqx_test::ProgramResult result = RunToEnd(out);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("vkdl: outcome (3, 6)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("could not be made at its full size: disk full (system error 112)"), std::string::npos)
        << result.err;
    // Nothing is left that a later run could take for progress.
    EXPECT_FALSE(std::ifstream(out + ".vkdt.vkmt").good());
    EXPECT_FALSE(std::ifstream(out).good());
  }
  EXPECT_TRUE(SettledLog().empty());
  ASSERT_EQ(std::remove(filler.c_str()), 0);
  const vkqx_test::ProgramResult result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);
}

TEST_F(VkdlTest, ADataFileRemovedOrReplacedMidDownloadFailsAndTheNextRunStartsAfresh) {
  StartServer(16 << 20, "1m");
  for (const bool replaced : {false, true}) {
    SCOPED_TRACE(replaced ? "replaced by another file of its size" : "removed");
    const std::string out = m_dir.Sub(replaced ? "replaced.bin" : "removed.bin");
    vkqx_test::ServerProcess vkdl("vkdl");
    ASSERT_TRUE(vkdl.Start(Vkdl(), Args(out)));
    ASSERT_TRUE(vkdl.WaitFor([&] { return LastPercent(vkdl.Logs()) >= 10; }, 60000)) << vkdl.Logs();
    ASSERT_EQ(std::remove((out + ".vkdt").c_str()), 0);
    if (replaced) std::ofstream(out + ".vkdt", std::ios::binary) << std::string(m_content.size(), 'r');
    ASSERT_TRUE(WaitForExit(vkdl));
    const std::string logs = vkdl.Logs();
    EXPECT_EQ(ExitCodeOf(vkdl.Stop()), 1) << logs;
    EXPECT_NE(logs.find("vkdl: outcome (2, 0)"), std::string::npos) << logs;
    EXPECT_NE(logs.find("vanished or changed size during the download"), std::string::npos) << logs;
    EXPECT_EQ(logs.find("md5 ok"), std::string::npos) << logs;
    EXPECT_FALSE(std::ifstream(out).good());
    EXPECT_FALSE(std::ifstream(out + ".vkdt.vkmt").good());

    const vkqx_test::ProgramResult result = RunToEnd(out);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadAll(out), m_content);
  }
}

TEST_F(VkdlTest, ALeftoverDataFileNeverReplacesACompleteTarget) {
  StartServer(3 << 20);
  const std::string out = m_dir.Sub("out.bin");
  std::ofstream(out, std::ios::binary) << m_content;
  // An interrupted download of another version, of the same size.
  std::ofstream(out + ".vkdt", std::ios::binary) << MakeContent(m_content.size() + 4).substr(4);
  const vkqx_test::ProgramResult result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("vkdl: md5 ok"), std::string::npos) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);
  EXPECT_TRUE(SettledLog().empty());
}

TEST_F(VkdlTest, ATargetThatFailsItsCheckIsMovedAsideAndFetchedAgain) {
  StartServer(3 << 20);
  const std::string out = m_dir.Sub("out.bin");
  const std::string wrong = std::string(m_content.size(), 'w');
  std::ofstream(out, std::ios::binary) << wrong;
  vkqx_test::ProgramResult result = RunToEnd(out);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.err.find("vkdl: md5 mismatch: expected " + Md5Of(m_content) + ", got " + Md5Of(wrong) +
                            "; the file was moved to " + out + ".bad, so the next run downloads it again"),
            std::string::npos)
      << result.err;
  EXPECT_FALSE(std::ifstream(out).good());
  EXPECT_EQ(ReadAll(out + ".bad"), wrong);

  result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);
}

TEST_F(VkdlTest, AServerWhoseFileChangedIsRefusedWithTheReason) {
  StartServer(2 << 20);
  const std::string out = m_dir.Sub("out.bin");
  m_nginx->WriteFile("file.bin", m_content + "a newer, longer version");
  vkqx_test::ProgramResult result = RunToEnd(out);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("vkdl: outcome (3, 809)"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("every source failed, the last with the server's file has another size: it changed "
                            "(engine code 2011)"),
            std::string::npos)
      << result.err;
  for (const NginxAccessEntry& e : SettledLog()) EXPECT_EQ(e.status, 206) << e.request;

  m_nginx->WriteFile("file.bin", m_content);
  result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);
}

TEST_F(VkdlTest, AOneByteFileIsAskedForAsARange) {
  StartServer(1);
  const std::string out = m_dir.Sub("out.bin");
  const vkqx_test::ProgramResult result = RunToEnd(out);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadAll(out), m_content);
  const std::vector<NginxAccessEntry> log = SettledLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].range, "bytes=0-0");
  EXPECT_EQ(log[0].status, 206);
}

TEST_F(VkdlTest, ASecondRunOnTheSameTargetIsRefusedWhileTheFirstLasts) {
  StartServer(16 << 20, "1m");
  const std::string out = m_dir.Sub("out.bin");
  vkqx_test::ServerProcess first("vkdl");
  ASSERT_TRUE(first.Start(Vkdl(), Args(out)));
  ASSERT_TRUE(first.WaitFor([&] { return LastPercent(first.Logs()) >= 1; }, 60000)) << first.Logs();
  vkqx_test::ProgramResult second = RunToEnd(out);
  EXPECT_EQ(second.exitCode, 4);
  EXPECT_NE(second.err.find("vkdl: refused: another vkdl run is downloading " + out), std::string::npos) << second.err;
  ASSERT_TRUE(WaitForExit(first));
  EXPECT_EQ(ExitCodeOf(first.Stop()), 0) << first.Logs();
  EXPECT_EQ(ReadAll(out), m_content);
  second = RunToEnd(out);
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_FALSE(std::ifstream(out + ".vkdt").good());
}

}  // namespace
