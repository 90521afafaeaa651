#include "Page/PageTitleLabel.h"

#include <QLabel>
#include <QVBoxLayout>

#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"

namespace pex {

QLabel* addPageTitleLabel(QWidget* page, const QString& title) {
    QLabel* label = makeTextLabel(title, page);
    label->setObjectName(QStringLiteral("pageTitle"));
    label->setFont(themeFont17());
    label->setAlignment(Qt::AlignCenter);
    setTextColor(label, themeTextColor());
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label);
    return label;
}

}  // namespace pex
