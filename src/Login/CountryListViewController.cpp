#include "Login/CountryListViewController.h"

#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "platform/appkit/SystemFont.h"
#include "service/HttpDatas.h"
#include "service/ReplyMapper.h"

namespace pex {

namespace {

constexpr int kMargin = 10;
constexpr int kSearchHeight = 30;
constexpr QSize kListSize{200, 280};
constexpr int kRowHeight = 30;

QString lowered(const std::optional<std::string>& text) {
    return QString::fromStdString(text.value_or("")).toLower();
}

}  // namespace

CountryListViewController::CountryListViewController(QObject* parent) : ViewController(parent) {}

QString CountryListViewController::rowText(const CountryListModel& country) {
    return QString::fromStdString(country.name_zn.value_or("")) + QStringLiteral(" +") +
           QString::fromStdString(country.country_code.value_or(""));
}

void CountryListViewController::loadView() {
    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kMargin);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    searchField = new QLineEdit(view);
    searchField->setPlaceholderText(QStringLiteral("搜索国家/地区"));
    searchField->setAccessibleName(QStringLiteral("搜索国家/地区"));
    searchField->setAttribute(Qt::WA_MacShowFocusRect, false);
    searchField->setClearButtonEnabled(true);
    searchField->setFixedSize(kListSize.width(), kSearchHeight);
    layout->addWidget(searchField);

    tableView = new QListWidget(view);
    tableView->setObjectName(QStringLiteral("CountryColumn"));
    tableView->setFixedSize(kListSize);
    tableView->setFont(systemFont(13));
    tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    tableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tableView->setUniformItemSizes(true);
    layout->addWidget(tableView);

    setView(view);
}

void CountryListViewController::viewDidLoad() {
    connect(searchField, &QLineEdit::textChanged, this, [this] { controlTextDidChange(); });
    connect(tableView, &QListWidget::itemSelectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    requestCountries();
}

void CountryListViewController::requestCountries() {
    QPointer<CountryListViewController> weak(this);
    HttpDatas::shared().request(
        "/country/list", HTTPMethod::Get, std::nullopt, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (!weak || failed != false || !reply) return;
            const nlohmann::json data =
                reply->is_object() && reply->contains("data") ? (*reply)["data"] : nullptr;
            // One element that is not a country spoils the whole reply: keep what is shown.
            auto countries = ReplyMapper::mapList<CountryListModel>(data);
            if (!countries) return;
            weak->countryModels = *countries;
            weak->filteredModels = std::move(*countries);
            weak->reloadData();
        });
}

void CountryListViewController::controlTextDidChange() {
    const QString query = searchField ? searchField->text().toLower() : QString();
    if (query.isEmpty()) {
        filteredModels = countryModels;
    } else {
        filteredModels.clear();
        for (const CountryListModel& country : countryModels) {
            if (lowered(country.name_zn).contains(query) ||
                lowered(country.country_code).contains(query)) {
                filteredModels.push_back(country);
            }
        }
    }
    reloadData();
}

void CountryListViewController::reloadData() {
    if (!tableView) return;
    const QSignalBlocker quiet(tableView);  // rebuilding the rows is no choice of the user's
    tableView->clear();
    for (const CountryListModel& country : filteredModels) {
        auto* item = new QListWidgetItem(rowText(country), tableView);
        item->setSizeHint(QSize(0, kRowHeight));
    }
}

void CountryListViewController::tableViewSelectionDidChange() {
    if (!tableView) return;
    const QList<QListWidgetItem*> selected = tableView->selectedItems();
    if (selected.isEmpty()) return;
    const int row = tableView->row(selected.first());
    if (row < 0 || static_cast<std::size_t>(row) >= filteredModels.size()) return;
    const CountryListModel country = filteredModels[static_cast<std::size_t>(row)];
    QPointer<CountryListViewController> self(this);
    if (delegate) delegate->didSelectCountry(country);
    if (self) dismiss();
}

void CountryListViewController::dismiss() {
    // Shown in a pop-over: closing its pop-up window dismisses the picker.
    if (!isViewLoaded()) return;
    QWidget* window = view()->window();
    if (window != view() && window->windowType() == Qt::Popup) window->close();
}

}  // namespace pex
