#pragma once
// The player in CD mode: the drive plays the disc of the rip view's track list itself (PLAY AUDIO
// MSF, PAUSE/RESUME, stop through the list's drive session); the program only commands it and
// keeps time in seconds from the start of the disc.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cdaccess/cd_types.h"
#include "playback/player.h"

namespace tonalda {

class CdEngine;
class DiscSession;
class TrackList;

// What the CD player reads of the disc at each command: the drive session, the two copies of the
// table of contents, the track lengths and the rows' titles. Thread: the player's thread.
class PlayerDisc {
  public:
    virtual ~PlayerDisc() = default;
    virtual int sessionHandle() const = 0;
    virtual DiscToc lbaToc() const = 0;
    virtual DiscToc msfToc() const = 0;
    // Whole seconds by track number.
    virtual std::int32_t trackSeconds(int trackNumber) const = 0;
    virtual int rowCount() const = 0;
    virtual std::string trackTitle(int row) const = 0;
};

// Thread: the user-interface thread (the track list's thread).
class CdPlayer final : public Player {
  public:
    // Both must outlive the player. The list's session and table of contents are read at each
    // command, so a refresh of the list is followed.
    CdPlayer(CdEngine& engine, const TrackList& tracks);
    // The same over the front end's disc session, whose rows a lookup may retitle meanwhile
    // (each read takes the session's lock).
    CdPlayer(CdEngine& engine, const DiscSession& session);
    ~CdPlayer() override;

    // The drive description the stopped status area shows (its first 30 characters).
    void setDriveDescription(std::string description) {
        driveDescription_ = std::move(description);
    }

    // Plays from the selected row's track, or from the first track, to the end of the disc.
    void play(std::optional<int> selectedRow) override;
    // Previous and Next play a single track: the one before or after the current one, or the
    // current one again at the first or last track.
    void previous() override;
    void next() override;
    // Plays from that fraction of the current track on to the end of the last Play.
    void seek(int position) override;
    StatusArea statusArea() const override;

    // The track the elapsed seconds fall in; one past the last track when in none.
    int currentTrack() const;

  private:
    struct Msf {
        std::uint8_t minute = 0;
        std::uint8_t second = 0;
        std::uint8_t frame = 0;
        int seconds() const { return minute * 60 + second; }
    };

    void stopOutput() override;
    void pauseOutput(bool pause) override;
    void advance() override;

    int firstTrack() const;
    int lastTrack() const;
    // Descriptor t - first of the table of contents: the start of track t, or for the track after
    // the last, the lead-out.
    Msf trackStart(int track) const;
    Msf trackEnd(int track) const { return trackStart(track + 1); }
    // From the table: (end minute - start minute) * 60 + end second - start second.
    int trackSpan(int track) const;
    void sendPlay(const Msf& from, const Msf& to);
    void playTrack(int track);

    CdEngine& engine_;
    std::unique_ptr<const PlayerDisc> disc_;
    std::string driveDescription_;
    Msf playEnd_;  // where the last Play command ends; Previous, Next and Seek keep it
};

}  // namespace tonalda
