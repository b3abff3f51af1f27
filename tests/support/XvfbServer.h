// An X server of the test's own on a display number Xvfb picks free (-displayfd), and xdotool
// driven against it. Start() also points DISPLAY at it for the test process and its children.
#pragma once

#include <string>
#include <vector>

#include "tests/support/ServerProcess.h"

namespace vkqx_test {

class XvfbServer {
 public:
  XvfbServer();
  ~XvfbServer();

  // False when Xvfb is missing or did not come up.
  bool Start();
  const std::string& Display() const { return m_display; }

 private:
  ServerProcess m_process;
  std::string m_display;
  std::string m_previousDisplay;
  bool m_hadDisplay = false;
};

// Runs xdotool with the arguments; its output, or nullopt-like empty with ok=false on failure.
ProgramResult Xdotool(const std::vector<std::string>& args, int timeoutMs = 20000);

// The first visible window whose name matches `pattern`, waiting for it to appear; 0 on time-out.
unsigned long WaitForWindow(const std::string& pattern, bool byClass = false, int timeoutMs = 20000);

struct WindowGeometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};
bool GetWindowGeometry(unsigned long window, WindowGeometry* geometry);

// Moves the pointer to the screen point and clicks the left button there.
bool ClickAt(int x, int y);

}  // namespace vkqx_test
