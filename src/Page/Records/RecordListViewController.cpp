#include "Page/Records/RecordListViewController.h"

#include <QVBoxLayout>

#include "service/HttpDatas.h"

namespace pex {

namespace {
constexpr int kVerticalInset = 10;
constexpr int kHorizontalInset = 16;
}  // namespace

RecordListViewController::RecordListViewController(QString pageTitle, std::string path,
                                                   QObject* parent)
    : ViewController(parent), pageTitle_(std::move(pageTitle)), path_(std::move(path)) {}

RecordListViewController::~RecordListViewController() {
    // The list belongs to the view once the view is loaded; before that it is the page's.
    if (scrollView_ && !scrollView_->parent()) delete scrollView_.data();
}

void RecordListViewController::loadView() {
    auto* page = new QWidget;
    page->resize(kWidth, kHeight);
    setView(page);
}

void RecordListViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    setTitle(pageTitle_);
    QWidget* page = view();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(kHorizontalInset, kVerticalInset, kHorizontalInset, kVerticalInset);
    layout->addWidget(scrollView());
    loadRecords();
}

QScrollArea* RecordListViewController::scrollView() {
    if (!scrollView_) {
        auto* scroll = new QScrollArea;
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidgetResizable(true);
        // No background of its own: the page shows through.
        scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
        scroll->viewport()->setAutoFillBackground(false);
        scroll->setWidget(tableView());
        scrollView_ = scroll;
    }
    return scrollView_.data();
}

QWidget* RecordListViewController::tableView() {
    if (!tableView_) {
        auto* table = new QWidget;
        table->setObjectName(QStringLiteral("ConsumeColumn"));
        table->setAutoFillBackground(false);
        rows_ = new QVBoxLayout(table);
        rows_->setContentsMargins(0, 0, 0, 0);
        rows_->setSpacing(0);
        rows_->addStretch(1);
        tableView_ = table;
    }
    return tableView_.data();
}

ConsumeCellMac* RecordListViewController::viewForRow(int row) {
    tableView();
    // Rows lie in the list's layout in order, followed by the stretch that keeps them on top.
    ConsumeCellMac* cell = nullptr;
    if (row < rows_->count() - 1) {
        cell = qobject_cast<ConsumeCellMac*>(rows_->itemAt(row)->widget());
    }
    if (!cell) {
        cell = new ConsumeCellMac(tableView_.data());
        cell->setMinimumHeight(ConsumeCellMac::kRowHeight);
        rows_->insertWidget(row, cell);
    }
    configureRow(*cell, row);
    return cell;
}

void RecordListViewController::reloadData() {
    tableView();
    const int rows = numberOfRows();
    for (int row = 0; row < rows; ++row) viewForRow(row);
    // Rows beyond the new count go.
    while (rows_->count() - 1 > rows) {
        QLayoutItem* item = rows_->takeAt(rows);
        delete item->widget();
        delete item;
    }
}

void RecordListViewController::loadRecords() {
    QPointer<RecordListViewController> weak(this);
    const nlohmann::json parameters = {{"page_num", 1}, {"page_size", kPageSize}};
    HttpDatas::shared().request(
        path_, HTTPMethod::Get, parameters, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (!weak || failed != false || !reply) return;
            const nlohmann::json data = reply->is_object() && reply->contains("data")
                                            ? reply->at("data")
                                            : nlohmann::json();
            if (weak->takeRecords(data)) weak->reloadData();
        });
}

}  // namespace pex
