#pragma once
// The convert view: the list of WAV files, the column of skinned command buttons and the
// "encoder" context menu. It adds, removes and clears files, edits a file's ID3 tag, starts the
// MP3, WMA and Ogg Vorbis conversions and shows their progress in the running rows, cancels them,
// opens the encode folder, and holds the file player that plays the list's files.

#include <QUrl>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>

#include "codecs/output_format.h"
#include "convert/convert_job.h"
#include "convert/convert_list.h"
#include "playback/file_player.h"
#include "ui/program_view.h"

class QMenu;
class QTableView;

namespace tonalda {
class Prompter;
class Registry;
struct JobNotice;
struct TagInfo;
}  // namespace tonalda

namespace tonalda::ui {

class BitmapButton;
class ConvertListModel;
class JobEventBridge;
class MainWindow;
class TextProgressBar;

inline constexpr const char* kStopEncodingQuestion = "Would you like to stop encoding?";

// What the view is plugged into.
struct ConvertViewParts {
    MainWindow* window = nullptr;  // the UM_* messages, the help file, the disc flag
    Prompter* prompter = nullptr;
    Registry* registry = nullptr;
    JobEventBridge* events = nullptr;  // the GUI thread's receiver of the jobs' events
    // Asks the user for WAV files to add (a file dialog by default).
    std::function<QStringList(QWidget* parent)> chooseFiles;
    // Opens a folder in the desktop's file manager (QDesktopServices by default).
    std::function<bool(const QUrl&)> openUrl;
    // Runs the ID3 editor on a record; true after Write (Id3TagDialog by default).
    std::function<bool(TagInfo& tag, const QString& heading, QWidget* parent)> editTag;
};

class ConvertView final : public QWidget, public ProgramView {
    Q_OBJECT

  public:
    // The view's commands; the buttons and the context menu's first items run them.
    enum class Command { Add, Remove, Clear, EditTag, Mp3, Wma, Ogg, Cancel, Open };

    explicit ConvertView(ConvertViewParts parts, QWidget* parent = nullptr);
    // A job still running is stopped and its end awaited (delivering its events) first.
    ~ConvertView() override;

    // ProgramView.
    QWidget& widget() override { return *this; }
    bool isPlaying() const override { return player_.playing(); }
    std::optional<int> firstSelectedRow() const override;
    bool mayClose() override;

    void run(Command command);
    // The files as if chosen in the file dialog or dropped on the view.
    void addFiles(const QStringList& paths);
    // The rows selected now, top to bottom.
    std::vector<int> selectedRows() const;
    // The context menu as it would show now (its items greyed by the rules); the caller owns it.
    std::unique_ptr<QMenu> makeContextMenu();

    bool busy() const { return busy_; }
    FilePlayer& player() { return player_; }
    const ConvertList& list() const { return list_; }
    ConvertListModel& model() const { return *model_; }
    QTableView& table() const { return *table_; }
    BitmapButton& button(Command command) const;
    // The progress bars of the rows being encoded now, by row.
    const std::map<int, TextProgressBar*>& progressBars() const { return bars_; }
    const ConvertJob& job() const { return job_; }

    // Where the view lays its controls out, inside the view panel's edge; the offsets of the
    // buttons and the list are taken from here.
    static constexpr QPoint kOrigin{6, 2};

  Q_SIGNALS:
    // The job's last event has been handled: the buttons are back.
    void jobEnded();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void createButtons();
    void createList();
    void setJobControls(bool running);
    void chooseAndAddFiles();
    void removeSelected();
    void editSelectedTag();
    void startJob(OutputFormat format);
    void cancelJob();
    void openEncodeFolder();
    void onJobEvent(const JobNotice& notice);
    void showProgressBar(int row);
    void dropProgressBar(int row);
    void jobFinished();
    // Whether the file player can play at all (a sound server).
    bool playerAvailable() const;

    ConvertViewParts parts_;
    ConvertList list_;
    FilePlayer player_;
    ConvertJob job_;
    ConvertListModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    std::array<BitmapButton*, 9> buttons_{};
    std::map<int, TextProgressBar*> bars_;
    bool busy_ = false;
};

}  // namespace tonalda::ui
