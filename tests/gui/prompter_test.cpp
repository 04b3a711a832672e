// Message boxes: a worker's question waits for the box on the user interface thread and gets the
// button the user chose; closing a box with Escape answers like its last button.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "gui_test_support.h"
#include "ui/qt_prompter.h"

namespace tonalda::test {

namespace {

// Answers the next message box from inside its own event loop (a box runs modally, so only a
// timer of the interface thread reaches it) and keeps its text.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(std::function<void(QMessageBox&)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            timer_.stop();
            text = box->text();
            act_(*box);
        });
        timer_.start(20);
    }
    QString text;

  private:
    QTimer timer_;
    std::function<void(QMessageBox&)> act_;
};

// Asks from a worker thread while the interface thread goes on handling events; the answer, or
// nothing when none came in time.
std::optional<PromptAnswer> askFromWorker(const std::function<PromptAnswer()>& ask) {
    std::promise<PromptAnswer> answer;
    std::future<PromptAnswer> answered = answer.get_future();
    std::thread worker([&] { answer.set_value(ask()); });
    const bool done = QTest::qWaitFor(
        [&] { return answered.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    worker.join();
    return done ? std::optional(answered.get()) : std::nullopt;
}

}  // namespace

class PrompterTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void aWorkersQuestionIsAnsweredOnTheInterfaceThread() {
        ui::QtPrompter prompter;
        std::thread::id askedOn;
        BoxAnswerer answerer([&](QMessageBox& box) {
            askedOn = std::this_thread::get_id();
            box.button(QMessageBox::No)->click();
        });
        const std::optional<PromptAnswer> answer = askFromWorker([&] {
            return prompter.ask({"Would you like to stop ripping?",
                                 {},
                                 PromptButtons::YesNoCancel,
                                 PromptIcon::Question});
        });
        QCOMPARE(answer, std::optional(PromptAnswer::No));
        QCOMPARE(answerer.text, QStringLiteral("Would you like to stop ripping?"));
        QCOMPARE(askedOn, std::this_thread::get_id());
    }

    void aStoppedJobsQuestionClosesWithCancel() {
        ui::QtPrompter prompter;
        CancelToken cancel;
        bool shown = false;
        // The box is up; the job is stopped (as the view's Cancel or the program's exit does).
        BoxAnswerer stopper([&](QMessageBox&) {
            shown = true;
            cancel.requestStop();
        });
        const std::optional<PromptAnswer> answer = askFromWorker([&] {
            return prompter.ask({"Error at 00:12:34", {}, PromptButtons::Ok}, cancel);
        });
        QCOMPARE(answer, std::optional(PromptAnswer::Cancel));
        QVERIFY(shown);
        // A job already stopped is not asked at all.
        QCOMPARE(prompter.ask({"Error at 00:12:34", {}, PromptButtons::Ok}, cancel),
                 PromptAnswer::Cancel);
    }

    void escapeAnswersLikeTheLastButton() {
        ui::QtPrompter prompter;
        for (const auto& [buttons, expected] :
             {std::pair{PromptButtons::OkCancel, PromptAnswer::Cancel},
              std::pair{PromptButtons::Ok, PromptAnswer::Ok}}) {
            BoxAnswerer escape([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
            QCOMPARE(prompter.ask({"Audio playing will be stopped!", {}, buttons}), expected);
            QCOMPARE(escape.text, QStringLiteral("Audio playing will be stopped!"));
        }
    }
};

const GuiTestRegistration<PrompterTest> kPrompter;

}  // namespace tonalda::test

#include "prompter_test.moc"
