// The language picker against the local stand-in service: the request per side, filtering by
// name, a list that arrives after typing, and what a selection hands to the delegate.
#include "Page/AIInterviewPages/LanguageListViewController.h"

#include <QLineEdit>
#include <QListWidget>

#include "PageFixture.h"
#include "standin-service/StandinService.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using standin::Fault;

LanguageListModel lang(const char* name, const char* original, const char* translation) {
    return LanguageListModel::fromJSON(
        {{"ID", 1}, {"name", name}, {"original_key", original}, {"translation_key", translation}});
}

std::vector<std::string> names(const std::vector<LanguageListModel>& list) {
    std::vector<std::string> result;
    for (const auto& language : list) result.push_back(language.name);
    return result;
}

class Chooser : public QObject, public LanguageSelectorDelegate {
  public:
    void languageSelected(const LanguageListModel& language) override {
        chosen.push_back(language.name);
    }
    std::vector<std::string> chosen;
};

class LanguageListTest : public PageFixture {
  protected:
    ~LanguageListTest() override {
        settleReplies();
        delete list_;
    }
    LanguageListViewController* open(int source) {
        list_ = new LanguageListViewController;
        list_->source = source;
        list_->setDelegate(&chooser_, &chooser_);
        list_->view()->show();
        return list_;
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> result;
        for (int i = 0; i < list_->tableView()->count(); ++i) {
            result.push_back(list_->tableView()->item(i)->text().toStdString());
        }
        return result;
    }

    Chooser chooser_;
    LanguageListViewController* list_ = nullptr;
};

TEST(LanguageFilter, MatchesNamesOnlyInAnyLetterCase) {
    const std::vector<LanguageListModel> all = {
        lang("English (US)", "en-US", "en"), lang("english (UK)", "en-GB", "en"),
        lang("日语", "ja-JP", "ja"), lang("中文（普通话）", "zh-CN", "zh-Hans")};
    struct Case {
        const char* text;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", {"English (US)", "english (UK)", "日语", "中文（普通话）"}},
        {"ENGLISH", {"English (US)", "english (UK)"}},
        {"uk", {"english (UK)"}},
        {"日", {"日语"}},
        {"zh", {}},  // a key, not a name
        {"ja", {}},
        {"法语", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(names(LanguageListViewController::filtered(all, QString::fromUtf8(c.text))),
                  c.expected);
    }
}

TEST_F(LanguageListTest, EachSideAsksForItsOwnList) {
    for (const int source : {1, 2}) {
        open(source);
        ASSERT_TRUE(settleReplies());
        EXPECT_EQ(service_.requests("/language/list").back().query,
                  "source=" + std::to_string(source));
        EXPECT_EQ(rows().size(), 9u);
        EXPECT_EQ(rows().front(), "中文（普通话）");
        delete list_;
        list_ = nullptr;
    }
    EXPECT_EQ(service_.requests("/language/list").size(), 2u);
}

TEST_F(LanguageListTest, TypingNarrowsTheListAndClearingRestoresIt) {
    open(1);
    ASSERT_TRUE(settleReplies());
    list_->searchField()->setText(QStringLiteral("英语"));
    EXPECT_EQ(rows(), (std::vector<std::string>{"英语（美国）", "英语（英国）"}));
    list_->searchField()->clear();
    EXPECT_EQ(rows().size(), 9u);
}

TEST_F(LanguageListTest, AListArrivingAfterTypingIsFilteredAtOnce) {
    service_.setFault("/language/list", Fault::slow(std::chrono::milliseconds(200)));
    open(2);
    list_->searchField()->setText(QStringLiteral("语（"));
    EXPECT_TRUE(rows().empty());
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(rows(), (std::vector<std::string>{"英语（美国）", "英语（英国）", "粤语（香港）"}));
}

TEST_F(LanguageListTest, ASelectedRowGoesToTheDelegateAndNoRowCallsNothing) {
    open(1);
    ASSERT_TRUE(settleReplies());
    list_->tableView()->clearSelection();
    list_->handleSelection();
    EXPECT_TRUE(chooser_.chosen.empty());
    list_->searchField()->setText(QStringLiteral("日"));
    list_->tableView()->setCurrentRow(0);
    EXPECT_EQ(chooser_.chosen, std::vector<std::string>{"日语"});
}

TEST_F(LanguageListTest, AFailedRequestLeavesTheListEmpty) {
    service_.setFault("/language/list", Fault::serverError(true));
    open(1);
    ASSERT_TRUE(settleReplies());
    EXPECT_TRUE(rows().empty());
}

}  // namespace
}  // namespace pex::test
