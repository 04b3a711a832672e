#pragma once
// What the main window asks of the views it hosts. The rip view and the convert view implement
// these; the main window creates each once, parents its widget to the view area, shows one at a
// time (the widget gets its show and hide events, the first show being the place for the view's
// initial update) and asks both before the program ends.

#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

namespace tonalda::ui {

// What a view asks before the program ends while it plays.
inline constexpr const char* kStopPlayingQuestion = "Would you like to stop playing?";

class ProgramView {
  public:
    virtual ~ProgramView() = default;

    // The view's widget. The main window places it over the view area and shows or hides it.
    virtual QWidget& widget() = 0;
    // Whether the view has started playback that is still running (its play command, its
    // playing flag); the main window asks before the Options sheet and when the views switch.
    virtual bool isPlaying() const = 0;
    // The first selected row of the view's list, which Play starts from; nullopt without one.
    virtual std::optional<int> firstSelectedRow() const { return std::nullopt; }
    // Called when the user asks to end the program. The view may ask questions (save the disc
    // information, stop playing, stop a job) and answers whether the program may close; a view
    // that agrees has done what its answers asked (stopped playback or its job).
    virtual bool mayClose() = 0;
};

// The rip view's part: the track rows that the main window's disc fields and the Options sheet
// change.
class TrackRowsView : public ProgramView {
  public:
    // The user edited the disc's artist, album title or genre (a genre number, -1 for none): the
    // value goes into the disc information and every track row.
    virtual void applyDiscArtist(const std::string& artist) = 0;
    virtual void applyDiscAlbum(const std::string& album) = 0;
    virtual void applyDiscGenre(std::int32_t genre) = 0;
    // The Output column of every row shows the format's name (0 WAV, 1 MP3, 2 WMA, 3 Ogg).
    virtual void showOutputFormat(std::int32_t format) = 0;
    // The Options sheet closed: the rows are built again from the settings.
    virtual void rebuildRows() = 0;
    // The first selected row, where the CD player starts; nullopt when none is selected.
    virtual std::optional<int> firstSelectedRow() const { return std::nullopt; }
};

}  // namespace tonalda::ui
