// The skinned controls: where a click puts the slider's thumb and what it reports around the
// jump; when the progress bar paints and how its text changes colour where the bar ends.

#include <QEvent>
#include <QSignalSpy>
#include <QTest>

#include "gui_test_support.h"
#include "ui/jump_slider.h"
#include "ui/skin.h"
#include "ui/text_progress_bar.h"

namespace tonalda::test {

namespace {

// Everything the slider reported, in order.
struct SliderLog {
    explicit SliderLog(ui::JumpSlider& slider) {
        QObject::connect(&slider, &ui::JumpSlider::timerStopRequested,
                         [this] { events << QStringLiteral("timer stop"); });
        QObject::connect(&slider, &ui::JumpSlider::timerStartRequested,
                         [this] { events << QStringLiteral("timer start"); });
        QObject::connect(&slider, &ui::JumpSlider::thumbPositionReported,
                         [this](int position) { events << QStringLiteral("at %1").arg(position); });
    }
    QStringList events;
};

// A shown slider of the main window's size and range that jumps along the given axis.
std::unique_ptr<ui::JumpSlider> slider(Qt::Orientation orientation, Qt::Orientation jumps) {
    auto made = std::make_unique<ui::JumpSlider>(orientation);
    made->setJumpHorizontally(jumps == Qt::Horizontal);
    made->setJumpVertically(jumps == Qt::Vertical);
    made->setRange(0, 10000);
    made->setGeometry(orientation == Qt::Horizontal ? QRect(0, 0, 568, 18) : QRect(0, 0, 20, 45));
    made->show();
    return made;
}

class PaintCounter final : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

// The bar drawn into an image first filled with a colour the bar never uses.
QImage render(ui::TextProgressBar& bar) {
    QImage image(bar.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    bar.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

bool hasColour(const QImage& image, int fromX, int toX, const QColor& colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = fromX; x < toX; ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

}  // namespace

class ControlsTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void jumpArithmetic() {
        // The first 7 pixels are the track's end: position 0, whatever the range.
        for (int x = 0; x <= 7; ++x)
            QCOMPARE(ui::jumpPosition(x, 10000, 568), 0);
        QCOMPARE(ui::jumpPosition(7 + 277, 10000, 568), 5000);
        QCOMPARE(ui::jumpPosition(568 - 7, 10000, 568), 10000);
        // Integer arithmetic truncates: (100 - 7) * 10000 / 554 = 1678.7...
        QCOMPARE(ui::jumpPosition(100, 10000, 568), 1678);
        // A slider without a track must not divide by zero.
        QCOMPARE(ui::jumpPosition(10, 10000, 14), 0);
        QCOMPARE(ui::jumpPosition(10, 10000, 0), 0);
    }

    void horizontalJumpHoldsThePlayerTimer() {
        auto made = slider(Qt::Horizontal, Qt::Horizontal);
        ui::JumpSlider& seek = *made;
        SliderLog log(seek);

        QTest::mouseClick(&seek, Qt::LeftButton, {}, QPoint(3, 9));
        QCOMPARE(seek.value(), 0);
        QTest::mouseClick(&seek, Qt::LeftButton, {}, QPoint(284, 9));
        QCOMPARE(seek.value(), 5000);
        QCOMPARE(log.events, (QStringList{"timer stop", "at 0", "timer start", "at 0", "timer stop",
                                          "at 5000", "timer start", "at 5000"}));
    }

    void dragAfterTheJumpFollowsThePointer() {
        auto made = slider(Qt::Horizontal, Qt::Horizontal);
        ui::JumpSlider& seek = *made;
        SliderLog log(seek);
        QTest::mousePress(&seek, Qt::LeftButton, {}, QPoint(100, 9));
        QTest::mouseMove(&seek, QPoint(400, 9));
        QCOMPARE(seek.value(), ui::jumpPosition(400, 10000, 568));
        QTest::mouseRelease(&seek, Qt::LeftButton, {}, QPoint(400, 9));
        QCOMPARE(log.events, (QStringList{"timer stop", "at 1678", "timer start",
                                          QStringLiteral("at %1").arg(seek.value())}));
    }

    void verticalJumpLeavesTheTimerAlone() {
        auto made = slider(Qt::Vertical, Qt::Vertical);
        ui::JumpSlider& volume = *made;
        SliderLog log(volume);
        QTest::mouseClick(&volume, Qt::LeftButton, {}, QPoint(10, 26));
        // (26 - 7) * 10000 / (45 - 14)
        QCOMPARE(volume.value(), 6129);
        QCOMPARE(log.events, (QStringList{"at 6129", "at 6129"}));

        // A horizontal slider that only jumps vertically keeps the ordinary click.
        auto plain = slider(Qt::Horizontal, Qt::Vertical);
        SliderLog plainLog(*plain);
        QTest::mouseClick(plain.get(), Qt::LeftButton, {}, QPoint(400, 9));
        QVERIFY(plainLog.events.isEmpty());
    }

    void keysReportWhereTheThumbStops() {
        auto seek = slider(Qt::Horizontal, Qt::Horizontal);
        seek->setSingleStep(100);
        SliderLog log(*seek);
        QTest::keyClick(seek.get(), Qt::Key_Right);
        QTest::keyClick(seek.get(), Qt::Key_Left);
        QTest::keyClick(seek.get(), Qt::Key_Left);  // already at the start: nothing moves
        QCOMPARE(log.events, (QStringList{"at 100", "at 0"}));
    }

    void progressBarDrawsNothingForEqualBounds() {
        ui::TextProgressBar bar;
        bar.resize(100, 16);
        bar.setRange(5, 5);
        bar.setPosition(5);
        QCOMPARE(bar.doneWidth(), -1);
        QImage untouched(bar.size(), QImage::Format_RGB32);
        untouched.fill(Qt::magenta);
        QCOMPARE(render(bar), untouched);
        // A range whose lower bound is above the upper one draws nothing either.
        bar.setRange(10, 0);
        QCOMPARE(render(bar), untouched);
    }

    void progressBarRepaintsOnlyWhenTheDoneWidthChanges() {
        ui::TextProgressBar bar;
        bar.resize(100, 16);
        bar.setRange(0, 1000);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        PaintCounter counter;
        bar.installEventFilter(&counter);

        QCOMPARE(bar.setPosition(300), 0);
        QCOMPARE(counter.paints, 1);
        QCOMPARE(bar.setPosition(300), 300);  // the same position again
        QCOMPARE(counter.paints, 1);
        bar.setPosition(309);  // still 30 pixels done
        QCOMPARE(counter.paints, 1);
        bar.setPosition(310);
        QCOMPARE(counter.paints, 2);
        QCOMPARE(bar.lastDrawnWidth(), 31);
        // A resize forgets the last width, so the same position paints again.
        bar.resize(200, 16);
        QCOMPARE(bar.lastDrawnWidth(), -1);
        bar.setPosition(310);
        QCOMPARE(counter.paints, 3);
        QCOMPARE(bar.lastDrawnWidth(), 62);
    }

    void progressTextChangesColourWhereTheBarEnds() {
        ui::TextProgressBar bar;
        bar.resize(200, 40);
        bar.setFont(ui::SkinFonts::font(32, true));
        const QColor barColour(0, 0, 255), background(255, 255, 255);
        const QColor onBackground(0, 160, 0), onBar(255, 200, 0);
        bar.setBarColour(barColour);
        bar.setBackgroundColour(background);
        bar.setTextColours(onBackground, onBar);
        bar.setRange(0, 100);
        bar.setPosition(50);
        QCOMPARE(bar.shownText(), QStringLiteral("50%"));
        const QImage image = render(bar);
        QVERIFY(hasColour(image, 0, 100, onBar));
        QVERIFY(!hasColour(image, 0, 100, onBackground));
        QVERIFY(!hasColour(image, 0, 100, background));
        QVERIFY(hasColour(image, 100, 200, onBackground));
        QVERIFY(!hasColour(image, 100, 200, onBar));
        QVERIFY(!hasColour(image, 100, 200, barColour));
    }
};

const GuiTestRegistration<ControlsTest> kControls;

}  // namespace tonalda::test

#include "controls_test.moc"
