#include "platform/signals.h"

#include <glib-unix.h>
#include <signal.h>

#include "platform/message_queue_impl.h"

namespace platform {

struct TerminationSignalWatch::Source {
  int signalNumber;
  const std::function<void(int)>* handler;
  GSource* source;

  static gboolean Fired(gpointer data) {
    auto* self = static_cast<Source*>(data);
    (*self->handler)(self->signalNumber);
    return G_SOURCE_CONTINUE;
  }

  Source(int number, const std::function<void(int)>* callback, GMainContext* context)
      : signalNumber(number), handler(callback), source(g_unix_signal_source_new(number)) {
    g_source_set_callback(source, &Source::Fired, this, nullptr);
    g_source_attach(source, context);
  }
  ~Source() {
    g_source_destroy(source);
    g_source_unref(source);
  }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
};

TerminationSignalWatch::TerminationSignalWatch(std::function<void(int)> handler)
    : m_handler(std::move(handler)) {
  GMainContext* context = detail::CurrentQueue()->context;
  m_interrupt = std::make_unique<Source>(SIGINT, &m_handler, context);
  m_terminate = std::make_unique<Source>(SIGTERM, &m_handler, context);
}

TerminationSignalWatch::~TerminationSignalWatch() = default;

}  // namespace platform
