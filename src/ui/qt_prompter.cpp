#include "ui/qt_prompter.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

namespace tonalda::ui {

namespace {

QMessageBox::StandardButtons standardButtons(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
            return QMessageBox::Ok;
        case PromptButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case PromptButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case PromptButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon boxIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::None:
            return QMessageBox::NoIcon;
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// Closing a box with Escape or the window's close button answers like its last button: Cancel,
// No, or OK for a box that has only OK.
PromptAnswer answerOf(int button, PromptButtons buttons) {
    switch (button) {
        case QMessageBox::Ok:
            return PromptAnswer::Ok;
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        case QMessageBox::Cancel:
            return PromptAnswer::Cancel;
    }
    switch (buttons) {
        case PromptButtons::Ok:
            return PromptAnswer::Ok;
        case PromptButtons::YesNo:
            return PromptAnswer::No;
        default:
            return PromptAnswer::Cancel;
    }
}

}  // namespace

QtPrompter::QtPrompter(QWidget* parent) : parent_(parent) {}

PromptAnswer QtPrompter::ask(const Prompt& prompt) {
    if (QThread::currentThread() == thread())
        return askHere(prompt);
    PromptAnswer answer = PromptAnswer::Cancel;
    QMetaObject::invokeMethod(
        this, [this, &prompt, &answer] { answer = askHere(prompt); }, Qt::BlockingQueuedConnection);
    return answer;
}

PromptAnswer QtPrompter::askHere(const Prompt& prompt) {
    QMessageBox box(
        boxIcon(prompt.icon),
        QString::fromStdString(prompt.caption.empty() ? kDefaultCaption : prompt.caption),
        QString::fromStdString(prompt.text), standardButtons(prompt.buttons), parent_.data());
    box.setTextFormat(Qt::PlainText);
    return answerOf(box.exec(), prompt.buttons);
}

}  // namespace tonalda::ui
