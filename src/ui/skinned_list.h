#pragma once
// The list of the rip and convert views: a table in the skin's colours with its columns painted in
// vertical stripes down to the bottom of the list, grid lines, full-row selection, centred check
// boxes in an optional check column whose header carries a check picture, a text drawn while the
// list has no rows, and progress bars laid over cells of the rows being worked on. The bars are
// cell widgets, so they follow scrolling and column resizing by themselves; several rows may show
// one at a time.

#include <QPointer>
#include <QString>
#include <QTableView>
#include <map>
#include <span>
#include <vector>

namespace tonalda::ui {

class TextProgressBar;

class SkinnedList : public QTableView {
    Q_OBJECT

  public:
    explicit SkinnedList(QWidget* parent = nullptr);

    void setColumnWidths(std::span<const int> widths);
    // The column whose cells are check boxes (the model's CheckStateRole), -1 for none. A click
    // anywhere in such a cell, or Space on it, toggles it.
    void setCheckColumn(int column);
    int checkColumn() const { return checkColumn_; }
    // The picture in the check column's header: checked or not.
    void setHeaderChecked(bool checked);
    bool headerChecked() const { return headerChecked_; }

    // What the list draws while it has no rows (empty for nothing), and where its top-left
    // corner goes in the list's client area.
    void setEmptyText(const QString& text, QPoint at);
    const QString& emptyText() const { return emptyText_; }

    // A progress bar (0 to 1000, its caption the percentage) over the cell of `row` in
    // `column`, made when the row has none.
    void showProgress(int row, int column, int thousandths);
    void hideProgress(int row);
    void hideAllProgress();
    TextProgressBar* progressBar(int row) const;
    std::vector<int> rowsWithProgress() const;

    // The rows selected now, top to bottom.
    std::vector<int> selectedRowNumbers() const;

  Q_SIGNALS:
    // The header of the check column was clicked.
    void checkHeaderClicked();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    class CheckHeader;
    class CheckDelegate;

    QPointer<TextProgressBar> makeBar(int row, int column);

    CheckHeader* header_;
    int checkColumn_ = -1;
    bool headerChecked_ = false;
    QString emptyText_;
    QPoint emptyTextAt_;
    std::map<int, QPointer<TextProgressBar>> bars_;
};

}  // namespace tonalda::ui
