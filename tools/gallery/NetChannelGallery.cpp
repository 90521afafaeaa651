// The service-line list (while it tests and with its latencies) and the customer-service
// contact card, each fed by a stand-in service started for the picture.

#include "Gallery.h"
#include "LineLatencies.h"
#include "Page/View/ContactView.h"
#include "Page/View/NetChannelView.h"
#include "StandinScene.h"
#include "Tools/ImageView.h"
#include "standin-service/ServiceLineHosts.h"
#include "standin-service/StandinService.h"

namespace pex::gallery {
namespace {

using nlohmann::json;

json line(const char* name, const std::string& host) {
    return {{"type", 1}, {"name", name}, {"host", host}, {"sort", 1}};
}

// The list on a white strip, as the login window shows it at its bottom.
QImage renderLines(const std::function<json(standin::StandinService&)>& makeLines,
                   const std::function<void(NetChannelView&)>& settle) {
    StandinScene scene;
    standin::registerLineHosts(scene.service());
    const json lines = makeLines(scene.service());
    standin::setLineDocument(scene.service(), lines);
    QWidget strip;
    strip.setAutoFillBackground(true);
    QPalette palette = strip.palette();
    palette.setColor(QPalette::Window, Qt::white);
    strip.setPalette(palette);
    auto* view = new NetChannelView(&strip);
    waitFor([&] { return view->deviceButtons().size() == lines.size(); }, "the line buttons");
    settle(*view);
    const QSize size = view->sizeHint();
    strip.resize(size.width() + 40, size.height() + 30);
    view->setGeometry(20, 15, size.width(), size.height());
    return snapshot(strip);
}

const Entry testing{
    "NetChannelView", "testing", [] {
        standin::BlackHoleListener hole;  // never answers: every line stays in its test
        return renderLines(
            [&](standin::StandinService&) {
                return json::array({line("自动线路", hole.origin()),
                                    line("国内线路", hole.origin()),
                                    line("海外线路", hole.origin())});
            },
            [](NetChannelView&) {});
    }};

const Entry latencies{
    "NetChannelView", "latencies", [] {
        return renderLines(
            [](standin::StandinService& service) {
                // The last line is plain http on a host that is not this machine: never tested.
                return json::array({line("自动线路", standin::lineHost(service, "auto")),
                                    line("国内线路", standin::lineHost(service, "home")),
                                    line("海外线路", standin::lineHost(service, "abroad")),
                                    line("备用线路", "http://0.0.0.0/backup")});
            },
            [](NetChannelView& view) {
                waitFor([&] { return latencyTestEnded(view); }, "the latency test");
                // Measured times differ from run to run; the picture shows one of each band.
                view.applySpeedResult(SpeedTestState::success(36), 0);
                view.applySpeedResult(SpeedTestState::success(182), 1);
                view.applySpeedResult(SpeedTestState::success(516), 2);
            });
    }};

// The card in the centre of a dimmed page, as the centred pop-up shows it.
const Entry contactCard{
    "ContactView", "qr_code", [] {
        StandinScene scene;
        QWidget page;
        page.resize(360, 340);
        page.setAutoFillBackground(true);
        QPalette palette = page.palette();
        palette.setColor(QPalette::Window, QColor(204, 204, 204));
        page.setPalette(palette);
        ContactView* card = ContactView::makeCard(&page);
        card->move((page.width() - card->width()) / 2, (page.height() - card->height()) / 2);
        waitFor([&] { return !card->iconV()->image().isNull(); }, "the QR image");
        return snapshot(page);
    }};

}  // namespace
}  // namespace pex::gallery
