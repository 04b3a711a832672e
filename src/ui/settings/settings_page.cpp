#include "ui/settings/settings_page.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tonalda::ui {
namespace {

// The page's picture at the top left: the tab's icon drawn at 32 x 32, sharp at any pixel ratio.
class PagePicture : public QWidget {
  public:
    explicit PagePicture(const QIcon& icon) : icon_(icon) { setFixedSize(32, 32); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        icon_.paint(&painter, rect());
    }

  private:
    QIcon icon_;
};

}  // namespace

SettingsPage::SettingsPage(QString caption, const QString& iconResource, QWidget* parent)
    : QWidget(parent),
      caption_(std::move(caption)),
      // A picture the skin lacks stays empty (QIcon would complain on every paint).
      icon_(QFile::exists(iconResource) ? QIcon(iconResource) : QIcon()) {
    setAccessibleName(caption_);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(new PagePicture(icon_), 0, Qt::AlignTop);
    auto* content = new QVBoxLayout;
    layout->addLayout(content, 1);
    content_ = content;
}

void SettingsPage::ensureInitialised() {
    if (initialised_)
        return;
    initialised_ = true;
    initialise();
}

}  // namespace tonalda::ui
