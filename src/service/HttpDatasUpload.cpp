// The résumé upload to the AI provider's file endpoint. It follows none of the service's
// conventions: its own header, no envelope, no alerts, no 401 handling.
#include <algorithm>
#include <cctype>

#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/URLSession.h"
#include "service/ConsoleLog.h"
#include "service/FileSizeText.h"
#include "service/HttpDatas.h"

namespace pex {

namespace {

constexpr const char* kWordDocument =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document";
constexpr const char* kUploadFailed = "请求失败";

std::string printedReply(const nlohmann::json& reply) {
    return reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string HttpDatas::uploadMimeType(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".pdf") return "application/pdf";
    if (extension == ".doc") return "application/msword";
    if (extension == ".png") return "image/png";
    if (extension == ".jpg" || extension == ".jpeg") return "image/jpeg";
    return kWordDocument;
}

std::optional<std::string> HttpDatas::uploadFileProblem(const std::filesystem::path& file) {
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) return "文件不存在，无法上传";
    if (error) return "无法读取文件：" + error.message();
    if (!std::filesystem::is_regular_file(status)) return "只能上传普通文件";
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) return "无法读取文件：" + error.message();
    if (size == 0) return "文件是空的，无法上传";
    const std::uint64_t limit = DeploymentSettings::current().resumeMaxBytes;
    if (size > limit) return "文件超过 " + exactFileSizeText(limit) + "，无法上传";
    return std::nullopt;
}

void HttpDatas::uploadFile(const std::filesystem::path& fileURL, const std::string& apiKey,
                           Completion completion) {
    // Checked again here, right before sending: the file may have changed since it was chosen.
    if (auto problem = uploadFileProblem(fileURL)) {
        consoleLog("❌ 上传失败：" + *problem);
        DispatchQueue::main().async([completion = std::move(completion), problem = *problem] {
            if (completion) completion(std::nullopt, std::nullopt, problem);
        });
        return;
    }
    URLRequest request(DeploymentSettings::current().aiProviderOrigin.text() + kUploadPath, "POST");
    request.headers = {{"Authorization", "Bearer " + apiKey}};
    request.maximumResponseSize = kMaximumReplyBytes;

    MultipartFormData form;
    form.appendFile(fileURL, "file", fileURL.filename().string(), uploadMimeType(fileURL));
    form.append("file-extract", "purpose");

    auto task = URLSession::shared().uploadTask(
        std::move(request), std::move(form), DispatchQueue::main(),
        [completion = std::move(completion)](URLDataResult result) {
            std::optional<nlohmann::json> reply;
            std::string failure;
            if (result.error) {
                failure = result.error->localizedDescription;
            } else if (!result.response || !result.response->isSuccess()) {
                failure = result.response ? result.response->statusLine : "没有收到回复";
            } else {
                nlohmann::json parsed = nlohmann::json::parse(result.data, nullptr, false);
                if (parsed.is_discarded()) {
                    failure = "服务器返回的数据不是有效的 JSON";
                } else {
                    reply = std::move(parsed);
                }
            }
            if (!reply) {
                consoleLog("❌ 上传失败：" + failure);
                if (completion) completion(std::nullopt, std::nullopt, std::string(kUploadFailed));
                return;
            }
            consoleLog("✅ 上传成功：" + printedReply(*reply));
            if (completion) completion(false, std::move(reply), std::string());
        });
    task->resume();
}

}  // namespace pex
