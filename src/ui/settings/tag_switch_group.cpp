#include "ui/settings/tag_switch_group.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>

namespace tonalda::ui {

TagSwitchGroup::TagSwitchGroup(const QString& title, const QString& explanation)
    : QGroupBox(title),
      artist_(new QCheckBox(QStringLiteral("Artist"))),
      album_(new QCheckBox(QStringLiteral("Album"))),
      composer_(new QCheckBox(QStringLiteral("Composer"))),
      copyright_(new QCheckBox(QStringLiteral("Copyright"))),
      title_(new QCheckBox(QStringLiteral("Title"))),
      track_(new QCheckBox(QStringLiteral("Track"))),
      year_(new QCheckBox(QStringLiteral("Year"))),
      comment_(new QCheckBox(QStringLiteral("Comment"))),
      originalArtist_(new QCheckBox(QStringLiteral("OriginalArtist"))),
      encodedBy_(new QCheckBox(QStringLiteral("EncodedBy"))),
      url_(new QCheckBox(QStringLiteral("URL"))),
      genre_(new QCheckBox(QStringLiteral("Genre"))) {
    auto* grid = new QGridLayout(this);
    grid->addWidget(noteLabel(explanation), 0, 0, 1, 3);
    QCheckBox* const columns[3][4] = {{artist_, album_, composer_, copyright_},
                                      {title_, track_, year_, comment_},
                                      {originalArtist_, encodedBy_, url_, genre_}};
    for (int column = 0; column < 3; ++column)
        for (int row = 0; row < 4; ++row)
            grid->addWidget(columns[column][row], row + 1, column);
}

ChannelChoice::ChannelChoice(QObject* owner)
    : mono(new QRadioButton(QStringLiteral("Mono"))),
      stereo(new QRadioButton(QStringLiteral("Stereo"))),
      buttons(new QWidget) {
    exclusiveGroup({mono, stereo}, owner);
    auto* layout = new QHBoxLayout(buttons);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mono);
    layout->addWidget(stereo);
    layout->addStretch(1);
    buttons->setAccessibleName(QStringLiteral("Channal"));
}

}  // namespace tonalda::ui
