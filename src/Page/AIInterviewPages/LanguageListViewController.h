#pragma once
// The language picker shown in a pop-over under a language label of the interview setup page:
// a search field over a one-column list of the languages "/language/list" offers for the side
// that opened it (1 the language heard, 2 the language translated into). The list is fetched
// each time a picker is made; typing narrows it by name; a chosen row goes to the delegate,
// which decides where it is stored and closes the pop-over.
#include <QPointer>
#include <vector>

#include "Page/AIInterviewPages/LanguageSelectorDelegate.h"
#include "Tools/BaseViewController.h"
#include "service/LanguageListModel.h"

class QLineEdit;
class QListWidget;

namespace pex {

class LanguageListViewController : public BaseViewController {
    Q_OBJECT
  public:
    static constexpr const char* kPlaceholder = "搜索国家/地区";
    static constexpr const char* kColumnIdentifier = "LanguageColumn";

    explicit LanguageListViewController(QObject* parent = nullptr);

    // Set by the opener before the view loads.
    int source = 1;
    // Not owned; a delegate that has gone is never called.
    QPointer<QObject> delegateObject;
    LanguageSelectorDelegate* delegate = nullptr;
    void setDelegate(QObject* owner, LanguageSelectorDelegate* delegate);

    std::vector<LanguageListModel> countryModels;   // every language of the last reply
    std::vector<LanguageListModel> filteredModels;  // the rows shown

    QListWidget* tableView() const { return tableView_; }
    QLineEdit* searchField() const { return searchField_; }

    // The languages whose name contains `text`, ignoring letter case, in list order; all of
    // them for an empty text.
    static std::vector<LanguageListModel> filtered(const std::vector<LanguageListModel>& all,
                                                   const QString& text);

    void fetchLanguages(int source);
    void filterLanguages();
    void handleSelection();

  protected:
    void loadView() override;
    void viewDidLoad() override;

  private:
    void setupSearchField(QWidget* view);
    void setupTableView(QWidget* view);
    void reloadData();

    QListWidget* tableView_ = nullptr;
    QLineEdit* searchField_ = nullptr;
};

}  // namespace pex
