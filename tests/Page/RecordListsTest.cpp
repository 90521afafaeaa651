// The order and consumption record pages against the stand-in service.
#include <cstdlib>
#include <ctime>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Page/Records/ConsumeViewController.h"
#include "Page/Records/OrderViewController.h"
#include "PageFixture.h"
#include "Tools/AppImages.h"

namespace pex::test {
namespace {

using standin::Call;
using standin::ConsumeRecord;
using standin::Fault;
using standin::OrderRecord;
using standin::Reply;
using standin::StandinState;

class RecordListsTest : public PageFixture {
  protected:
    void SetUp() override {
        // Record dates show in local time; pin the zone so the texts are known.
        savedZone_ =
            std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
        setenv("TZ", "UTC", 1);
        tzset();
        // Only the records a test adds.
        editAccount([](standin::Account& account) {
            account.consumes.clear();
            account.orders.clear();
        });
    }
    void TearDown() override {
        if (savedZone_) {
            setenv("TZ", savedZone_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    // Changes the signed-in account's records on the service.
    template <typename Edit>
    void editAccount(Edit edit) {
        service_.state().with([&](StandinState::Data& data) {
            edit(data.accounts.at(kPhone));
            return 0;
        });
    }
    void addConsume(std::int64_t seconds, std::string createdAt,
                    std::string function = "AI面试助攻") {
        ConsumeRecord record;
        record.function = std::move(function);
        record.timePackage = seconds;
        record.createdAt = std::move(createdAt);
        editAccount([&](standin::Account& account) { account.consumes.push_back(record); });
    }
    void addOrder(std::string goods, std::string money, std::string createdAt) {
        OrderRecord order;
        order.goodsName = std::move(goods);
        order.payMoney = std::move(money);
        order.createdAt = std::move(createdAt);
        editAccount([&](standin::Account& account) { account.orders.push_back(order); });
    }
    // Loads the page's view, which sends its one request, and waits for the reply.
    template <typename Page>
    std::unique_ptr<Page> openPage() {
        auto page = std::make_unique<Page>();
        page->view();
        EXPECT_TRUE(settleReplies());
        return page;
    }
    // The texts of a row: title, description, right-hand value.
    static std::vector<std::string> rowTexts(RecordListViewController& page, int row) {
        ConsumeCellMac* cell = page.viewForRow(row);
        return {cell->titleLabel()->text().toStdString(), cell->desLabel()->text().toStdString(),
                cell->rightLabel()->text().toStdString()};
    }
    static int cellsInTable(RecordListViewController& page) {
        return static_cast<int>(page.tableView()->findChildren<ConsumeCellMac*>().size());
    }

    std::optional<std::string> savedZone_;
};

TEST_F(RecordListsTest, ConsumptionPageShowsTheServicesRecordsNewestFirst) {
    addConsume(3725, "2025-03-01T08:05:09.000+0000");
    addConsume(59, "2025-03-02T23:59:59.000+0800", "AI笔试助攻");
    addConsume(0, "not a date");

    auto page = openPage<ConsumeViewController>();

    EXPECT_EQ(page->title(), QStringLiteral("消费明细"));
    EXPECT_EQ(page->view()->size(), QSize(600, 400));
    ASSERT_EQ(page->numberOfRows(), 3);
    EXPECT_EQ(cellsInTable(*page), 3);
    EXPECT_THAT(rowTexts(*page, 0), testing::ElementsAre("AI面试助攻", "", "00:00:00"));
    EXPECT_THAT(rowTexts(*page, 1),
                testing::ElementsAre("AI笔试助攻", "2025-03-02 15:59:59", "00:00:59"));
    EXPECT_THAT(rowTexts(*page, 2),
                testing::ElementsAre("AI面试助攻", "2025-03-01 08:05:09", "01:02:05"));

    const auto sent = service_.requests("/consume/page");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "GET");
    EXPECT_THAT(sent[0].query, testing::HasSubstr("page_num=1"));
    EXPECT_THAT(sent[0].query, testing::HasSubstr("page_size=100"));
}

TEST_F(RecordListsTest, OrderPageShowsGoodsDateAndAmount) {
    addOrder("2小时面试时长", "39.90", "2025-03-01T08:05:09.000Z");
    addOrder("1小时面试时长", "", "");

    auto page = openPage<OrderViewController>();

    EXPECT_EQ(page->title(), QStringLiteral("充值记录"));
    ASSERT_EQ(page->numberOfRows(), 2);
    EXPECT_THAT(rowTexts(*page, 0), testing::ElementsAre("1小时面试时长", "", "¥"));
    EXPECT_THAT(rowTexts(*page, 1),
                testing::ElementsAre("2小时面试时长", "2025-03-01 08:05:09", "¥39.90"));
    EXPECT_EQ(service_.requests("/order/page").size(), 1u);
}

// The stand-in writes its dates as the service does, so the demo's lists show them.
TEST_F(RecordListsTest, TheStandinsOwnRecordsShowTheirDates) {
    StandinState fresh;
    const auto demo = fresh.account(StandinState::kDemoPhone);
    ASSERT_TRUE(demo);
    editAccount([&](standin::Account& account) {
        account.consumes = demo->consumes;
        account.orders = demo->orders;
    });
    addConsume(60, standin::isoTimeNow());
    addOrder("1小时面试时长", "19.90", standin::isoTimeNow());
    auto consumes = openPage<ConsumeViewController>();
    auto orders = openPage<OrderViewController>();
    for (RecordListViewController* page : {static_cast<RecordListViewController*>(consumes.get()),
                                           static_cast<RecordListViewController*>(orders.get())}) {
        ASSERT_EQ(page->numberOfRows(), 2);
        for (int row = 0; row < 2; ++row) {
            EXPECT_THAT(rowTexts(*page, row)[1],
                        testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}"))
                << row;
        }
    }
    EXPECT_THAT(rowTexts(*orders, 1)[1], testing::StartsWith("2025-03-01 01:30"));
}

TEST_F(RecordListsTest, OrderRowsShowTheOrderMarkAndConsumptionRowsTheLogo) {
    addOrder("2小时面试时长", "39.90", "2025-03-01T08:05:09.000Z");
    addConsume(60, "2025-03-01T08:05:09.000Z");
    const struct {
        const char* name;
        std::unique_ptr<RecordListViewController> page;
        const char* image;
    } cases[] = {{"orders", openPage<OrderViewController>(), "pingguo"},
                 {"consumption", openPage<ConsumeViewController>(), "logo"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.page->numberOfRows(), 1);
        const QPixmap expected = AppImages::named(QString::fromLatin1(c.image));
        ASSERT_FALSE(expected.isNull()) << "the application ships no picture " << c.image;
        EXPECT_EQ(c.page->viewForRow(0)->iconView()->image().toImage(), expected.toImage());
    }
}

TEST_F(RecordListsTest, OrderWithoutAmountOrNameShowsOnlyTheCurrencySign) {
    service_.addApiPath("GET", "/order/page", [](const Call&) {
        return Reply::ok({{"data", {{{"order_no", "A1"}}}}, {"total", 1}});
    });
    auto page = openPage<OrderViewController>();
    ASSERT_EQ(page->numberOfRows(), 1);
    EXPECT_THAT(rowTexts(*page, 0), testing::ElementsAre("", "", "¥"));
}

TEST_F(RecordListsTest, OnlyTheFirstHundredRecordsAreShown) {
    for (int i = 0; i < 150; ++i) addConsume(i, "2025-03-01T08:05:09.000Z");
    auto page = openPage<ConsumeViewController>();
    ASSERT_EQ(page->numberOfRows(), 100);
    // Newest first: the last record added leads.
    EXPECT_EQ(page->models().front().time_package, 149);
    EXPECT_EQ(cellsInTable(*page), 100);
}

TEST_F(RecordListsTest, AServiceSendingMoreThanOnePageStillShowsOnePage) {
    service_.addApiPath("GET", "/consume/page", [](const Call&) {
        nlohmann::json list = nlohmann::json::array();
        for (int i = 0; i < 150; ++i) list.push_back({{"function", "x"}, {"time_package", i}});
        return Reply::ok({{"data", list}, {"total", 150}});
    });
    auto page = openPage<ConsumeViewController>();
    EXPECT_EQ(page->numberOfRows(), 100);
}

TEST_F(RecordListsTest, EmptyAndUnusableRepliesLeaveTheListEmpty) {
    struct Case {
        const char* name;
        std::function<void(standin::StandinService&)> arrange;
        bool alert;
    };
    const std::vector<Case> cases = {
        {"no records", [](auto&) {}, false},
        {"service error",
         [](auto& service) { service.setFault("/order/page", Fault::serviceError(1, "服务繁忙")); },
         true},
        {"dropped connection",
         [](auto& service) { service.setFault("/order/page", Fault::droppedConnection()); }, true},
        {"not JSON", [](auto& service) { service.setFault("/order/page", Fault::notJson()); },
         false},
        {"data null",
         [](auto& service) {
             service.addApiPath("GET", "/order/page", [](const Call&) { return Reply::ok(); });
         },
         false},
        {"data a text",
         [](auto& service) {
             service.addApiPath("GET", "/order/page",
                                [](const Call&) { return Reply::ok("records"); });
         },
         false},
        {"data without a list",
         [](auto& service) {
             service.addApiPath("GET", "/order/page", [](const Call&) {
                 return Reply::ok({{"total", 3}});
             });
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service_.clearFaults();
        service_.addApiPath("GET", "/order/page", [](const Call&) {
            return Reply::ok({{"data", nlohmann::json::array()}, {"total", 0}});
        });
        c.arrange(service_);
        alerts_->messages.clear();

        OrderViewController page;
        page.view();
        ASSERT_TRUE(settleReplies());
        EXPECT_EQ(page.numberOfRows(), 0);
        EXPECT_EQ(cellsInTable(page), 0);
        if (c.alert) {
            EXPECT_TRUE(runMainUntil([&] { return !alerts_->messages.empty(); }));
        }
    }
}

TEST_F(RecordListsTest, AReplyForAPageThatIsGoneIsIgnored) {
    addConsume(10, "2025-03-01T08:05:09.000Z");
    {
        ConsumeViewController page;
        page.view();
    }
    EXPECT_TRUE(settleReplies());
}

}  // namespace
}  // namespace pex::test
