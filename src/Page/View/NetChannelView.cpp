#include "Page/View/NetChannelView.h"

#include <QResizeEvent>
#include <algorithm>

#include "Page/View/ChannelButtonView.h"
#include "Page/View/ChannelSelectionGroup.h"
#include "Tools/AppImages.h"
#include "Tools/ColorExtension.h"
#include "Tools/SystemColors.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/URLComponents.h"
#include "service/ApiBaseURL.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"

namespace pex {

namespace {

void removeTrailingSlashes(std::string& text) {
    while (!text.empty() && text.back() == '/') text.pop_back();
}

}  // namespace

QString NetChannelView::Row::name() const {
    const auto found = fields.find("name");
    if (found != fields.end() && found->is_string()) {
        return QString::fromStdString(found->get<std::string>());
    }
    return QStringLiteral("线路");
}

std::optional<std::string> NetChannelView::Row::host() const {
    const auto found = fields.find("host");
    if (found != fields.end() && found->is_string()) return found->get<std::string>();
    return std::nullopt;
}

NetChannelView::NetChannelView(QWidget* parent)
    : QWidget(parent), currentSpeedTestID_(QUuid::createUuid()), hostArrList_(defaultList()) {
    // A clear background: the host's shows through.
    setAutoFillBackground(false);
    refreshChannels();
}

NetChannelView::~NetChannelView() = default;

std::vector<ChannelButtonView*> NetChannelView::deviceButtons() const {
    std::vector<ChannelButtonView*> buttons;
    for (const auto& button : deviceButtons_) buttons.push_back(button.data());
    return buttons;
}

Color NetChannelView::unusableColor() {
    return colorWithHex(0xFF4B44);
}

QString NetChannelView::testingText() {
    return QStringLiteral("测速中");
}

QString NetChannelView::unusableText() {
    return QStringLiteral("不可用");
}

std::string NetChannelView::lineDocumentAddress() {
    return DeploymentSettings::current().staticOrigin.text() + kLineDocumentPath;
}

std::vector<NetChannelView::Row> NetChannelView::defaultList() {
    Row row;
    row.fields = {{"type", 1},
                  {"name", "自动线路"},
                  {"host", DeploymentSettings::current().serviceOrigin.text()},
                  {"sort", 1}};
    row.color = systemGrayColor();
    return {row};
}

// ---- The document ----

void NetChannelView::refreshChannels() {
    assertMainThread("NetChannelView::refreshChannels");
    currentSpeedTestID_ = QUuid::createUuid();
    QPointer<NetChannelView> self(this);
    HttpDatas::shared().request(
        lineDocumentAddress(), HTTPMethod::Get, std::nullopt, std::nullopt,
        [self](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (self) self->handleLineDocument(failed, reply);
        });
}

void NetChannelView::handleLineDocument(std::optional<bool> failed,
                                        const std::optional<nlohmann::json>& reply) {
    if (failed == false && reply) {
        std::vector<Row> rows;
        if (reply->is_object()) {
            const auto data = reply->find("data");
            if (data != reply->end() && data->is_array()) {
                for (const nlohmann::json& element : *data) {
                    if (element.is_object()) rows.push_back(Row{element, {}, {}});
                }
            }
        }
        hostArrList_ = rows.empty() ? defaultList() : std::move(rows);
    } else if (hostArrList_.empty()) {
        hostArrList_ = defaultList();
    }
    for (Row& row : hostArrList_) {
        row.speed = testingText();
        row.color = systemGrayColor();
    }
    reloadButtons();
    layoutButtons();
    runSpeedTest();
}

// ---- Buttons ----

void NetChannelView::reloadButtons() {
    if (hostArrList_.empty()) return;
    const int index = restoreSelection();
    // An out-of-range stored row is replaced here by the one in use.
    SettingsStore::setHostChannelSelectType(index);
    applyChannel(index);

    if (deviceSelectionGroup_) deviceSelectionGroup_->clear();
    for (const auto& button : deviceButtons_) {
        if (!button) continue;
        button->hide();
        button->deleteLater();
    }
    deviceButtons_.clear();

    auto group = std::make_shared<ChannelSelectionGroup>(index);
    std::vector<ChannelButtonView*> buttons;
    const QPixmap mark = AppImages::named(QStringLiteral("ai_select"));
    for (const Row& row : hostArrList_) {
        auto* button = new ChannelButtonView(this);
        button->setTitle(row.name());
        button->setImage(mark);
        button->setSubTitle(row.speed);
        button->setSubTitleColor(row.color);
        buttons.push_back(button);
        deviceButtons_.emplace_back(button);
    }
    group->configure(buttons);
    QPointer<NetChannelView> self(this);
    group->seletIndexTapAction = [self](int index) {
        if (self) self->chooseRow(index);
    };
    for (ChannelButtonView* button : buttons) button->show();
    deviceSelectionGroup_ = std::move(group);
    updateGeometry();
}

void NetChannelView::layoutButtons() {
    // Side by side from the left edge, 120 points wide and as tall as the view; the view's
    // preferred width ends 2 points after the last one.
    int left = 0;
    for (const auto& button : deviceButtons_) {
        if (!button) continue;
        button->setGeometry(left, 0, kButtonWidth, height());
        left += kButtonWidth + kButtonSpacing;
    }
}

QSize NetChannelView::sizeHint() const {
    const int count = static_cast<int>(
        std::count_if(deviceButtons_.begin(), deviceButtons_.end(),
                      [](const QPointer<ChannelButtonView>& button) { return !button.isNull(); }));
    if (count == 0) return QSize(0, kPreferredHeight);
    int width = count * kButtonWidth + (count - 1) * kButtonSpacing;
    if (count > 1) width += kTrailingInset;
    return QSize(width, kPreferredHeight);
}

void NetChannelView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}

void NetChannelView::chooseRow(int index) {
    if (!isRow(index)) return;
    consoleLog("====选中了设备: " + std::to_string(index));
    applyChannel(index);
    SettingsStore::setHostChannelSelectType(index);
}

// ---- Selection ----

bool NetChannelView::isRow(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < hostArrList_.size();
}

int NetChannelView::restoreSelection() const {
    const int stored = SettingsStore::hostChannelSelectType().value_or(0);
    return isRow(stored) ? stored : 0;
}

void NetChannelView::applyChannel(int index) {
    if (isRow(index)) {
        const auto base = normalizeHost(hostArrList_[static_cast<std::size_t>(index)].host());
        if (base && isUsableLineAddress(*base)) {
            setApiBaseURL(*base + kApiPath);
            return;
        }
    }
    // The mainland line: the initial value.
    resetApiBaseURL();
}

std::optional<std::string> NetChannelView::normalizeHost(const std::optional<std::string>& host) {
    if (!host) return std::nullopt;
    // Unicode white space and line breaks too, as a pasted document may carry them.
    std::string text = QString::fromStdString(*host).trimmed().toStdString();
    if (text.empty()) return std::nullopt;
    if (!text.starts_with("http://") && !text.starts_with("https://")) text = "https://" + text;
    removeTrailingSlashes(text);
    const std::string api = kApiPath;
    if (text.ends_with(api)) text.erase(text.size() - api.size());
    removeTrailingSlashes(text);
    return text;
}

bool NetChannelView::isUsableLineAddress(const std::string& address) {
    const auto url = URLComponents::parse(address);
    if (!url) return false;
    if (url->scheme == "https") return true;
    if (url->scheme != "http") return false;
    Origin origin;
    origin.scheme = url->scheme;
    origin.host = url->host;
    // An IPv6 host comes in brackets.
    if (origin.host.size() > 2 && origin.host.front() == '[' && origin.host.back() == ']') {
        origin.host = origin.host.substr(1, origin.host.size() - 2);
    }
    return origin.isLoopback();
}

// ---- Latency test ----

std::optional<std::string> NetChannelView::probeAddress(const Row& row) {
    auto address = normalizeHost(row.host());
    if (!address || !isUsableLineAddress(*address)) return std::nullopt;
    return address;
}

void NetChannelView::runSpeedTest() {
    const QUuid testID = QUuid::createUuid();
    currentSpeedTestID_ = testID;
    std::vector<std::optional<std::string>> addresses;
    addresses.reserve(hostArrList_.size());
    for (const Row& row : hostArrList_) addresses.push_back(probeAddress(row));

    QPointer<NetChannelView> self(this);
    ChannelLatencyProbe::start(
        addresses,
        [self, testID](std::size_t row, SpeedTestState state) {
            if (self && self->currentSpeedTestID_ == testID) {
                self->applySpeedResult(state, static_cast<int>(row));
            }
        },
        [self, testID](std::vector<SpeedTestState> results) {
            if (self && self->currentSpeedTestID_ == testID) self->finishSpeedTest(results);
        });
}

void NetChannelView::finishSpeedTest(const std::vector<SpeedTestState>& results) {
    // Failures and the rows that were never tested end as unusable.
    for (std::size_t row = 0; row < results.size(); ++row) {
        if (results[row].kind == SpeedTestState::Kind::success) continue;
        setRowStatus(static_cast<int>(row), unusableText(), unusableColor());
        refreshButton(static_cast<int>(row));
    }
}

void NetChannelView::applySpeedResult(const SpeedTestState& state, int index) {
    if (!isRow(index)) return;
    switch (state.kind) {
        case SpeedTestState::Kind::success:
            setRowStatus(index, QString::asprintf("%.0fms", state.milliseconds),
                         latencyColor(state.milliseconds, false));
            break;
        case SpeedTestState::Kind::failure:
            setRowStatus(index, unusableText(), unusableColor());
            break;
        case SpeedTestState::Kind::pending:
            setRowStatus(index, testingText(), systemGrayColor());
            break;
    }
    refreshButton(index);
}

Color NetChannelView::latencyColor(double milliseconds, bool failed) {
    if (failed) return unusableColor();
    if (milliseconds >= 0 && milliseconds < 100) return colorWithHex(0x81DD52);
    if (milliseconds >= 100 && milliseconds < 300) return colorWithHex(0xFFCC66);
    if (milliseconds >= 300 && milliseconds < 800) return colorWithHex(0xAA5200);
    return unusableColor();
}

void NetChannelView::setRowStatus(int index, const QString& text, const Color& color) {
    if (!isRow(index)) return;
    Row& row = hostArrList_[static_cast<std::size_t>(index)];
    row.speed = text;
    row.color = color;
}

void NetChannelView::refreshButton(int index) {
    if (!isRow(index) || static_cast<std::size_t>(index) >= deviceButtons_.size()) return;
    ChannelButtonView* button = deviceButtons_[static_cast<std::size_t>(index)];
    if (!button) return;
    const Row& row = hostArrList_[static_cast<std::size_t>(index)];
    button->updateSubtitle(row.speed, row.color);
}

}  // namespace pex
