#include "AlsaObserver.h"

#include <poll.h>

#include <cerrno>

std::unique_ptr<AlsaObserver> AlsaObserver::Open() {
  Sequencer seq = OpenSequencer(kWatcherName);
  if (!seq) return nullptr;
  return std::unique_ptr<AlsaObserver>(new AlsaObserver(std::move(seq)));
}

void AlsaObserver::Watch(std::function<void()> changed) {
  changed_ = std::move(changed);
  if (!notifiers_.empty()) return;
  const int port = snd_seq_create_simple_port(seq_.get(), "announcements",
                                              SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                              SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) return;
  if (snd_seq_connect_from(seq_.get(), port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
    return;
  }
  const int count = snd_seq_poll_descriptors_count(seq_.get(), POLLIN);
  std::vector<pollfd> descriptors(static_cast<size_t>(count > 0 ? count : 0));
  const int filled = snd_seq_poll_descriptors(seq_.get(), descriptors.data(),
                                              static_cast<unsigned>(descriptors.size()), POLLIN);
  for (int i = 0; i < filled; ++i) {
    auto notifier = std::make_unique<QSocketNotifier>(descriptors[static_cast<size_t>(i)].fd,
                                                      QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { ReadAnnouncements(); });
    notifiers_.push_back(std::move(notifier));
  }
}

void AlsaObserver::ReadAnnouncements() {
  bool changed = false;
  for (;;) {
    snd_seq_event_t* event = nullptr;
    const int result = snd_seq_event_input(seq_.get(), &event);
    if (result == -ENOSPC) {  // some were lost: whatever they said, look again
      changed = true;
      continue;
    }
    if (result < 0 || event == nullptr) break;  // -EAGAIN: none left
    switch (event->type) {
      case SND_SEQ_EVENT_CLIENT_START:
      case SND_SEQ_EVENT_CLIENT_EXIT:
      case SND_SEQ_EVENT_CLIENT_CHANGE:
      case SND_SEQ_EVENT_PORT_START:
      case SND_SEQ_EVENT_PORT_EXIT:
      case SND_SEQ_EVENT_PORT_CHANGE:
        changed = true;
        break;
      default:
        break;
    }
  }
  if (changed && changed_) changed_();  // last: it may close connections
}
