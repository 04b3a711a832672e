#pragma once
// What the CDDB jobs and the local CD library need from the rip view: its messages and prompts,
// the table of contents it kept, the disc in its drive and the tags of its rows. The rip view
// implements it; the command-line front end and the tests have their own.
//
// Messages the view receives from this code:
// - UM_SET_TRACK_TITLE: wParam is a NUL-terminated UTF-8 text (const char*) valid during the
//   call, lParam the row index. The view puts the text into the row's title column.
// - UM_SHOW_DISC_INFO: no arguments. The view shows discInfo(): artist, album, genre.
// - UM_GET_TRACK_TITLE: wParam is the row index, lParam a std::string* that the view fills with
//   the text of the row's title column.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cdaccess/cd_types.h"
#include "cdinfo/disc_identity.h"
#include "platform/messages.h"
#include "platform/prompter.h"
#include "codecs/tag_info.h"

namespace tonalda {

class DiscView {
  public:
    virtual ~DiscView() = default;

    virtual MessageSink& messages() = 0;
    virtual Prompter& prompter() = 0;

    // The MSF table of contents of the view's last reading; nullopt when it found no disc.
    // Thread: any.
    virtual std::optional<DiscToc> lastToc() const = 0;
    // Reads the identity of the disc in the view's drive (holding the drive session's lock);
    // nullopt when it cannot be read. Thread: the lookup job's worker thread.
    virtual std::optional<DiscIdentity> readDiscIdentity() = 0;
    // The player key of the disc in the view's drive; 0 when its table cannot be read.
    // Thread: the user interface thread.
    virtual std::uint32_t readPlayerKey() = 0;

    // The rows of the track list and their tags. Thread: any; the view makes the access safe.
    virtual int rowCount() const = 0;
    virtual TagInfo rowTag(int row) const = 0;
    virtual void updateRowTag(int row, const std::function<void(TagInfo&)>& change) = 0;
};

inline void sendTrackTitle(MessageSink& sink, int row, const std::string& title) {
    sink.send(UM_SET_TRACK_TITLE, reinterpret_cast<WParam>(title.c_str()), row);
}

inline std::string askTrackTitle(MessageSink& sink, int row) {
    std::string title;
    sink.send(UM_GET_TRACK_TITLE, static_cast<WParam>(row), reinterpret_cast<LParam>(&title));
    return title;
}

}  // namespace tonalda
