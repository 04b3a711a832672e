#pragma once
// The disc-level information the user sees and edits: artist, album title and genre. The disc
// session holds one, written by the user interface and by the CDDB lookup thread.

#include <functional>
#include <mutex>
#include <string>

namespace tonalda {

struct DiscInfo {
    std::string artist;
    std::string album;
    int genreIndex = -1;       // into the genre table; -1 none chosen
    bool infoPresent = false;  // the user, the ID3 editor or a lookup supplied information
    int submitRevision = 0;    // submission attempts in this run
    bool operator==(const DiscInfo&) const = default;
};

// A DiscInfo behind a lock, so that the lookup thread and the user interface never see a
// half-written record.
// Thread: any.
class SharedDiscInfo {
  public:
    DiscInfo snapshot() const {
        std::lock_guard lock(mutex_);
        return info_;
    }
    // Runs the change with the record locked; the change must not call back into this object.
    void update(const std::function<void(DiscInfo&)>& change) {
        std::lock_guard lock(mutex_);
        change(info_);
    }
    // What a refresh of the rip view leaves: artist and album a single space, no genre.
    void resetAfterRefresh() {
        update([](DiscInfo& info) {
            info.artist = " ";
            info.album = " ";
            info.genreIndex = -1;
        });
    }

  private:
    mutable std::mutex mutex_;
    DiscInfo info_;
};

}  // namespace tonalda
