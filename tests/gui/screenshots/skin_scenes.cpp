// The skin on one sheet: every button picture in its up, down and disabled state (with the
// caption the program draws on it), the Options tab icons, the program icon and the progress bar.

#include <QGridLayout>
#include <QLabel>
#include <QPainter>

#include "screenshots/scene.h"
#include "ui/bitmap_button.h"
#include "ui/skin.h"
#include "ui/text_progress_bar.h"

namespace tonalda::screenshots {

namespace {

struct ButtonSample {
    const char* baseName;
    const char* caption;
    QSize size;
    ui::BitmapButton::CaptionPlacement placement;
};

constexpr auto kBelow = ui::BitmapButton::CaptionPlacement::Below;
constexpr auto kBeside = ui::BitmapButton::CaptionPlacement::Beside;
constexpr auto kHidden = ui::BitmapButton::CaptionPlacement::Hidden;

const ButtonSample kSamples[] = {
    {"RIP", "Rip", {64, 48}, kBelow},         {"CONVERT", "Convert", {64, 48}, kBelow},
    {"OPTION", "Option", {64, 49}, kBelow},   {"HELP", "Help", {64, 48}, kBelow},
    {"PLAY", "", {63, 63}, kHidden},          {"PAUSE", "", {28, 28}, kHidden},
    {"STOP", "", {28, 28}, kHidden},          {"PRE", "", {28, 28}, kHidden},
    {"NEXT", "", {28, 28}, kHidden},          {"MIN", "", {24, 24}, kHidden},
    {"EXIT", "", {24, 24}, kHidden},          {"RIPTRACK", "Rip", {90, 27}, kBeside},
    {"RIPSEG", "Segment", {90, 27}, kBeside}, {"REFRESH", "Refresh", {90, 27}, kBeside},
    {"ID3", "ID3", {90, 27}, kBeside},        {"CDDB", "CDDB", {90, 27}, kBeside},
    {"CANCEL", "Cancel", {90, 27}, kBeside},  {"OPEN", "Open", {90, 26}, kBeside},
    {"ADD", "", {39, 39}, kHidden},           {"DELETE", "", {39, 39}, kHidden},
    {"CLEAR", "Clear", {90, 27}, kBeside},    {"MP3", "MP3", {90, 27}, kBeside},
    {"WMA", "WMA", {90, 27}, kBeside},        {"OGG", "Ogg", {90, 27}, kBeside},
};

class SkinSheet final : public QWidget {
  public:
    SkinSheet() {
        auto* grid = new QGridLayout(this);
        grid->setHorizontalSpacing(18);
        grid->setVerticalSpacing(8);
        const char* headings[] = {"", "up", "down", "disabled"};
        for (int column = 0; column < 4; ++column)
            grid->addWidget(label(headings[column]), 0, column);
        int row = 1;
        for (const ButtonSample& sample : kSamples) {
            grid->addWidget(label(sample.baseName), row, 0);
            for (int state = 0; state < 3; ++state) {
                auto* button = new ui::BitmapButton(this);
                button->setText(QString::fromLatin1(sample.caption));
                button->setPictures(QString::fromLatin1(sample.baseName));
                button->setCaptionPlacement(sample.placement);
                button->setFont(ui::SkinFonts::font(sample.placement == kBelow ? 11 : 12));
                button->setFixedSize(sample.size);
                button->setDown(state == 1);
                button->setEnabled(state != 2);
                grid->addWidget(button, row, state + 1, Qt::AlignLeft);
            }
            ++row;
        }
        auto* bars = new QWidget(this);
        auto* barLayout = new QVBoxLayout(bars);
        for (const int position : {0, 33, 50, 100}) {
            auto* bar = new ui::TextProgressBar(bars);
            bar->setFixedSize(120, 16);
            bar->setRange(0, 1000);
            bar->setPosition(position * 10);
            barLayout->addWidget(bar);
        }
        grid->addWidget(label("progress"), 1, 5);
        grid->addWidget(bars, 2, 5, 4, 1, Qt::AlignTop);
        grid->addWidget(label("tabs"), 7, 5);
        auto* tabs = new TabIcons(this);
        tabs->setMinimumSize(tabs->sizeHint());
        grid->addWidget(tabs, 8, 5, 2, 1, Qt::AlignTop);
        grid->addWidget(label("icon"), 11, 5);
        auto* icon = new ProgramIcon(this);
        icon->setMinimumSize(icon->sizeHint());
        grid->addWidget(icon, 12, 5, 5, 1, Qt::AlignTop);
        setAutoFillBackground(true);
    }

  private:
    QLabel* label(const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setFont(ui::SkinFonts::font(11));
        return l;
    }

    class TabIcons final : public QWidget {
      public:
        using QWidget::QWidget;
        QSize sizeHint() const override { return {7 * 26, 40}; }
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            const char* names[] = {"mp3", "wma", "ogg", "cdrom", "output", "freedb", "misc"};
            for (int i = 0; i < 7; ++i) {
                const QString name = QStringLiteral("tab_%1").arg(QLatin1String(names[i]));
                ui::Skin::draw(painter, name, QRectF(i * 26, 0, 14, 14));
                // Half as large again, to judge the drawing.
                ui::Skin::draw(painter, name, QRectF(i * 26, 18, 21, 21));
            }
        }
    };

    class ProgramIcon final : public QWidget {
      public:
        using QWidget::QWidget;
        QSize sizeHint() const override { return {128, 128}; }
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            ui::Skin::draw(painter, QStringLiteral("tonalda"), QRectF(0, 0, 96, 96));
            ui::Skin::draw(painter, QStringLiteral("tonalda"), QRectF(100, 0, 24, 24));
            ui::Skin::draw(painter, QStringLiteral("tonalda"), QRectF(100, 30, 16, 16));
        }
    };
};

const SceneRegistration kSkin("skin", [](SceneSetup&) { return std::make_unique<SkinSheet>(); });

}  // namespace

}  // namespace tonalda::screenshots
