// Mapping service replies onto the reply models by field name.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "service/BaseNetModel.h"
#include "service/CheckVersionModel.h"
#include "service/ConsumeDataModel.h"
#include "service/CountryListModel.h"
#include "service/LoginUserModel.h"
#include "service/OrderDataModel.h"
#include "service/RechargeModel.h"
#include "service/ReplyMapper.h"

namespace pex {
namespace {

using nlohmann::json;

TEST(ReplyMapping, OnlyObjectsMapToAModel) {
    for (const json& value : {json("token-text"), json(5), json(nullptr), json::array(),
                              json::array({json::object()})}) {
        SCOPED_TRACE(value.dump());
        EXPECT_FALSE(ReplyMapper::map<LoginUserModel>(value).has_value());
        EXPECT_FALSE(ReplyMapper::map<CheckVersionModel>(value).has_value());
    }
    EXPECT_TRUE(ReplyMapper::map<LoginUserModel>(json::object()).has_value());
    EXPECT_FALSE(ReplyMapper::mapText<LoginUserModel>("unknown").has_value());
    EXPECT_FALSE(ReplyMapper::mapText<LoginUserModel>("{\"token\":").has_value());
}

TEST(ReplyMapping, AValueThatCannotBeWrittenAsTextYieldsNoModel) {
    const json invalidUtf8 = {{"token", std::string("\xff\xfe")}};
    EXPECT_FALSE(ReplyMapper::map<LoginUserModel>(invalidUtf8).has_value());
}

TEST(ReplyMapping, FieldsConvertOrKeepTheirDefaults) {
    // key value → mapped `ID` (integer, default 0) and `price` (text, default none).
    struct Case {
        json value;
        std::int64_t id;
        std::optional<std::string> price;
    };
    const std::vector<Case> cases = {
        {nullptr, 0, std::nullopt},
        {42, 42, "42"},
        {12.5, 12, "12.5"},
        {"17", 17, "17"},
        {"9.99", 9, "9.99"},
        {"abc", 0, "abc"},
        {true, 1, "true"},
        {json::object({{"x", 1}}), 0, std::nullopt},
        {json::array({1}), 0, std::nullopt},
        {1e300, INT64_MAX, "1e+300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.dump());
        const auto model =
            ReplyMapper::map<RechargeModel::Ref>(json{{"ID", c.value}, {"price", c.value}});
        ASSERT_TRUE(model.has_value());
        EXPECT_EQ((*model)->ID, c.id);
        EXPECT_EQ((*model)->price, c.price);
    }
    const auto missing = ReplyMapper::map<RechargeModel::Ref>(json{{"unrelated", 1}});
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ((*missing)->ID, 0);
    EXPECT_FALSE((*missing)->price.has_value());
    EXPECT_FALSE((*missing)->isSelected);
}

TEST(ReplyMapping, VersionDefaultsHoldWhenKeysAreMissingOrUnreadable) {
    const auto bare = ReplyMapper::map<CheckVersionModel>(json{{"version", "1.2.0"}});
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->build, 1);
    EXPECT_EQ(bare->min_build, 1);
    EXPECT_EQ(bare->is_force, 0);
    EXPECT_EQ(bare->version, "1.2.0");
    EXPECT_FALSE(bare->min_version.has_value());

    const auto odd = ReplyMapper::map<CheckVersionModel>(
        json{{"build", "x"}, {"min_build", nullptr}, {"is_force", "1"}, {"min_version", 1.1}});
    ASSERT_TRUE(odd.has_value());
    EXPECT_EQ(odd->build, 1);
    EXPECT_EQ(odd->min_build, 1);
    EXPECT_EQ(odd->is_force, 1);
    EXPECT_EQ(odd->min_version, "1.1");
}

TEST(ReplyMapping, LoginDataMapsTokenRightsAndUser) {
    const json data = json::parse(R"({"token":"T-1","rights":["a",2,null,{}],
        "user":{"user_code":"U1","point":120,"duration":"30","resume":{"resume_id":"r"}},
        "extra":true})");
    const auto login = ReplyMapper::map<LoginUserModel>(data);
    ASSERT_TRUE(login.has_value());
    EXPECT_EQ(login->token, "T-1");
    EXPECT_EQ(login->rights, (std::vector<std::string>{"a", "2"}));
    ASSERT_TRUE(login->user.has_value());
    EXPECT_EQ(login->user->user_code, "U1");
    EXPECT_EQ(login->user->point, "120");
    EXPECT_EQ(login->user->duration, 30);
    EXPECT_FALSE(login->user->phone.has_value());

    const auto noUser = ReplyMapper::map<LoginUserModel>(json{{"user", "U1"}, {"token", nullptr}});
    ASSERT_TRUE(noUser.has_value());
    EXPECT_FALSE(noUser->user.has_value());
    EXPECT_FALSE(noUser->token.has_value());
}

TEST(ReplyMapping, EnvelopeMapsTheWholeReply) {
    const auto reply = ReplyMapper::map<BaseNetModel>(
        json{{"code", 1005}, {"message", "余额不足"}, {"data", {{"code", "CN"}}}});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->code, 1005);
    EXPECT_EQ(reply->message, "余额不足");
    ASSERT_TRUE(reply->data.has_value());
    EXPECT_EQ(reply->data->code, "CN");

    const auto plain = ReplyMapper::map<BaseNetModel>(json{{"data", "ok"}});
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->code, 0);
    EXPECT_FALSE(plain->message.has_value());
    EXPECT_FALSE(plain->data.has_value());
}

TEST(ReplyMapping, ListsNeedEveryElementToBeAnObject) {
    const json countries = json::parse(R"([{"code":"CN","name_zn":"中国","country_code":"86"},
                                           {"code":"US","name_en":"United States"}])");
    const auto list = ReplyMapper::mapList<CountryListModel>(countries);
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].name_zn, "中国");
    EXPECT_EQ((*list)[1].name_en, "United States");
    EXPECT_FALSE((*list)[1].name_zn.has_value());

    EXPECT_TRUE(ReplyMapper::mapList<CountryListModel>(json::array())->empty());
    for (const json& bad :
         {json::parse(R"([{"code":"CN"}, null])"), json::parse(R"([{"code":"CN"}, "US"])"),
          json::parse(R"([[{"code":"CN"}]])"), json::object(), json("[]")}) {
        SCOPED_TRACE(bad.dump());
        EXPECT_FALSE(ReplyMapper::mapList<CountryListModel>(bad).has_value());
        EXPECT_FALSE(ReplyMapper::mapList<RechargeModel::Ref>(bad).has_value());
    }
}

TEST(ReplyMapping, GoodsAreSharedObjects) {
    const auto goods = ReplyMapper::mapList<RechargeModel::Ref>(
        json::parse(R"([{"ID":3,"goods_name":"1小时","apple_id":"com.x.1h"},{"ID":4}])"));
    ASSERT_TRUE(goods.has_value());
    ASSERT_EQ(goods->size(), 2u);
    auto chosen = (*goods)[1];
    chosen->isSelected = true;
    EXPECT_TRUE((*goods)[1]->isSelected);
    EXPECT_FALSE((*goods)[0]->isSelected);
    EXPECT_EQ((*goods)[0]->apple_id, "com.x.1h");
}

TEST(ReplyMapping, RecordPagesMapTheirRows) {
    const auto orders = ReplyMapper::map<OrderDataModel>(json::parse(R"({"total":"2","data":[
        {"order_no":"O1","pay_money":"9.90","pay_status":1,"created_at":"2024-03-05T07:08:09.000Z"},
        {"order_no":"O2","pay_method":"2"}, 5]})"));
    ASSERT_TRUE(orders.has_value());
    EXPECT_EQ(orders->total, 2);
    ASSERT_TRUE(orders->data.has_value());
    ASSERT_EQ(orders->data->size(), 2u);  // the element that is not an object is left out
    EXPECT_EQ((*orders->data)[0].pay_money, "9.90");
    EXPECT_FALSE((*orders->data)[1].pay_money.has_value());
    EXPECT_EQ((*orders->data)[1].pay_method, 2);

    const auto consumption = ReplyMapper::map<ConsumeDataModel>(
        json::parse(R"({"data":[{"function":"面试","time_package":3661}]})"));
    ASSERT_TRUE(consumption.has_value());
    EXPECT_EQ(consumption->total, 0);
    ASSERT_EQ(consumption->data->size(), 1u);
    EXPECT_EQ((*consumption->data)[0].time_package, 3661);
    EXPECT_EQ((*consumption->data)[0].function, "面试");

    const auto noRows = ReplyMapper::map<ConsumeDataModel>(json{{"data", "none"}});
    ASSERT_TRUE(noRows.has_value());
    EXPECT_FALSE(noRows->data.has_value());
}

}  // namespace
}  // namespace pex
