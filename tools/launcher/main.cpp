// VelkorLauncher.exe: the stand-in for the game platform's launcher that the installer starts once
// the package is installed. It appends one line to "launcher_args.txt" beside itself for every
// start: its arguments (after the program name) joined by single spaces, an argument that is empty
// or holds a blank, a tab or a quote written in quotes with inner quotes and backslashes escaped.
//
// It accepts what the installer passes, `-i "<game id>" -d`; anything else is recorded as well,
// then refused with a message on standard error and exit code 2.
//
// For tests it can stay running after it has recorded: for VKQX_LAUNCHER_STAY_MS milliseconds, or,
// when that is unset, for the number of milliseconds written in "launcher_stay_ms.txt" beside it
// (at most ten minutes either way).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordName = "launcher_args.txt";
constexpr const char* kStayFileName = "launcher_stay_ms.txt";
constexpr long kMaxStayMs = 600000;

fs::path OwnDirectory() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  for (char c : arg) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool AppendRecord(const fs::path& dir, int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " " : "") + Quoted(argv[i]);
  std::ofstream out(dir / kRecordName, std::ios::app | std::ios::binary);
  out << line << '\n';
  out.close();
  return static_cast<bool>(out);
}

// A decimal number of milliseconds, or -1 when the text is none.
long ParseMs(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end == text.c_str()) return -1;
  return std::clamp(value, 0L, kMaxStayMs);
}

long StayMs(const fs::path& dir) {
  if (const char* env = std::getenv("VKQX_LAUNCHER_STAY_MS"); env != nullptr && *env != '\0') return ParseMs(env);
  std::ifstream in(dir / kStayFileName);
  std::string text;
  if (in >> text) return ParseMs(text);
  return 0;
}

// What "%d" of a 32-bit game id can produce.
bool IsDecimal(const std::string& text) {
  const std::string digits = !text.empty() && text[0] == '-' ? text.substr(1) : text;
  return !digits.empty() && digits.size() <= 10 &&
         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Empty when the arguments are what the launcher understands, else the complaint.
std::string CheckArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-d") continue;
    if (arg == "-i") {
      if (i + 1 >= argc) return "-i needs a game id";
      if (!IsDecimal(argv[i + 1])) return "game id \"" + std::string(argv[i + 1]) + "\" is not a number";
      ++i;
      continue;
    }
    return "unknown argument \"" + arg + "\"";
  }
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = OwnDirectory();
  if (dir.empty() || !AppendRecord(dir, argc, argv)) {
    std::cerr << "VelkorLauncher: cannot record the start in " << (dir / kRecordName) << "\n";
    return 1;
  }
  const std::string complaint = CheckArguments(argc, argv);
  if (!complaint.empty()) {
    std::cerr << "VelkorLauncher: " << complaint << "\nusage: VelkorLauncher.exe [-i \"<game id>\"] [-d]\n";
    return 2;
  }
  if (const long stay = StayMs(dir); stay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stay));
  return 0;
}
