#include "ui/qt_prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include "ui/skin.h"

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

// The skin's picture for a box icon; none for a box without one.
const char* iconPicture(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information:
            return "message_information";
        case PromptIcon::Warning:
            return "message_warning";
        case PromptIcon::Error:
            return "message_error";
        case PromptIcon::Question:
            return "message_question";
        case PromptIcon::None:
            break;
    }
    return nullptr;
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
    return ask(prompt, neverCancelled());
}

PromptAnswer QtPrompter::ask(const Prompt& prompt, const CancelToken& cancel) {
    if (QThread::currentThread() == thread())
        return askHere(prompt, cancel);
    PromptAnswer answer = PromptAnswer::Cancel;
    QMetaObject::invokeMethod(
        this, [this, &prompt, &cancel, &answer] { answer = askHere(prompt, cancel); },
        Qt::BlockingQueuedConnection);
    return answer;
}

std::unique_ptr<QMessageBox> QtPrompter::makeBox(const Prompt& prompt, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(
        boxIcon(prompt.icon),
        QString::fromStdString(prompt.caption.empty() ? kDefaultCaption : prompt.caption),
        QString::fromStdString(prompt.text), standardButtons(prompt.buttons), parent);
    box->setTextFormat(Qt::PlainText);
    // The skin's icons rather than the style's, drawn for the screen the box opens on.
    if (const char* picture = iconPicture(prompt.icon)) {
        const qreal dpr = parent ? parent->devicePixelRatioF() : qApp->devicePixelRatio();
        box->setIconPixmap(Skin::pixmap(QString::fromLatin1(picture), {32, 32}, dpr));
    }
    return box;
}

PromptAnswer QtPrompter::askHere(const Prompt& prompt, const CancelToken& cancel) {
    const std::unique_ptr<QMessageBox> box = makeBox(prompt, parent_.data());
    if (&cancel == &neverCancelled())
        return answerOf(box->exec(), prompt.buttons);
    // The token has no signal: look at it while the box is open.
    constexpr int kStoppedByJob = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, box.get(), [&] {
        if (cancel.stopRequested())
            box->done(kStoppedByJob);
    });
    watch.start(50);
    const int button = cancel.stopRequested() ? kStoppedByJob : box->exec();
    return button == kStoppedByJob ? PromptAnswer::Cancel : answerOf(button, prompt.buttons);
}

}  // namespace tonalda::ui
