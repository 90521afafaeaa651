// The country picker against the stand-in's "/country/list": the list in the service's order,
// the filter by dialling code and Chinese name, a reply that cannot be mapped, and the choice
// handed to the delegate from the filtered rows, closing the pop-over.
#include "Login/CountryListViewController.h"

#include <QLineEdit>
#include <QListWidget>

#include "LoginFixture.h"
#include "platform/appkit/Popover.h"
#include "purchase/ConsoleCapture.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Reply;

class RecordingDelegate : public CountrySelectorDelegate {
  public:
    void didSelectCountry(const CountryListModel& country) override { chosen.push_back(country); }
    std::vector<CountryListModel> chosen;
};

class CountryListViewControllerTest : public test::LoginFixture {
  protected:
    // A picker shown in a pop-over under an anchor, as the login window shows it.
    CountryListViewController* showPicker() {
        anchor_ = std::make_unique<QWidget>();
        anchor_->resize(200, 30);
        anchor_->show();
        auto* picker = new CountryListViewController;
        picker->delegate = &delegate_;
        popover_ = std::make_unique<Popover>();
        popover_->setContentViewController(picker);
        popover_->show(anchor_->rect(), anchor_.get());
        return picker;
    }
    bool waitForRows(CountryListViewController* picker) {
        return test::runMainUntil([&] { return picker->tableView->count() > 0; });
    }
    static QStringList rows(const CountryListViewController* picker) {
        QStringList texts;
        for (int i = 0; i < picker->tableView->count(); ++i) {
            texts << picker->tableView->item(i)->text();
        }
        return texts;
    }
    void TearDown() override {
        popover_.reset();
        anchor_.reset();
        LoginFixture::TearDown();
    }

    RecordingDelegate delegate_;
    std::unique_ptr<QWidget> anchor_;
    std::unique_ptr<Popover> popover_;
};

TEST_F(CountryListViewControllerTest, BuildsTheSearchFieldAndTheListAndLoadsTheCountries) {
    CountryListViewController* picker = showPicker();
    EXPECT_EQ(picker->searchField->placeholderText(), QStringLiteral("搜索国家/地区"));
    EXPECT_EQ(picker->view()->sizeHint(), QSize(220, 340));
    EXPECT_EQ(picker->tableView->count(), 0);  // empty until the reply arrives
    ASSERT_TRUE(waitForRows(picker));
    EXPECT_EQ(requests("/country/list").size(), 1u);
    EXPECT_EQ(picker->countryModels.size(), 15u);
    EXPECT_EQ(picker->filteredModels, picker->countryModels);
    const QStringList texts = rows(picker);
    EXPECT_EQ(texts.front(), QStringLiteral("中国 +86"));
    EXPECT_EQ(texts.back(), QStringLiteral("法国 +33"));
}

TEST_F(CountryListViewControllerTest, FiltersByDiallingCodeOrChineseNameOnly) {
    CountryListViewController* picker = showPicker();
    ASSERT_TRUE(waitForRows(picker));
    struct Case {
        const char* query;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {"86", {"中国 +86", "中国台湾 +886"}},
        {"中国", {"中国 +86", "中国香港 +852", "中国澳门 +853", "中国台湾 +886"}},
        {"新", {"新加坡 +65", "新西兰 +64"}},
        {"China", {}},  // English names are not searched
        {"CN", {}},     // nor the country code
        {"", {}},       // the whole list again (checked below)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        picker->searchField->setText(QString::fromUtf8(c.query));
        if (std::string(c.query).empty()) {
            EXPECT_EQ(picker->tableView->count(), 15);
        } else {
            EXPECT_EQ(rows(picker), c.expected);
        }
    }
    EXPECT_TRUE(delegate_.chosen.empty());  // filtering chooses nothing
}

TEST_F(CountryListViewControllerTest, ChoosingARowHandsThatFilteredCountryOverAndClosesThePopover) {
    CountryListViewController* picker = showPicker();
    ASSERT_TRUE(waitForRows(picker));
    ASSERT_TRUE(popover_->isShown());
    picker->searchField->setText(QStringLiteral("中国"));
    picker->tableView->item(2)->setSelected(true);
    ASSERT_EQ(delegate_.chosen.size(), 1u);
    EXPECT_EQ(delegate_.chosen[0].country_code, "853");
    EXPECT_EQ(delegate_.chosen[0].name_zn, "中国澳门");
    EXPECT_EQ(delegate_.chosen[0].code, "MO");
    EXPECT_FALSE(popover_->isShown());
}

// One element that is not a country spoils the reply: the list stays as it was (empty).
TEST_F(CountryListViewControllerTest, AReplyWithAnUnmappableElementLeavesTheListEmpty) {
    const std::vector<json> replies = {
        json::array({{{"country_code", "86"}, {"name_zn", "中国"}}, 42}),
        json{{"country_code", "86"}},
        nullptr,
    };
    for (const json& data : replies) {
        SCOPED_TRACE(data.dump());
        service_.clearRequests();
        service_.addApiPath("GET", "/country/list",
                            [data](const standin::Call&) { return Reply::ok(data); });
        // The client logs the reply on the main thread just before it calls the completion.
        test::ConsoleCapture console;
        CountryListViewController* picker = showPicker();
        ASSERT_TRUE(test::runMainUntil([&] { return console.linesStartingWith("🍺result:") > 0; }));
        settle();
        EXPECT_TRUE(picker->countryModels.empty());
        EXPECT_EQ(picker->tableView->count(), 0);
        picker->searchField->setText(QStringLiteral("86"));
        EXPECT_EQ(picker->tableView->count(), 0);
    }
}

TEST_F(CountryListViewControllerTest, AFailedRequestLeavesTheListEmpty) {
    service_.setFault("/country/list", standin::Fault::serviceError(5, "服务繁忙"));
    CountryListViewController* picker = showPicker();
    waitForAlert();
    EXPECT_EQ(alerts_->messages.back(), "服务繁忙");
    EXPECT_EQ(picker->tableView->count(), 0);
}

}  // namespace
}  // namespace pex
