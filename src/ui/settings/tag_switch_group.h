#pragma once
// The group of twelve tag check boxes that the WMA and OGG pages share: which tag fields go into
// the output files. "Genre" is shown but neither stored nor used, so it starts unchecked.

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

#include "ui/settings/settings_widgets.h"

namespace tonalda::ui {

class TagSwitchGroup : public QGroupBox {
  public:
    TagSwitchGroup(const QString& title, const QString& explanation);

    // Group is a settings record with the eleven stored switches (WmaSettings, OggSettings).
    template <typename Group>
    void show(const Group& group) {
        showCheck(artist_, group.Artist);
        showCheck(album_, group.Album);
        showCheck(composer_, group.Composer);
        showCheck(copyright_, group.Copyright);
        showCheck(title_, group.Title);
        showCheck(track_, group.Track);
        showCheck(year_, group.Year);
        showCheck(comment_, group.Comment);
        showCheck(originalArtist_, group.Orgartist);
        showCheck(encodedBy_, group.Encodedby);
        showCheck(url_, group.URL);
    }

    template <typename Group>
    void store(Group& group) const {
        group.Artist = checkValue(artist_);
        group.Album = checkValue(album_);
        group.Composer = checkValue(composer_);
        group.Copyright = checkValue(copyright_);
        group.Title = checkValue(title_);
        group.Track = checkValue(track_);
        group.Year = checkValue(year_);
        group.Comment = checkValue(comment_);
        group.Orgartist = checkValue(originalArtist_);
        group.Encodedby = checkValue(encodedBy_);
        group.URL = checkValue(url_);
    }

  private:
    QCheckBox* artist_;
    QCheckBox* album_;
    QCheckBox* composer_;
    QCheckBox* copyright_;
    QCheckBox* title_;
    QCheckBox* track_;
    QCheckBox* year_;
    QCheckBox* comment_;
    QCheckBox* originalArtist_;
    QCheckBox* encodedBy_;
    QCheckBox* url_;
    QCheckBox* genre_;
};

// The "Channal" choice of the WMA and OGG pages: "Mono" and "Stereo", excluding each other.
struct ChannelChoice {
    explicit ChannelChoice(QObject* owner);

    QRadioButton* mono;
    QRadioButton* stereo;
    QWidget* buttons;  // both, side by side
};

}  // namespace tonalda::ui
