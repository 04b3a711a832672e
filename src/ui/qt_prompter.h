#pragma once
// Message boxes of the desktop program: a Prompter that shows a QMessageBox on the user interface
// thread. A worker thread's question is carried over by a blocking queued call; the user
// interface thread asks directly.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

class QMessageBox;

#include "platform/cancel_token.h"
#include "platform/prompter.h"

namespace tonalda::ui {

class QtPrompter final : public QObject, public Prompter {
    Q_OBJECT

  public:
    // Boxes are centred over `parent` (which may be null or go away before a question).
    explicit QtPrompter(QWidget* parent = nullptr);
    void setParentWindow(QWidget* parent) { parent_ = parent; }

    PromptAnswer ask(const Prompt& prompt) override;
    // A job's question: the box closes with Cancel as soon as the job is stopped, so a worker
    // waiting on it is released.
    PromptAnswer ask(const Prompt& prompt, const CancelToken& cancel) override;

    // The box that shows the prompt (also for pictures of the boxes).
    static std::unique_ptr<QMessageBox> makeBox(const Prompt& prompt, QWidget* parent);

    // The caption of a box whose prompt names none.
    static constexpr const char* kDefaultCaption = "Tonalda";

  private:
    PromptAnswer askHere(const Prompt& prompt, const CancelToken& cancel);

    QPointer<QWidget> parent_;
};

}  // namespace tonalda::ui
