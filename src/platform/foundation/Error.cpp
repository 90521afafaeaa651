#include "platform/foundation/Error.h"

namespace pex {

Error::Error(std::string domain, std::int64_t code, nlohmann::json userInfo, ErrorRef underlying)
    : domain_(std::move(domain)),
      code_(code),
      userInfo_(userInfo.is_object() ? std::move(userInfo) : nlohmann::json()),
      underlying_(std::move(underlying)) {}

std::optional<std::string> Error::failureReason() const {
    if (!userInfo_.is_object()) return std::nullopt;
    auto found = userInfo_.find(kFailureReasonKey);
    if (found == userInfo_.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::string Error::localizedDescription() const {
    if (userInfo_.is_object()) {
        auto found = userInfo_.find(kDescriptionKey);
        if (found != userInfo_.end() && found->is_string()) return found->get<std::string>();
    }
    return "The operation couldn’t be completed. (" + domain_ + " error " + std::to_string(code_) +
           ".)";
}

std::string Error::description() const {
    std::string out = "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" +
                      localizedDescription() + "\"";
    if (!userInfo_.is_object() && !underlying_) return out;
    std::string info;
    if (userInfo_.is_object()) {
        for (const auto& [key, value] : userInfo_.items())
            info += (info.empty() ? "" : ", ") + key + "=" +
                    (value.is_string() ? value.get<std::string>() : value.dump());
    }
    if (underlying_)
        info += (info.empty() ? "" : ", ") + std::string("underlyingError=") +
                underlying_->description();
    return out + " UserInfo={" + info + "}";
}

}  // namespace pex
