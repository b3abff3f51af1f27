// A small skin of the tests' own, written into a temporary folder: one window with a button of
// each kind, an option group, an edit, a progress bar and a tab layout, plus a solid image.
#pragma once

#include <cairo.h>

#include <fstream>
#include <string>

#include "platform/message_loop.h"
#include "tests/support/TempDir.h"
#include "uitoolkit/window/SkinWindow.h"

namespace vkqx_test {

inline constexpr char kProbeXml[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="200,120" caption="0,0,0,20">
  <Font id="0" name="宋体" size="12" default="true"/>
  <Gizmo name="ignored"><Button name="inside_unknown"/></Gizmo>
  <VerticalLayout bkcolor="#FFFFFFFF" sparkle="yes">
    <HorizontalLayout height="20" bkcolor="#FF00396A">
      <Label name="title" text="探针" textcolor="#FFFFFFFF"/>
      <Button name="btn_min" width="20"/>
      <Button name="btn_close" width="20"/>
    </HorizontalLayout>
    <HorizontalLayout height="30">
      <Button name="btn_a" width="50" text="A" normalimage="red.png"/>
      <Button name="btn_off" width="50" text="B" enabled="false"/>
      <Option name="opt_x" width="30" group="g" selected="true"/>
      <Option name="opt_y" width="30" group="g"/>
      <Option name="opt_check" width="40"/>
    </HorizontalLayout>
    <Edit name="edit" height="20"/>
    <Progress name="bar" height="20" bkimage="file='missing.png' dest='0,0,10,10' file='red.png' dest='0,0,100,20'"/>
    <TabLayout name="tabs" selectedid="1">
      <Control name="page0"/>
      <Control name="page1"/>
    </TabLayout>
  </VerticalLayout>
</Window>
)";

// The probe skin in a folder: "Probe.xml" and "red.png" (4 × 4, opaque red).
class ProbeSkinFolder {
 public:
  ProbeSkinFolder() {
    std::ofstream(m_dir.Sub("Probe.xml")) << kProbeXml;
    cairo_surface_t* red = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
    cairo_t* cr = cairo_create(red);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(red, m_dir.Sub("red.png").c_str());
    cairo_surface_destroy(red);
  }
  const std::string& Path() const { return m_dir.path(); }
  std::string Sub(const std::string& name) const { return m_dir.Sub(name); }

 private:
  TempDir m_dir;
};

// Runs the calling thread's queued messages until none is left.
inline void PumpMessages() {
  platform::MSG msg;
  while (platform::PeekMessage(&msg, platform::PM_REMOVE)) {
    if (msg.message == platform::WM_QUIT) {
      platform::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    platform::DispatchMessage(&msg);
  }
}

}  // namespace vkqx_test
