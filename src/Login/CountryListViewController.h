#pragma once
// The country picker shown under the login window's country label: a search field over a
// one-column list of countries loaded from "/country/list" each time the picker is created.
// Typing filters the list by Chinese name or dialling code; choosing a row tells the delegate
// and closes the pop-over that shows the picker.
#include <QPointer>
#include <vector>

#include "Login/CountrySelectorDelegate.h"
#include "platform/appkit/ViewController.h"
#include "service/CountryListModel.h"

class QLineEdit;
class QListWidget;

namespace pex {

class CountryListViewController : public ViewController {
    Q_OBJECT
  public:
    explicit CountryListViewController(QObject* parent = nullptr);

    // Not owned. The login window that sets itself here owns the pop-over that owns this
    // picker, so it outlives the picker.
    CountrySelectorDelegate* delegate = nullptr;

    std::vector<CountryListModel> countryModels;   // the whole list, in the service's order
    std::vector<CountryListModel> filteredModels;  // the rows shown

    QPointer<QListWidget> tableView;
    QPointer<QLineEdit> searchField;

    // The text of a row: the Chinese name, " +" and the dialling code.
    static QString rowText(const CountryListModel& country);

    // Applies the search field's text to the list (each change of the text).
    void controlTextDidChange();
    // The list's selection changed.
    void tableViewSelectionDidChange();

  protected:
    void loadView() override;
    void viewDidLoad() override;

  private:
    void requestCountries();
    void reloadData();
    void dismiss();
};

}  // namespace pex
