#include "Tools/BaseView.h"

#include <QPalette>

namespace pex {

BaseView::BaseView(Key, QWidget* parent) : QWidget(parent) {}

void BaseView::runSetup() {
    setupUI();
    setupConstraints();
}

void BaseView::setupUI() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setAutoFillBackground(true);
}

void BaseView::setupConstraints() {}

}  // namespace pex
