#pragma once
// The title of a page that has no content of its own yet, centred in the page's view.
class QLabel;
class QString;
class QWidget;

namespace pex {

QLabel* addPageTitleLabel(QWidget* page, const QString& title);

}  // namespace pex
