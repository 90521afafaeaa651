#pragma once
// The service-line list: one selectable button per line of the line document (fetched from the
// static-file host), each showing its latency from a HEAD test, and the user's choice applied
// as the process-wide API base `apiBaseURL` and remembered as a row index under
// "hostChannelSeletctType". The login window and the account page each show one.
//
// Lines come from a remote document and become the address that carries the user's token and
// password, so a line is usable only over https, or over plain http on a loopback host. An
// unusable line is shown, never tested ("不可用") and never applied: choosing it falls back to
// the mainland line.
//
// Main thread only; the latency test's requests run on the shared URL session.
#include <QPointer>
#include <QString>
#include <QUuid>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Page/View/ChannelLatencyProbe.h"
#include "platform/appkit/Color.h"

namespace pex {

class ChannelButtonView;
class ChannelSelectionGroup;

class NetChannelView : public QWidget {
    Q_OBJECT
  public:
    using SpeedTestState = pex::SpeedTestState;

    // One line: the document's object as given ("type", "name", "host", "sort", ...) and the
    // latency text and colour this view sets.
    struct Row {
        nlohmann::json fields = nlohmann::json::object();
        QString speed;
        Color color;

        // "name" when it is text, else "线路".
        QString name() const;
        // "host" when it is text.
        std::optional<std::string> host() const;
    };

    static constexpr int kButtonWidth = 120;
    static constexpr int kButtonSpacing = 16;
    static constexpr int kTrailingInset = 2;
    static constexpr int kPreferredHeight = 32;
    static constexpr const char* kLineDocumentPath = "/meeting-network.json";
    static constexpr const char* kApiPath = "/api/v1";

    // Starts with the default list and no buttons, and fetches the line document at once.
    explicit NetChannelView(QWidget* parent = nullptr);
    ~NetChannelView() override;

    const std::vector<Row>& hostArrList() const { return hostArrList_; }
    std::vector<ChannelButtonView*> deviceButtons() const;
    ChannelSelectionGroup* deviceSelectionGroup() const { return deviceSelectionGroup_.get(); }
    const QUuid& currentSpeedTestID() const { return currentSpeedTestID_; }

    // Fetches the document again, rebuilds the buttons and tests again; results of a test
    // still running are dropped from now on.
    void refreshChannels();

    void reloadButtons();
    void layoutButtons();
    void runSpeedTest();
    // The stored row when it is a row of the current list, else 0.
    int restoreSelection() const;
    // Makes the row's line the API base; the mainland line's when the row does not exist or
    // its line is unusable.
    void applyChannel(int index);
    void applySpeedResult(const SpeedTestState& state, int index);
    void setRowStatus(int index, const QString& text, const Color& color);
    void refreshButton(int index);

    // Trimmed, "https://" put in front when no http(s) scheme is written, trailing slashes and
    // one trailing "/api/v1" removed; none for an absent or blank host.
    static std::optional<std::string> normalizeHost(const std::optional<std::string>& host);
    // True for an https address, and for a plain http address on a loopback host.
    static bool isUsableLineAddress(const std::string& address);
    // The colour band of a latency; failures are red.
    static Color latencyColor(double milliseconds, bool failed);
    // The one row shown before any document arrived: the mainland line.
    static std::vector<Row> defaultList();
    // The line document on the static-file host.
    static std::string lineDocumentAddress();

    static Color unusableColor();   // 0xFF4B44
    static QString testingText();   // "测速中"
    static QString unusableText();  // "不可用"

    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void handleLineDocument(std::optional<bool> failed, const std::optional<nlohmann::json>& reply);
    void chooseRow(int index);
    void finishSpeedTest(const std::vector<SpeedTestState>& results);
    bool isRow(int index) const;
    // Where a line's latency is tested: its normalised address when that is a usable URL.
    static std::optional<std::string> probeAddress(const Row& row);

    std::shared_ptr<ChannelSelectionGroup> deviceSelectionGroup_;
    std::vector<QPointer<ChannelButtonView>> deviceButtons_;
    QUuid currentSpeedTestID_;
    std::vector<Row> hostArrList_;
};

}  // namespace pex
