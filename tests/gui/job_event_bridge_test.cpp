// The GUI's receiver of job events: a worker's posts never wait for the GUI thread, and the
// events arrive as signals on the GUI thread, in order, with a row's older progress replaced.

#include <QTest>
#include <thread>
#include <vector>

#include "gui_test_support.h"
#include "ui/job_event_bridge.h"

namespace tonalda::test {

class JobEventBridgeTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void aWorkersEventsArriveInOrderOnTheGuiThread() {
        ui::JobEventBridge bridge;
        std::vector<JobNotice> received;
        std::vector<std::thread::id> threads;
        connect(&bridge, &ui::JobEventBridge::jobEvent, this, [&](const JobNotice& notice) {
            received.push_back(notice);
            threads.push_back(std::this_thread::get_id());
        });
        const JobId job = nextJobId();
        // The GUI thread does not run its event loop while the worker posts: the worker goes on.
        std::thread worker([&] {
            JobEventQueue& queue = bridge.queue();
            queue.post(job, JobStarted{});
            queue.post(job, RowStatusChanged{0, RowStatus::Extracting});
            for (int step = 1; step <= 1000; ++step)
                queue.post(job, RowProgress{0, RowActivity::Extracting, step});
            queue.post(job, RowStatusChanged{0, RowStatus::Extracted});
            queue.post(job, JobFinished{JobOutcome::Finished});
        });
        worker.join();
        QVERIFY(received.empty());

        QTRY_COMPARE(received.size(), std::size_t{5});
        const std::vector<JobNotice> expected = {
            {job, JobStarted{}},
            {job, RowStatusChanged{0, RowStatus::Extracting}},
            {job, RowProgress{0, RowActivity::Extracting, 1000}},
            {job, RowStatusChanged{0, RowStatus::Extracted}},
            {job, JobFinished{JobOutcome::Finished}},
        };
        QVERIFY(received == expected);
        for (const std::thread::id id : threads)
            QCOMPARE(id, std::this_thread::get_id());
    }
};

const GuiTestRegistration<JobEventBridgeTest> kJobEventBridge;

}  // namespace tonalda::test

#include "job_event_bridge_test.moc"
