#pragma once
// The rip view: the disc's track list with a column of seven skinned buttons (rip checked tracks,
// rip a segment, ID3 tag, refresh, the CDDB menu, cancel, open the rip folder), the context menu
// "rip" and the popup "CDDB". It runs its commands on the engine's disc session and rip jobs and
// shows their events: row statuses, a progress bar over the Progress cell of each row being
// worked on, titles and disc information from lookups and the library.

#include <QUrl>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "platform/job_events.h"
#include "ui/program_view.h"
#include "ui/rip/segment_dialog.h"

class QLabel;
class QMenu;

namespace tonalda {
class CdEngine;
class DiscSession;
struct DiscInfo;
class Prompter;
class Registry;
class RipJob;
class SegmentRip;
}  // namespace tonalda

namespace tonalda::ui {

class BitmapButton;
class Id3TagDialog;
class JobEventBridge;
class MainWindow;
class SkinnedList;
class TrackRowsModel;

// The view's message texts, as the user reads them.
inline constexpr const char* kInsertDisc =
    "Please insert an audio CD in your CD-ROM and press 'Refresh' button";
inline constexpr const char* kInsertDiscForSegment =
    "Please insert an Audio CD in your CD-Rom and press 'Refresh' Button";
inline constexpr const char* kInvalidSelection = "Invalid selection";
inline constexpr const char* kInvalidTagSelection = "Invalid Selection!";
inline constexpr const char* kSaveDiscQuestion =
    "Would you like to save CD infomation to local CD library? ";
inline constexpr const char* kStopRippingQuestion = "Would you like to stop ripping?";
inline constexpr const char* kDiscChanged =
    "The disc in the drive has changed. Its track list has been read again.";

// What the view works with. Everything must outlive the view.
struct RipViewParts {
    DiscSession& disc;
    CdEngine& engine;
    Registry& registry;
    Prompter& prompter;
    JobEventBridge& bridge;
    // Opens the rip folder in the file manager (QDesktopServices by default).
    std::function<bool(const QUrl&)> openUrl;
    // The segment dialog's Save As.
    SaveFileChooser chooseFile = chooseSaveFileWithDialog;
};

// Thread: the user interface thread.
class RipView final : public QWidget, public TrackRowsView {
    Q_OBJECT

  public:
    enum class Button { RipTracks, RipSegment, Id3, Refresh, Cddb, Cancel, Open };

    RipView(MainWindow& window, RipViewParts parts, QWidget* parent = nullptr);
    ~RipView() override;

    // ProgramView and TrackRowsView.
    QWidget& widget() override { return *this; }
    bool isPlaying() const override;
    bool mayClose() override;
    void applyDiscArtist(const std::string& artist) override;
    void applyDiscAlbum(const std::string& album) override;
    void applyDiscGenre(std::int32_t genre) override;
    void showOutputFormat(std::int32_t format) override;
    void rebuildRows() override;
    std::optional<int> firstSelectedRow() const override;

    // The commands of the buttons and menus.
    void ripCheckedTracks();
    void ripSegment();
    void editTag();
    void refresh();
    void openCddbMenu();
    void cancel();
    void openRipFolder();
    void checkAll();
    void clearChecks();
    void toggleHeader();
    void submitToCddb();
    void queryCddb();
    void saveToLibrary();
    void readFromLibrary();
    void writeCdPlayerIni();
    void readCdPlayerIni();

    // The menus as they open now; the caller runs or inspects them.
    std::unique_ptr<QMenu> makeContextMenu();
    std::unique_ptr<QMenu> makeCddbMenu();

    bool ripping() const { return ripping_; }
    bool lookingUp() const;
    int discReady() const;
    BitmapButton& button(Button which) const { return *buttons_[static_cast<std::size_t>(which)]; }
    SkinnedList& list() const { return *list_; }
    TrackRowsModel& model() const { return *model_; }
    // The line that tells a lookup is on its way.
    QLabel& activityLine() const { return *activity_; }

  Q_SIGNALS:
    // The segment dialog is about to run (tests and pictures drive it from here).
    void segmentDialogOpened(tonalda::ui::SegmentDialog* dialog);
    // The ID3 editor is about to run.
    void tagEditorOpened(tonalda::ui::Id3TagDialog* editor);
    // A rip job ended and the view shows its outcome.
    void ripEnded();
    // A lookup ended.
    void lookupEnded();

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void createButtons();
    void createList();
    void initialUpdate();
    void onJobEvent(const JobNotice& notice);
    void onRipEvent(const JobNotice& notice);
    void ripJobEnded();
    void otherJobEnded();
    // The view's part after the rows were built anew: the list, its state and texts.
    void showRows();
    void showDiscInfo();
    // The checks every command on the disc starts with: a disc ("insert" text otherwise) that is
    // still the one listed (the list is read again and the user told otherwise).
    bool discAvailable(const char* insertText);
    bool askToStopPlaying();
    void updateCommandState();
    void applyDiscFields(const std::function<void(DiscInfo&)>& change);
    // Closing waits for jobs that are still winding down.
    void closeWhenJobsEnded();

    MainWindow& window_;
    RipViewParts parts_;
    std::unique_ptr<RipJob> ripJob_;
    std::unique_ptr<SegmentRip> segmentJob_;
    std::array<BitmapButton*, 7> buttons_{};
    SkinnedList* list_ = nullptr;
    TrackRowsModel* model_ = nullptr;
    QLabel* activity_ = nullptr;
    bool initialised_ = false;
    bool ripping_ = false;
    bool closeApproved_ = false;
};

}  // namespace tonalda::ui
