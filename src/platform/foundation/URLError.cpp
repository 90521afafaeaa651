#include "platform/foundation/URLError.h"

namespace pex {

URLError::URLError(Code c, std::string url, std::string detailText)
    : code(c),
      localizedDescription(defaultDescription(c)),
      failingURL(std::move(url)),
      detail(std::move(detailText)) {}

std::string URLError::defaultDescription(Code code) {
    switch (code) {
        case Code::Cancelled:
            return "已取消";
        case Code::TimedOut:
            return "请求超时。";
        case Code::CannotConnectToHost:
            return "未能连接到服务器。";
        case Code::NotConnectedToInternet:
            return "网络连接已断开。";
        case Code::CannotFindHost:
            return "未能找到使用指定主机名的服务器。";
        case Code::NetworkConnectionLost:
            return "网络连接已中断。";
        case Code::SecureConnectionFailed:
            return "无法建立与服务器的安全连接。";
        case Code::BadURL:
            return "网址无效。";
        case Code::CannotReadFile:
            return "无法读取要上传的文件。";
        case Code::ResponseTooLarge:
            return "服务器返回的数据过大。";
        case Code::Other:
            break;
    }
    return "发生了未知错误。";
}

const char* URLError::codeName(Code code) {
    switch (code) {
        case Code::Cancelled:
            return "cancelled";
        case Code::TimedOut:
            return "timedOut";
        case Code::CannotConnectToHost:
            return "cannotConnectToHost";
        case Code::NotConnectedToInternet:
            return "notConnectedToInternet";
        case Code::CannotFindHost:
            return "cannotFindHost";
        case Code::NetworkConnectionLost:
            return "networkConnectionLost";
        case Code::SecureConnectionFailed:
            return "secureConnectionFailed";
        case Code::BadURL:
            return "badURL";
        case Code::CannotReadFile:
            return "cannotReadFile";
        case Code::ResponseTooLarge:
            return "responseTooLarge";
        case Code::Other:
            break;
    }
    return "other";
}

std::string URLError::debugDescription() const {
    std::string text = "URLError(" + std::string(codeName(code)) + "): " + localizedDescription;
    if (!detail.empty()) text += " [" + detail + "]";
    if (!failingURL.empty()) text += " " + failingURL;
    return text;
}

}  // namespace pex
