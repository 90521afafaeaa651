#include "Page/View/RemoteImageLoader.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QVariant>

#include "Tools/ImageView.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/URLComponents.h"
#include "platform/foundation/URLSession.h"

namespace pex {

namespace {

// Which load an image view waits for; a later load replaces an earlier one.
constexpr const char* kLoadProperty = "pexRemoteImageLoad";

// Its own session, so that a runaway reply is cut off at the picture size limit.
URLSession& imageSession() {
    static auto* session = [] {
        URLSessionConfiguration configuration;
        configuration.maximumDataSize = RemoteImageLoader::kMaximumBytes;
        return new URLSession(configuration);
    }();
    return *session;
}

}  // namespace

bool RemoteImageLoader::setImage(ImageView* view, const std::optional<std::string>& address) {
    assertMainThread("RemoteImageLoader::setImage");
    if (!view) return false;
    static quint64 lastLoad = 0;
    const quint64 load = ++lastLoad;
    view->setProperty(kLoadProperty, QVariant::fromValue(load));
    view->setImage(QPixmap());
    // Only absolute http(s) addresses are fetched.
    if (!address || !URLComponents::parse(*address)) return false;

    URLRequest request(*address, "GET");
    request.timeoutInterval = kTimeout;
    QPointer<ImageView> target(view);
    imageSession()
        .dataTask(std::move(request), DispatchQueue::global(),
                  [target, load](URLDataResult result) {
                      if (result.error || !result.response || !result.response->isSuccess()) return;
                      // Decoded here, off the main thread; QImage may be used on any thread.
                      QImage image;
                      if (!image.loadFromData(QByteArray::fromRawData(
                              result.data.data(), static_cast<qsizetype>(result.data.size())))) {
                          return;
                      }
                      DispatchQueue::main().async([target, load, image = std::move(image)] {
                          if (!target || target->property(kLoadProperty).toULongLong() != load) {
                              return;
                          }
                          target->setImage(QPixmap::fromImage(image));
                      });
                  })
        ->resume();
    return true;
}

}  // namespace pex
