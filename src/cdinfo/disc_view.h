#pragma once
// What the CDDB jobs and the local CD library need from the disc they work on: its prompts, its
// disc information, the table of contents it kept, the disc in its drive, and the tags and titles
// of its rows. The engine's DiscSession implements it for the program's front ends; tests have
// window-less ones.
//
// Every call may come from a lookup's worker while the owner's thread reads the same rows, so an
// implementation guards its rows (or marshals to its thread) and tells its view of each change
// without waiting for the view.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cdaccess/cd_types.h"
#include "cdinfo/disc_identity.h"
#include "cdinfo/disc_info.h"
#include "codecs/tag_info.h"
#include "platform/prompter.h"

namespace tonalda {

// Thread: any, unless a function says otherwise.
class DiscView {
  public:
    virtual ~DiscView() = default;

    virtual Prompter& prompter() = 0;
    // The disc-level information of this disc.
    virtual SharedDiscInfo& discInfo() = 0;

    // The MSF table of contents of the view's last reading; nullopt when it found no disc.
    virtual std::optional<DiscToc> lastToc() const = 0;
    // Reads the identity of the disc in the view's drive (holding the drive session's lock);
    // nullopt when it cannot be read.
    virtual std::optional<DiscIdentity> readDiscIdentity() = 0;
    // The player key of the disc in the view's drive; 0 when its table cannot be read.
    virtual std::uint32_t readPlayerKey() = 0;

    // The rows of the track list, their tags and their Title column.
    virtual int rowCount() const = 0;
    virtual TagInfo rowTag(int row) const = 0;
    virtual void updateRowTag(int row, const std::function<void(TagInfo&)>& change) = 0;
    virtual std::string trackTitle(int row) const = 0;
    // Puts the text into the row's Title column; a row outside the list is ignored.
    virtual void setTrackTitle(int row, std::string title) = 0;
    // The disc information changed: the view shows artist, album and genre anew.
    virtual void showDiscInfo() = 0;
};

}  // namespace tonalda
