#include "tests/support/XvfbServer.h"

#include <cstdlib>
#include <sstream>

namespace vkqx_test {

XvfbServer::XvfbServer() : m_process("Xvfb") {}

XvfbServer::~XvfbServer() {
  m_process.Stop(2000);
  if (m_hadDisplay) ::setenv("DISPLAY", m_previousDisplay.c_str(), 1);
  else ::unsetenv("DISPLAY");
}

bool XvfbServer::Start() {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) return false;
  if (!m_process.Start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}))
    return false;
  // Xvfb writes the number it chose, alone on a line, once it accepts connections.
  const bool up = m_process.WaitFor([this] {
    std::istringstream lines(ReadFileText(m_process.LogPath()));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos && !lines.eof()) {
        m_display = ":" + line;
        return true;
      }
    }
    return false;
  });
  if (!up) return false;
  if (const char* previous = std::getenv("DISPLAY")) {
    m_hadDisplay = true;
    m_previousDisplay = previous;
  }
  ::setenv("DISPLAY", m_display.c_str(), 1);
  return true;
}

ProgramResult Xdotool(const std::vector<std::string>& args, int timeoutMs) {
  return RunProgram(FindProgram("xdotool"), args, timeoutMs);
}

unsigned long WaitForWindow(const std::string& pattern, bool byClass, int timeoutMs) {
  const ProgramResult r = Xdotool({"search", "--sync", "--onlyvisible", byClass ? "--class" : "--name", pattern}, timeoutMs);
  if (r.exitCode != 0) return 0;
  return std::strtoul(r.out.c_str(), nullptr, 10);
}

bool GetWindowGeometry(unsigned long window, WindowGeometry* g) {
  const ProgramResult r = Xdotool({"getwindowgeometry", "--shell", std::to_string(window)});
  if (r.exitCode != 0) return false;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const int value = std::atoi(line.c_str() + eq + 1);
    if (key == "X") g->x = value;
    else if (key == "Y") g->y = value;
    else if (key == "WIDTH") g->width = value;
    else if (key == "HEIGHT") g->height = value;
  }
  return true;
}

bool ClickAt(int x, int y) {
  return Xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}).exitCode == 0;
}

}  // namespace vkqx_test
