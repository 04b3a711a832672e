#pragma once
// The GUI thread's receiver of job events: owns the JobEventQueue that the views' jobs post to and
// hands each event on as a signal on the GUI thread, in the order the jobs posted them. Workers
// never wait for it: a post only queues the event and, when the queue was drained, asks the event
// loop to deliver.
//
// Stopping a job from the GUI: call the job's requestStop() and return to the event loop; destroy
// the job (reset its owner or deleteLater) in the handler of that run's JobFinished, never by
// waiting for the worker here.

#include <QObject>

#include "platform/job_event_queue.h"
#include "platform/job_events.h"

namespace tonalda::ui {

class JobEventBridge final : public QObject {
    Q_OBJECT

  public:
    // The constructing thread (the GUI thread) is the receiver.
    explicit JobEventBridge(QObject* parent = nullptr);

    // What jobs are given as their receiver.
    JobEventQueue& queue() { return queue_; }

    // Hands on every queued event now. Normally the event loop does this by itself; a handler
    // that wants the events so far before it goes on may call it. Thread: the GUI thread.
    void deliver();

  Q_SIGNALS:
    void jobEvent(const tonalda::JobNotice& notice);

  private:
    JobEventQueue queue_;
};

}  // namespace tonalda::ui
