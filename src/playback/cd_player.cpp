#include "playback/cd_player.h"

#include <algorithm>

#include "cdaccess/cd_engine.h"
#include "rip/disc_session.h"
#include "rip/track_list.h"

namespace tonalda {

namespace {

constexpr std::size_t kStatusDescriptionLength = 30;

// The rip view's list read directly on its own thread.
class TrackListDisc final : public PlayerDisc {
  public:
    explicit TrackListDisc(const TrackList& tracks) : tracks_(tracks) {}
    int sessionHandle() const override { return tracks_.sessionHandle(); }
    DiscToc lbaToc() const override { return tracks_.lbaToc(); }
    DiscToc msfToc() const override { return tracks_.msfToc(); }
    std::int32_t trackSeconds(int trackNumber) const override {
        return tracks_.trackSeconds(trackNumber);
    }
    int rowCount() const override { return tracks_.rowCount(); }
    std::string trackTitle(int row) const override { return tracks_.columnText(row, kColumnTitle); }

  private:
    const TrackList& tracks_;
};

// The disc session's rows, copied under its lock.
class SessionDisc final : public PlayerDisc {
  public:
    explicit SessionDisc(const DiscSession& session) : session_(session) {}
    int sessionHandle() const override { return session_.handle(); }
    DiscToc lbaToc() const override { return session_.lbaToc(); }
    DiscToc msfToc() const override { return session_.msfToc(); }
    std::int32_t trackSeconds(int trackNumber) const override {
        return session_.trackSeconds(trackNumber);
    }
    int rowCount() const override { return session_.rowCount(); }
    std::string trackTitle(int row) const override { return session_.trackTitle(row); }

  private:
    const DiscSession& session_;
};

}  // namespace

CdPlayer::CdPlayer(CdEngine& engine, const TrackList& tracks)
    : engine_(engine), disc_(std::make_unique<TrackListDisc>(tracks)) {}

CdPlayer::CdPlayer(CdEngine& engine, const DiscSession& session)
    : engine_(engine), disc_(std::make_unique<SessionDisc>(session)) {}

CdPlayer::~CdPlayer() = default;

int CdPlayer::firstTrack() const {
    return disc_->lbaToc().firstTrack;
}

int CdPlayer::lastTrack() const {
    return disc_->lbaToc().lastTrack;
}

CdPlayer::Msf CdPlayer::trackStart(int track) const {
    const DiscToc toc = disc_->msfToc();
    const int index = track - firstTrack();
    if (index < 0 || index >= static_cast<int>(std::size(toc.tracks)))
        return {};
    const std::uint8_t* address = toc.tracks[index].address;
    return {address[1], address[2], address[3]};
}

int CdPlayer::trackSpan(int track) const {
    const Msf start = trackStart(track);
    const Msf end = trackEnd(track);
    return (end.minute - start.minute) * 60 + end.second - start.second;
}

int CdPlayer::currentTrack() const {
    for (int track = firstTrack(); track <= lastTrack(); ++track) {
        if (trackStart(track).seconds() <= elapsed_ && elapsed_ <= trackEnd(track).seconds())
            return track;
    }
    return lastTrack() + 1;
}

void CdPlayer::sendPlay(const Msf& from, const Msf& to) {
    // A drive that refuses stays silent while the clock runs on to its end.
    engine_.playAudioMsf(disc_->sessionHandle(), from.minute, from.second, from.frame, to.minute,
                         to.second, to.frame);
}

void CdPlayer::play(std::optional<int> selectedRow) {
    const int tracks = lastTrack() - firstTrack() + 1;
    const int row = selectedRow && *selectedRow >= 0 && *selectedRow < tracks ? *selectedRow : 0;
    const Msf start = trackStart(firstTrack() + row);
    playEnd_ = trackStart(lastTrack() + 1);
    sendPlay(start, playEnd_);
    startedPlaying(start.seconds() + 1);
}

void CdPlayer::playTrack(int track) {
    const Msf start = trackStart(track);
    sendPlay(start, trackEnd(track));
    startedPlaying(start.seconds() + 1);
}

void CdPlayer::previous() {
    const int track = currentTrack();
    playTrack(track <= firstTrack() ? firstTrack() : track - 1);
}

void CdPlayer::next() {
    // Past the last track (nothing played yet) the last one plays.
    playTrack(std::min(currentTrack() + 1, lastTrack()));
}

void CdPlayer::seek(int position) {
    if (!playing_ || paused_)
        return;
    position = std::clamp(position, 0, kSeekRange);
    const int track = currentTrack();
    const Msf start = trackStart(track);
    const int offset = disc_->trackSeconds(track) * position / kSeekRange;
    elapsed_ = start.seconds() + offset;
    seekPosition_ = position;
    sendPlay({static_cast<std::uint8_t>(elapsed_ / 60), static_cast<std::uint8_t>(elapsed_ % 60),
              start.frame},
             playEnd_);
    publish();
}

void CdPlayer::advance() {
    const int track = currentTrack();
    const int length = disc_->trackSeconds(track);
    // A track shorter than a second has no fraction to show.
    setSeekPosition(length > 0 ? (elapsed_ - trackStart(track).seconds()) * 10000LL / length : 0);
    if (track > lastTrack())
        stop();
}

void CdPlayer::stopOutput() {
    if (playing_)
        engine_.stopCD(disc_->sessionHandle());
}

void CdPlayer::pauseOutput(bool pause) {
    engine_.pauseResumeCD(disc_->sessionHandle(), pause);
}

StatusArea CdPlayer::statusArea() const {
    StatusArea status;
    if (!playing_) {
        status.state = "STOP";
        status.title = driveDescription_.substr(0, kStatusDescriptionLength);
        return status;
    }
    status.state = paused_ ? "PAUSE" : "PLAY";
    const int track = currentTrack();
    const int row = track - firstTrack();
    if (row >= 0 && row < disc_->rowCount())
        status.title = disc_->trackTitle(row);
    status.times = statusTimes(elapsed_ - trackStart(track).seconds(), trackSpan(track));
    return status;
}

}  // namespace tonalda
