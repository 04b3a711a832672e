#include "ui/skinned_list.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "ui/skin.h"
#include "ui/text_progress_bar.h"

namespace tonalda::ui {

namespace {

constexpr int kCheckSide = 14;
constexpr int kBarInset = 2;  // the bar leaves this much of its cell free at the top and bottom

// The header, the grid and the scroll bars in the skin's colours; the cells are painted by the
// list itself.
const QString kListStyle = QStringLiteral(
    "QTableView { gridline-color: #333840; border: 1px solid #121417;"
    " selection-background-color: #2C5472; selection-color: #E8EAED; }"
    "QHeaderView::section { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3A3F48,"
    " stop:1 #2C3037); color: #E8EAED; border: none; border-right: 1px solid #1B1E23;"
    " border-bottom: 1px solid #121417; padding: 0 4px; }"
    "QHeaderView::section:disabled { color: #6B7078; }"
    "QScrollBar:vertical { background: #1B1E23; width: 10px; margin: 0; }"
    "QScrollBar:horizontal { background: #1B1E23; height: 10px; margin: 0; }"
    "QScrollBar::handle { background: #4A505A; border-radius: 4px; margin: 1px; }"
    "QScrollBar::handle:vertical { min-height: 24px; }"
    "QScrollBar::handle:horizontal { min-width: 24px; }"
    "QScrollBar::handle:hover { background: #5A616C; }"
    "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
    "QScrollBar::add-page, QScrollBar::sub-page { background: none; }");

QString checkPicture(bool checked, bool enabled) {
    QString name = checked ? QStringLiteral("check_on") : QStringLiteral("check_off");
    if (!enabled)
        name += QStringLiteral("_disabled");
    return name;
}

QRectF centredCheck(const QRect& cell) {
    return {cell.center().x() + 1 - kCheckSide / 2.0, cell.center().y() + 1 - kCheckSide / 2.0,
            double(kCheckSide), double(kCheckSide)};
}

}  // namespace

// Draws the check picture in the check column's header.
class SkinnedList::CheckHeader final : public QHeaderView {
  public:
    explicit CheckHeader(SkinnedList& list) : QHeaderView(Qt::Horizontal, &list), list_(list) {}

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        if (logicalIndex != list_.checkColumn())
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        Skin::draw(*painter, checkPicture(list_.headerChecked(), isEnabled()), centredCheck(rect));
        painter->restore();
    }

  private:
    SkinnedList& list_;
};

// Check boxes centred in their cells, toggled by a click anywhere in the cell or by Space on the
// row.
class SkinnedList::CheckDelegate final : public QStyledItemDelegate {
  public:
    explicit CheckDelegate(SkinnedList& list) : QStyledItemDelegate(&list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (index.column() != list_.checkColumn()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        cell.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : list_.style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        Skin::draw(*painter, checkPicture(checked, option.state & QStyle::State_Enabled),
                   centredCheck(option.rect));
        painter->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        const QModelIndex check = index.siblingAtColumn(list_.checkColumn());
        if (list_.checkColumn() < 0 || !check.isValid() ||
            !(model->flags(check) & Qt::ItemIsUserCheckable) ||
            !(model->flags(check) & Qt::ItemIsEnabled))
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        switch (event->type()) {
            case QEvent::MouseButtonRelease: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (index.column() != list_.checkColumn() || mouse->button() != Qt::LeftButton ||
                    !option.rect.contains(mouse->position().toPoint()))
                    return false;
                break;
            }
            case QEvent::MouseButtonDblClick:
                // The first click of the pair has toggled already.
                return index.column() == list_.checkColumn();
            case QEvent::KeyPress: {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key != Qt::Key_Space && key != Qt::Key_Select)
                    return false;
                break;
            }
            default:
                return false;
        }
        const bool checked = check.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(check, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

  private:
    SkinnedList& list_;
};

SkinnedList::SkinnedList(QWidget* parent) : QTableView(parent), header_(new CheckHeader(*this)) {
    using namespace skin_colour;
    setHorizontalHeader(header_);
    setItemDelegate(new CheckDelegate(*this));
    setStyleSheet(kListStyle);
    setFont(SkinFonts::font(13));
    header_->setFont(SkinFonts::font(12));
    header_->setHighlightSections(false);
    header_->setSectionsClickable(true);
    header_->setStretchLastSection(false);
    header_->setDefaultAlignment(Qt::AlignCenter);
    header_->setMinimumSectionSize(16);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setCornerButtonEnabled(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, kListStripeEven);
    colours.setColor(QPalette::Text, kText);
    setPalette(colours);
    viewport()->setAutoFillBackground(false);

    connect(header_, &QHeaderView::sectionClicked, this, [this](int section) {
        if (section == checkColumn_ && checkColumn_ >= 0)
            Q_EMIT checkHeaderClicked();
    });
}

void SkinnedList::setColumnWidths(std::span<const int> widths) {
    for (std::size_t column = 0; column < widths.size(); ++column)
        setColumnWidth(static_cast<int>(column), widths[column]);
}

void SkinnedList::setCheckColumn(int column) {
    checkColumn_ = column;
    viewport()->update();
    header_->viewport()->update();
}

void SkinnedList::setHeaderChecked(bool checked) {
    if (headerChecked_ == checked)
        return;
    headerChecked_ = checked;
    header_->viewport()->update();
}

void SkinnedList::setEmptyText(const QString& text, QPoint at) {
    emptyText_ = text;
    emptyTextAt_ = at;
    viewport()->update();
}

QPointer<TextProgressBar> SkinnedList::makeBar(int row, int column) {
    using namespace skin_colour;
    // A transparent holder keeps the bar off the cell's top and bottom edges.
    auto* holder = new QWidget;
    holder->setAttribute(Qt::WA_TransparentForMouseEvents);
    holder->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(1, kBarInset, 1, kBarInset);
    auto* bar = new TextProgressBar(holder);
    bar->setObjectName(QStringLiteral("rowProgress"));
    bar->setRange(0, 1000);
    bar->setBarColour(kAccent);
    bar->setBackgroundColour(kWell);
    bar->setTextColours(kText, kOnAccent);
    bar->setFont(SkinFonts::font(11, true));
    bar->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(bar);
    setIndexWidget(model()->index(row, column), holder);
    return bar;
}

void SkinnedList::showProgress(int row, int column, int thousandths) {
    if (!model() || row < 0 || row >= model()->rowCount())
        return;
    QPointer<TextProgressBar>& bar = bars_[row];
    if (!bar)
        bar = makeBar(row, column);
    bar->setPosition(std::clamp(thousandths, 0, 1000));
}

void SkinnedList::hideProgress(int row) {
    const auto found = bars_.find(row);
    if (found == bars_.end())
        return;
    if (TextProgressBar* bar = found->second) {
        // The holder is the cell's widget; removing it deletes it with the bar.
        for (int column = 0; model() && column < model()->columnCount(); ++column) {
            const QModelIndex cell = model()->index(row, column);
            if (indexWidget(cell) == bar->parentWidget()) {
                setIndexWidget(cell, nullptr);
                break;
            }
        }
    }
    bars_.erase(found);
}

void SkinnedList::hideAllProgress() {
    while (!bars_.empty())
        hideProgress(bars_.begin()->first);
}

TextProgressBar* SkinnedList::progressBar(int row) const {
    const auto found = bars_.find(row);
    return found == bars_.end() ? nullptr : found->second.data();
}

std::vector<int> SkinnedList::rowsWithProgress() const {
    std::vector<int> rows;
    for (const auto& [row, bar] : bars_)
        if (bar)
            rows.push_back(row);
    return rows;
}

std::vector<int> SkinnedList::selectedRowNumbers() const {
    std::vector<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void SkinnedList::paintEvent(QPaintEvent* event) {
    using namespace skin_colour;
    {
        // The stripes run down the whole list, under the rows and below them.
        QPainter painter(viewport());
        const int height = viewport()->height();
        int right = 0;
        for (int visual = 0; model() && visual < model()->columnCount(); ++visual) {
            const int column = header_->logicalIndex(visual);
            if (isColumnHidden(column))
                continue;
            const int x = columnViewportPosition(column);
            const int width = columnWidth(column);
            painter.fillRect(QRect(x, 0, width, height),
                             column % 2 == 0 ? kListStripeEven : kListStripeOdd);
            right = std::max(right, x + width);
        }
        if (right < viewport()->width())
            painter.fillRect(QRect(right, 0, viewport()->width() - right, height), kListStripeEven);
    }
    QTableView::paintEvent(event);
    if (emptyText_.isEmpty() || (model() && model()->rowCount() > 0))
        return;
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(kListNotice);
    const QPoint at = emptyTextAt_ - viewport()->geometry().topLeft();
    painter.drawText(QRect(at, QSize(viewport()->width() - at.x(), fontMetrics().height() + 4)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, emptyText_);
}

}  // namespace tonalda::ui
