#include "ui/empty_view.h"

#include <QPainter>

#include "ui/skin.h"

namespace tonalda::ui {

EmptyView::EmptyView(const QString& name, QWidget* parent) : QWidget(parent) {
    setAccessibleName(name);
}

void EmptyView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin::draw(painter, QStringLiteral("view_background"), rect());
}

}  // namespace tonalda::ui
