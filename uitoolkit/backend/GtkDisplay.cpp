// The GTK 3 back end: one undecorated top-level per shown window, painted by the window's own
// painting; RGBA with the drop shadow and rounded corners where a compositor runs, a plain
// rectangle otherwise. The caption is dragged by moving the window ourselves, so dragging works
// without a window manager too. Edits get a native GtkEntry over their rectangle.
#include <gtk/gtk.h>

#include <cstdlib>
#include <map>

#include "commonlib/logger/Log.h"
#include "platform/drives.h"
#include "platform/message_loop.h"
#include "platform/window.h"
#include "platform/text.h"
#include "uitoolkit/backend/Display.h"
#include "uitoolkit/controls/Edit.h"
#include "uitoolkit/paint/Fonts.h"
#include "uitoolkit/paint/Painter.h"
#include "uitoolkit/skin/ImageDescription.h"
#include "uitoolkit/skin/SkinArchive.h"
#include "uitoolkit/skin/SkinLoader.h"
#include "uitoolkit/window/Messages.h"

namespace ui {
namespace {

DisplayMode g_mode = DisplayMode::kAuto;
int g_displayState = -1;  // -1 not tried yet, 0 none, 1 open

std::string Utf8(const std::wstring& text) { return platform::WideToUtf8(text); }

// GDK keys that the windows' default handling knows, as virtual keys.
unsigned VirtualKeyOf(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Escape: return VK_ESCAPE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: return VK_RETURN;
    case GDK_KEY_BackSpace: return VK_BACK;
    case GDK_KEY_Tab: return VK_TAB;
    case GDK_KEY_space: return VK_SPACE;
    default: return 0;
  }
}

class GtkSurface : public Surface {
 public:
  GtkSurface(SurfaceClient* client, const WindowDesc& desc, SkinArchive* skin, const std::wstring& title)
      : m_client(client), m_skin(skin), m_size(desc.size), m_round(desc.roundCorner) {
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(m_window);
    gtk_window_set_title(GTK_WINDOW(m_window), Utf8(title).c_str());
    gtk_window_set_decorated(GTK_WINDOW(m_window), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
    gtk_widget_set_app_paintable(m_window, TRUE);

    GdkScreen* screen = gtk_widget_get_screen(m_window);
    GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
    if (rgba && gdk_screen_is_composited(screen)) {
      gtk_widget_set_visual(m_window, rgba);
      m_composited = true;
      if (!desc.shadowImage.empty()) {
        m_shadow.file = desc.shadowImage;
        m_shadow.corner = desc.shadowCorner;
        m_margin = desc.shadowCorner;
      }
    }
    const int width = m_size.cx + m_margin.left + m_margin.right;
    const int height = m_size.cy + m_margin.top + m_margin.bottom;
    gtk_window_set_default_size(GTK_WINDOW(m_window), width, height);

    m_fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(m_window), m_fixed);
    m_area = gtk_drawing_area_new();
    gtk_widget_set_size_request(m_area, width, height);
    gtk_widget_add_events(m_area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                      GDK_LEAVE_NOTIFY_MASK);
    gtk_widget_set_can_focus(m_area, TRUE);
    gtk_fixed_put(GTK_FIXED(m_fixed), m_area, 0, 0);
    g_signal_connect(m_area, "draw", G_CALLBACK(&GtkSurface::OnDraw), this);
    g_signal_connect(m_area, "motion-notify-event", G_CALLBACK(&GtkSurface::OnMotion), this);
    g_signal_connect(m_area, "button-press-event", G_CALLBACK(&GtkSurface::OnPress), this);
    g_signal_connect(m_area, "button-release-event", G_CALLBACK(&GtkSurface::OnRelease), this);
    g_signal_connect(m_area, "leave-notify-event", G_CALLBACK(&GtkSurface::OnLeave), this);
    g_signal_connect(m_window, "key-press-event", G_CALLBACK(&GtkSurface::OnKey), this);
    g_signal_connect(m_window, "delete-event", G_CALLBACK(&GtkSurface::OnDelete), this);
    g_signal_connect(m_window, "configure-event", G_CALLBACK(&GtkSurface::OnConfigure), this);
    gtk_widget_show_all(m_fixed);
  }

  ~GtkSurface() override {
    for (auto& [edit, entry] : m_entries) g_signal_handlers_disconnect_by_data(entry, this);
    g_signal_handlers_disconnect_by_data(m_area, this);
    g_signal_handlers_disconnect_by_data(m_window, this);
    gtk_widget_destroy(m_window);
    g_object_unref(m_window);
  }

  void Show(bool activate) override {
    gtk_window_set_accept_focus(GTK_WINDOW(m_window), activate);
    gtk_widget_show(m_window);
    if (activate) gtk_window_present(GTK_WINDOW(m_window));
  }
  void Hide() override { gtk_widget_hide(m_window); }
  void Move(int x, int y) override { gtk_window_move(GTK_WINDOW(m_window), x - m_margin.left, y - m_margin.top); }
  void Invalidate(const Rect& r) override {
    gtk_widget_queue_draw_area(m_area, r.left + m_margin.left, r.top + m_margin.top, r.Width(), r.Height());
  }
  void SetModal(Surface* owner, bool modal) override {
    if (auto* o = static_cast<GtkSurface*>(owner)) gtk_window_set_transient_for(GTK_WINDOW(m_window), GTK_WINDOW(o->m_window));
    gtk_window_set_modal(GTK_WINDOW(m_window), modal);
  }
  void Minimize() override { gtk_window_iconify(GTK_WINDOW(m_window)); }
  void Maximize() override { gtk_window_maximize(GTK_WINDOW(m_window)); }
  void Restore() override {
    gtk_window_unmaximize(GTK_WINDOW(m_window));
    gtk_window_deiconify(GTK_WINDOW(m_window));
  }
  void Focus() override { gtk_window_present(GTK_WINDOW(m_window)); }
  void SetToolTip(const std::wstring& text) override {
    gtk_widget_set_tooltip_text(m_area, text.empty() ? nullptr : Utf8(text).c_str());
  }

  void SyncEdits(const std::vector<Edit*>& edits) override {
    for (Edit* edit : edits) {
      GtkWidget* entry = EntryFor(edit);
      const Rect r = edit->GetPos().Deflate(edit->Inset());
      if (!edit->IsShown() || r.IsEmpty()) {
        gtk_widget_hide(entry);
        edit->SetNativelyShown(false);
        continue;
      }
      gtk_fixed_move(GTK_FIXED(m_fixed), entry, r.left + m_margin.left, r.top + m_margin.top);
      gtk_widget_set_size_request(entry, r.Width(), r.Height());
      gtk_widget_set_sensitive(entry, edit->IsEnabled());
      gtk_editable_set_editable(GTK_EDITABLE(entry), !edit->IsReadOnly());
      gtk_widget_show(entry);
      edit->SetNativelyShown(true);
    }
  }

  void SetEditText(Edit* edit) override {
    auto it = m_entries.find(edit);
    if (it == m_entries.end()) return;
    m_settingText = true;
    gtk_entry_set_text(GTK_ENTRY(it->second), Utf8(edit->GetText()).c_str());
    m_settingText = false;
  }

 private:
  GtkWidget* EntryFor(Edit* edit) {
    auto it = m_entries.find(edit);
    if (it != m_entries.end()) return it->second;
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_has_frame(GTK_ENTRY(entry), FALSE);
    gtk_entry_set_max_length(GTK_ENTRY(entry), edit->MaxChars());
    gtk_widget_set_name(entry, "vkqx-edit");
    // Transparent over the edit's own image, in the skin's default font and the edit's colour.
    const Color color = edit->GetTextColor() ? edit->GetTextColor() : 0xFF000000u;
    char css[512];
    std::snprintf(css, sizeof css,
                  "entry { background: transparent; border: none; box-shadow: none; outline: none; "
                  "padding: 0 2px; min-height: 0; font-family: \"Noto Sans CJK SC\"; font-size: 12px; "
                  "color: #%06X; }",
                  color & 0xFFFFFFu);
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css, -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(entry), GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
    m_settingText = true;
    gtk_entry_set_text(GTK_ENTRY(entry), Utf8(edit->GetText()).c_str());
    m_settingText = false;
    g_object_set_data(G_OBJECT(entry), "vkqx-edit", edit);
    g_signal_connect(entry, "changed", G_CALLBACK(&GtkSurface::OnEntryChanged), this);
    gtk_fixed_put(GTK_FIXED(m_fixed), entry, 0, 0);
    m_entries.emplace(edit, entry);
    return entry;
  }

  static void OnEntryChanged(GtkEditable* editable, GtkSurface* self) {
    if (self->m_settingText) return;
    auto* edit = static_cast<Edit*>(g_object_get_data(G_OBJECT(editable), "vkqx-edit"));
    const char* text = gtk_entry_get_text(GTK_ENTRY(editable));
    self->m_client->SurfaceEditChanged(edit, platform::Utf8ToWide(text ? text : ""));
  }

  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, GtkSurface* self) {
    const int scale = gtk_widget_get_scale_factor(widget);
    if (self->m_composited) {
      cairo_save(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
      cairo_set_source_rgba(cr, 0, 0, 0, 0);
      cairo_paint(cr);
      cairo_restore(cr);
      if (!self->m_shadow.file.empty() && self->m_skin) {
        if (cairo_surface_t* image = self->m_skin->Images().Get(self->m_shadow.file, scale)) {
          (void)image;
          Painter painter(cr, &self->m_skin->Images(), nullptr, scale);
          const Rect all{0, 0, self->m_size.cx + self->m_margin.left + self->m_margin.right,
                         self->m_size.cy + self->m_margin.top + self->m_margin.bottom};
          ImageLayer shadow = self->m_shadow;
          shadow.hole = true;
          painter.DrawLayer(shadow, all);
        }
      }
    }
    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    if (!self->m_composited) {
      // Nothing shows through an opaque window: translucent skin colours blend with white.
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_paint(cr);
    }
    cairo_save(cr);
    cairo_translate(cr, self->m_margin.left, self->m_margin.top);
    if (self->m_composited && (self->m_round.cx > 0 || self->m_round.cy > 0)) RoundedClip(cr, self->m_size, self->m_round);
    const Rect clip{static_cast<int>(x1) - self->m_margin.left, static_cast<int>(y1) - self->m_margin.top,
                    static_cast<int>(x2 + 0.999) - self->m_margin.left, static_cast<int>(y2 + 0.999) - self->m_margin.top};
    self->m_client->PaintSurface(cr, clip, scale);
    cairo_restore(cr);
    return TRUE;
  }

  static void RoundedClip(cairo_t* cr, Size size, Size round) {
    const double rx = round.cx, ry = std::max(1, round.cy);
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, 0, 0);
    cairo_scale(cr, 1.0, ry / std::max(1.0, rx));
    const double r = std::max(1.0, rx);
    const double h = size.cy * rx / ry;
    cairo_arc(cr, size.cx - r, r, r, -G_PI / 2, 0);
    cairo_arc(cr, size.cx - r, h - r, r, 0, G_PI / 2);
    cairo_arc(cr, r, h - r, r, G_PI / 2, G_PI);
    cairo_arc(cr, r, r, r, G_PI, 3 * G_PI / 2);
    cairo_close_path(cr);
    cairo_restore(cr);
    cairo_clip(cr);
  }

  LPARAM PointOf(double x, double y) const {
    return MakePointParam(static_cast<int>(x) - m_margin.left, static_cast<int>(y) - m_margin.top);
  }

  static gboolean OnMotion(GtkWidget*, GdkEventMotion* event, GtkSurface* self) {
    if (self->m_dragging) {
      const int x = self->m_dragWindowX + static_cast<int>(event->x_root) - self->m_dragRootX;
      const int y = self->m_dragWindowY + static_cast<int>(event->y_root) - self->m_dragRootY;
      gtk_window_move(GTK_WINDOW(self->m_window), x, y);
      self->m_client->SurfaceMoved(x + self->m_margin.left, y + self->m_margin.top);
      return TRUE;
    }
    self->m_client->SurfaceInput(WM_MOUSEMOVE, 0, self->PointOf(event->x, event->y));
    return TRUE;
  }

  static gboolean OnPress(GtkWidget* widget, GdkEventButton* event, GtkSurface* self) {
    if (event->button != 1 || event->type != GDK_BUTTON_PRESS) return FALSE;
    gtk_widget_grab_focus(widget);
    const LPARAM point = self->PointOf(event->x, event->y);
    if (self->m_client->IsCaptionAt(PointX(point), PointY(point))) {
      self->m_dragging = true;
      self->m_dragRootX = static_cast<int>(event->x_root);
      self->m_dragRootY = static_cast<int>(event->y_root);
      gtk_window_get_position(GTK_WINDOW(self->m_window), &self->m_dragWindowX, &self->m_dragWindowY);
      return TRUE;
    }
    self->m_client->SurfaceInput(WM_LBUTTONDOWN, 1, point);
    return TRUE;
  }

  static gboolean OnRelease(GtkWidget*, GdkEventButton* event, GtkSurface* self) {
    if (event->button != 1) return FALSE;
    if (self->m_dragging) {
      self->m_dragging = false;
      return TRUE;
    }
    self->m_client->SurfaceInput(WM_LBUTTONUP, 0, self->PointOf(event->x, event->y));
    return TRUE;
  }

  static gboolean OnLeave(GtkWidget*, GdkEventCrossing* event, GtkSurface* self) {
    if (event->mode == GDK_CROSSING_NORMAL) self->m_client->SurfaceInput(WM_MOUSELEAVE, 0, 0);
    return FALSE;
  }

  static gboolean OnKey(GtkWidget* window, GdkEventKey* event, GtkSurface* self) {
    const unsigned vk = VirtualKeyOf(event->keyval);
    const bool entryFocused = GTK_IS_ENTRY(gtk_window_get_focus(GTK_WINDOW(window)));
    if (vk == VK_ESCAPE || vk == VK_RETURN) {
      self->m_client->SurfaceInput(WM_KEYDOWN, vk, 0);
      return TRUE;
    }
    if (entryFocused) return FALSE;  // the entry edits, with its input method
    if (vk) self->m_client->SurfaceInput(WM_KEYDOWN, vk, 0);
    const guint32 c = gdk_keyval_to_unicode(event->keyval);
    if (c >= 0x20) self->m_client->SurfaceInput(WM_CHAR, c, 0);
    return TRUE;
  }

  static gboolean OnDelete(GtkWidget*, GdkEvent*, GtkSurface* self) {
    self->m_client->SurfaceInput(WM_SYSCOMMAND, SC_CLOSE, 0);
    return TRUE;
  }

  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, GtkSurface* self) {
    if (!self->m_dragging) self->m_client->SurfaceMoved(event->x + self->m_margin.left, event->y + self->m_margin.top);
    return FALSE;
  }

  SurfaceClient* m_client;
  SkinArchive* m_skin;
  Size m_size;
  Size m_round;
  Rect m_margin;  // the shadow's reach around the content, composited only
  ImageLayer m_shadow;
  bool m_composited = false;
  GtkWidget* m_window = nullptr;
  GtkWidget* m_fixed = nullptr;
  GtkWidget* m_area = nullptr;
  std::map<Edit*, GtkWidget*> m_entries;
  bool m_settingText = false;
  bool m_dragging = false;
  int m_dragRootX = 0, m_dragRootY = 0, m_dragWindowX = 0, m_dragWindowY = 0;
};

}  // namespace

void SetDisplayMode(DisplayMode mode) { g_mode = mode; }
DisplayMode GetDisplayMode() { return g_mode; }

bool DisplayAvailable() {
  if (g_mode == DisplayMode::kHeadless) return false;
  int& state = g_displayState;
  if (state < 0) {
    EnsureFontAliases();
    // Nothing here draws with OpenGL; without this GDK loads the GL stack (tens of megabytes and
    // a good share of the start-up time) only to pick visuals.
    g_setenv("GDK_GL", "disable", FALSE);
    // The windows are drawn by us, so the accessibility bridge would have nothing to tell; it
    // only costs a D-Bus round trip at start.
    g_setenv("NO_AT_BRIDGE", "1", FALSE);
    state = gtk_init_check(nullptr, nullptr) ? 1 : 0;
    if (!state) LOGW(L"DisplayAvailable() 无法打开显示");
  }
  return state == 1;
}

std::unique_ptr<Surface> CreateSurface(SurfaceClient* client, const WindowDesc& window, SkinArchive* skin,
                                       const std::wstring& title) {
  if (!DisplayAvailable()) return nullptr;
  return std::make_unique<GtkSurface>(client, window, skin, title);
}

Rect WorkArea() {
  // Asking for the work area never opens the display: a hidden window is centred too.
  if (g_displayState != 1) return Rect{0, 0, 1920, 1080};
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return Rect{0, 0, 1920, 1080};
  GdkRectangle r;
  gdk_monitor_get_workarea(monitor, &r);
  return Rect{r.x, r.y, r.x + r.width, r.y + r.height};
}

std::wstring BrowseForFolder(Surface* owner, const std::wstring& title, const std::wstring& initialPath) {
  if (!DisplayAvailable()) return {};
  GtkWidget* dialog = gtk_file_chooser_dialog_new(Utf8(title).c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                                  "取消", GTK_RESPONSE_CANCEL, "选择", GTK_RESPONSE_ACCEPT, nullptr);
  (void)owner;
  if (auto host = platform::ToHostPath(initialPath)) {
    std::string dir = *host;
    while (!dir.empty() && !g_file_test(dir.c_str(), G_FILE_TEST_IS_DIR)) {
      const size_t slash = dir.rfind('/');
      dir = slash == std::string::npos || slash == 0 ? std::string() : dir.substr(0, slash);
    }
    if (!dir.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), dir.c_str());
  }
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  // The chooser runs on the thread's message loop, so the windows' timers keep running under it.
  int response = GTK_RESPONSE_NONE;
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, int id, int* out) {
                     *out = id;
                     platform::PostMessage(nullptr, platform::WM_NULL, 0, 0);  // wakes the loop to look
                   }), &response);
  gtk_widget_show(dialog);
  platform::RunNestedMessageLoop([&response] { return response != GTK_RESPONSE_NONE; });
  std::wstring chosen;
  if (response == GTK_RESPONSE_ACCEPT) {
    if (char* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
      chosen = platform::ToDrivePath(folder);
      g_free(folder);
    }
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

bool OpenUrl(const std::wstring& url) {
  GError* error = nullptr;
  if (g_app_info_launch_default_for_uri(Utf8(url).c_str(), nullptr, &error)) return true;
  LOGW(L"OpenUrl() 无法打开 %s: %s", url.c_str(), platform::Utf8ToWide(error ? error->message : "").c_str());
  if (error) g_error_free(error);
  return false;
}

}  // namespace ui
