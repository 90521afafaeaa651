#include "Page/AIInterviewPages/LanguageListViewController.h"

#include <QLineEdit>
#include <QListWidget>

#include "platform/appkit/SystemFont.h"
#include "service/HttpDatas.h"

namespace pex {

namespace {

constexpr int kMargin = 10;
constexpr int kSearchHeight = 30;
constexpr QSize kListSize{200, 280};
constexpr int kRowHeight = 30;

}  // namespace

LanguageListViewController::LanguageListViewController(QObject* parent)
    : BaseViewController(parent) {}

void LanguageListViewController::setDelegate(QObject* owner, LanguageSelectorDelegate* chosen) {
    delegateObject = owner;
    delegate = chosen;
}

std::vector<LanguageListModel> LanguageListViewController::filtered(
    const std::vector<LanguageListModel>& all, const QString& text) {
    const QString query = text.toLower();
    if (query.isEmpty()) return all;
    std::vector<LanguageListModel> matches;
    for (const LanguageListModel& language : all) {
        if (QString::fromStdString(language.name).toLower().contains(query)) {
            matches.push_back(language);
        }
    }
    return matches;
}

void LanguageListViewController::loadView() {
    auto* view = new QWidget;
    view->setFixedSize(kListSize.width() + 2 * kMargin,
                       kSearchHeight + kListSize.height() + 3 * kMargin);
    setupSearchField(view);
    setupTableView(view);
    setView(view);
}

void LanguageListViewController::viewDidLoad() {
    BaseViewController::viewDidLoad();
    connect(searchField_, &QLineEdit::textChanged, this, [this] { filterLanguages(); });
    connect(tableView_, &QListWidget::itemSelectionChanged, this, [this] { handleSelection(); });
    fetchLanguages(source);
}

void LanguageListViewController::setupSearchField(QWidget* view) {
    searchField_ = new QLineEdit(view);
    searchField_->setPlaceholderText(QString::fromUtf8(kPlaceholder));
    searchField_->setAccessibleName(QString::fromUtf8(kPlaceholder));
    searchField_->setAttribute(Qt::WA_MacShowFocusRect, false);
    searchField_->setGeometry(kMargin, kMargin, kListSize.width(), kSearchHeight);
}

void LanguageListViewController::setupTableView(QWidget* view) {
    tableView_ = new QListWidget(view);
    tableView_->setObjectName(QString::fromUtf8(kColumnIdentifier));
    tableView_->setFont(systemFont(13));
    tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    tableView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tableView_->setUniformItemSizes(true);
    tableView_->setStyleSheet(QStringLiteral("QListWidget { background: transparent; }"));
    tableView_->setGeometry(kMargin, kMargin + kSearchHeight + kMargin, kListSize.width(),
                            kListSize.height());
}

void LanguageListViewController::fetchLanguages(int side) {
    const QPointer<LanguageListViewController> weak(this);
    HttpDatas::shared().request(
        "/language/list", HTTPMethod::Get, nlohmann::json{{"source", side}}, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (!weak || failed != false || !reply) return;
            const nlohmann::json data =
                reply->is_object() && reply->contains("data") ? (*reply)["data"] : nullptr;
            weak->countryModels = LanguageListModel::listFromData(data);
            // What the user typed while the list was on its way applies to it at once.
            weak->filterLanguages();
        });
}

void LanguageListViewController::filterLanguages() {
    filteredModels = filtered(countryModels, searchField_ ? searchField_->text() : QString());
    reloadData();
}

void LanguageListViewController::reloadData() {
    if (!tableView_) return;
    const QSignalBlocker quiet(tableView_);  // rebuilding the rows is no choice of the user's
    tableView_->clear();
    for (const LanguageListModel& language : filteredModels) {
        auto* item = new QListWidgetItem(QString::fromStdString(language.name), tableView_);
        item->setSizeHint(QSize(0, kRowHeight));
    }
}

void LanguageListViewController::handleSelection() {
    if (!tableView_) return;
    const int row = tableView_->currentRow();
    if (row < 0 || tableView_->selectedItems().isEmpty() ||
        static_cast<std::size_t>(row) >= filteredModels.size()) {
        return;
    }
    const LanguageListModel chosen = filteredModels[static_cast<std::size_t>(row)];
    if (delegateObject && delegate) delegate->languageSelected(chosen);
}

}  // namespace pex
