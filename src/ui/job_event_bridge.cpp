#include "ui/job_event_bridge.h"

#include <QMetaObject>

namespace tonalda::ui {

JobEventBridge::JobEventBridge(QObject* parent)
    : QObject(parent), queue_([this] {
          // On the posting worker's thread: only schedule the delivery on the GUI thread.
          QMetaObject::invokeMethod(
              this, [this] { deliver(); }, Qt::QueuedConnection);
      }) {}

void JobEventBridge::deliver() {
    for (const JobNotice& notice : queue_.drain())
        Q_EMIT jobEvent(notice);
}

}  // namespace tonalda::ui
