#pragma once
// What the two record pages share: a plain 600 × 400 page holding a one-column list of
// ConsumeCellMac rows, filled once from the first page (at most 100 records) of the service's
// records when the view has loaded. Service failures leave the list as it was (the service
// client shows them). The pages store nothing.
#include <QPointer>
#include <QScrollArea>
#include <string>

#include <nlohmann/json.hpp>

#include "Page/Records/ConsumeCellMac.h"
#include "platform/appkit/ViewController.h"

class QVBoxLayout;

namespace pex {

class RecordListViewController : public ViewController {
    Q_OBJECT
  public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 400;
    static constexpr int kPageSize = 100;

    ~RecordListViewController() override;

    // Asks the service for the first page of records; the reply replaces the rows.
    void loadRecords();

    virtual int numberOfRows() const = 0;
    // The row's view, made on first use and reused by later reloads.
    ConsumeCellMac* viewForRow(int row);
    // Shows the current rows again.
    void reloadData();

    QScrollArea* scrollView();
    QWidget* tableView();
    const std::string& path() const { return path_; }

  protected:
    RecordListViewController(QString pageTitle, std::string path, QObject* parent);

    void loadView() override;
    void viewDidLoad() override;

    // Maps the reply's "data"; answers whether it held a list, which then replaced the rows.
    virtual bool takeRecords(const nlohmann::json& data) = 0;
    // Hands the row's record to the cell and shows it.
    virtual void configureRow(ConsumeCellMac& cell, int row) = 0;

  private:
    QString pageTitle_;
    std::string path_;
    QPointer<QScrollArea> scrollView_;
    QPointer<QWidget> tableView_;
    QVBoxLayout* rows_ = nullptr;
};

}  // namespace pex
