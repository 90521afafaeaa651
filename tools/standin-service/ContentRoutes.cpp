// Lists, operation info, tokens, the answer stream, the line document, the AI provider's file
// endpoint and the few static pages the application loads from the stand-in.
#include <random>

#include "standin-service/StandinRoutes.h"

namespace pex::standin {

namespace {

nlohmann::json countries() {
    struct Country {
        const char *code, *nameEn, *callingCode, *letters, *nameZh;
    };
    static const Country kCountries[] = {
        {"CN", "China", "86", "Z", "中国"},          {"HK", "Hong Kong", "852", "Z", "中国香港"},
        {"MO", "Macao", "853", "Z", "中国澳门"},     {"TW", "Taiwan", "886", "Z", "中国台湾"},
        {"US", "United States", "1", "M", "美国"},   {"CA", "Canada", "1", "J", "加拿大"},
        {"GB", "United Kingdom", "44", "Y", "英国"}, {"JP", "Japan", "81", "R", "日本"},
        {"KR", "South Korea", "82", "H", "韩国"},    {"SG", "Singapore", "65", "X", "新加坡"},
        {"MY", "Malaysia", "60", "M", "马来西亚"},   {"AU", "Australia", "61", "A", "澳大利亚"},
        {"NZ", "New Zealand", "64", "X", "新西兰"},  {"DE", "Germany", "49", "D", "德国"},
        {"FR", "France", "33", "F", "法国"},
    };
    nlohmann::json list = nlohmann::json::array();
    for (const Country& c : kCountries) {
        list.push_back({{"code", c.code},
                        {"name_en", c.nameEn},
                        {"country_code", c.callingCode},
                        {"first_letters", c.letters},
                        {"name_zn", c.nameZh}});
    }
    return list;
}

nlohmann::json languages() {
    struct Language {
        int id;
        const char *name, *original, *translation, *letters;
    };
    static const Language kLanguages[] = {
        {1, "中文（普通话）", "zh-CN", "zh-Hans", "Z"},
        {2, "英语（美国）", "en-US", "en", "Y"},
        {3, "英语（英国）", "en-GB", "en", "Y"},
        {4, "粤语（香港）", "zh-HK", "yue", "Y"},
        {5, "日语", "ja-JP", "ja", "R"},
        {6, "韩语", "ko-KR", "ko", "H"},
        {7, "法语", "fr-FR", "fr", "F"},
        {8, "德语", "de-DE", "de", "D"},
        {9, "西班牙语", "es-ES", "es", "X"},
    };
    nlohmann::json list = nlohmann::json::array();
    for (const Language& l : kLanguages) {
        list.push_back({{"ID", l.id},
                        {"name", l.name},
                        {"original_key", l.original},
                        {"translation_key", l.translation},
                        {"first_letters", l.letters}});
    }
    return list;
}

std::string randomToken(std::size_t length) {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string token(length, 'A');
    for (char& c : token) c = kChars[generator() % (sizeof kChars - 1)];
    return token;
}

// The pieces of a suggested answer, as "data: " lines of the answer stream.
std::vector<std::string> answerLines(const std::string& question, const std::string& role) {
    const std::string subject = question.empty() ? "这个问题" : "“" + question + "”";
    const std::vector<std::string> pieces = {
        "好的，",
        "关于" + subject + "，",
        "我会结合" + (role.empty() ? std::string("应聘岗位") : role) + "的要求来回答。",
        "首先，说明我在相关项目中承担的职责；",
        "其次，用一个具体的例子讲清楚遇到的问题和解决办法；",
        "最后，总结从中获得的经验，以及它对这个岗位的价值。",
    };
    // A few characters per line, so that with the demo's pace the answer grows about as fast
    // as one reads.
    constexpr std::size_t kCharactersPerLine = 3;
    std::vector<std::string> lines;
    for (const std::string& piece : pieces) {
        std::size_t begin = 0;
        while (begin < piece.size()) {
            std::size_t end = begin;
            for (std::size_t count = 0; count < kCharactersPerLine && end < piece.size(); ++count) {
                ++end;  // past the lead byte, then past its continuation bytes
                while (end < piece.size() &&
                       (static_cast<unsigned char>(piece[end]) & 0xC0) == 0x80) {
                    ++end;
                }
            }
            const std::string content = piece.substr(begin, end - begin);
            lines.push_back("data: " + nlohmann::json{{"data", {{"content", content}}}}.dump() +
                            "\n\n");
            begin = end;
        }
    }
    return lines;
}

nlohmann::json providerError(const std::string& message, const std::string& code) {
    return {{"error", {{"message", message}, {"type", "invalid_request_error"}, {"code", code}}}};
}

// A stand-in captcha: one button that reports success to the host application's
// "captchaHandler" message handler, the way the real widget reports a solved puzzle.
constexpr const char* kCaptchaPage = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>安全验证</title>
<style>body{font-family:sans-serif;display:flex;flex-direction:column;align-items:center;
justify-content:center;height:90vh;margin:0}button{font-size:16px;padding:10px 28px}</style>
</head><body><p>请点击下方按钮完成安全验证</p><button id="verify">点击完成验证</button>
<script>
document.getElementById('verify').onclick = function () {
  var message = {type: 'success', data: {validate: 'standin-' + Date.now()}};
  var handlers = window.webkit && window.webkit.messageHandlers;
  if (handlers && handlers.captchaHandler) handlers.captchaHandler.postMessage(message);
  document.body.innerHTML = '<p>验证成功</p>';
};
</script></body></html>
)";

}  // namespace

void registerContentPaths(StandinService& service) {
    StandinState& state = service.state();

    service.addApiPath("GET", "/country/list", [](const Call&) { return Reply::ok(countries()); });

    service.addApiPath("GET", "/language/list", [](const Call&) { return Reply::ok(languages()); });

    service.addApiPath("GET", "/operation/contact", [](const Call& call) {
        return Reply::ok(originOf(call) + "/static/contact-qr.png");
    });

    service.addApiPath("GET", "/operation/version", [](const Call&) {
        return Reply::ok({{"build", 100},
                          {"version", "1.0.0"},
                          {"content", "1. 优化了面试答案的生成速度\n2. 修复了已知问题"},
                          {"package_value", ""},
                          {"min_build", 100},
                          {"min_version", "1.0.0"},
                          {"is_force", 0}});
    });

    service.addApiPath("GET", "/microsoft/get_token", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            if (!signedInPhone(data, call)) return sessionExpired();
            const std::string area = call.queryValue("region").value_or("");
            return Reply::ok({{"token", "speech-" + randomToken(40)},
                              {"area", area.empty() ? std::string("eastasia") : area},
                              {"duration", 600}});
        });
    });

    // The credential for the AI provider's file endpoint.
    service.addApiPath("GET", "/ai/token", [&state](const Call& call) {
        if (!state.with([&](StandinState::Data& data) { return signedInPhone(data, call); })) {
            return sessionExpired();
        }
        return Reply::ok(state.issueProviderKey());
    });

    service.addApiPath("POST", "/ai/meet", [&state](const Call& call) {
        if (!state.with([&](StandinState::Data& data) { return signedInPhone(data, call); })) {
            return sessionExpired();
        }
        auto field = [&](const char* key) {
            return call.json.is_object() && call.json.contains(key) && call.json[key].is_string()
                       ? call.json[key].get<std::string>()
                       : std::string();
        };
        return Reply::stream(answerLines(field("txt"), field("prompt")));
    });

    // The line document on the static-file host; every line leads back to this stand-in,
    // written the ways real documents write hosts.
    service.addPath("GET", "/meeting-network.json", [](const Call& call) {
        const std::string origin = originOf(call);
        return Reply::ok(nlohmann::json::array({
            {{"type", 1}, {"name", "自动线路"}, {"host", origin}, {"sort", 1}},
            {{"type", 2}, {"name", "国内线路"}, {"host", origin + "/"}, {"sort", 2}},
            {{"type", 3}, {"name", "海外线路"}, {"host", origin + "/api/v1"}, {"sort", 3}},
        }));
    });

    // The AI provider's file upload: multipart "file" and "purpose", bearer credential from
    // "/ai/token"; answers with the provider's file object.
    service.addPath("POST", "/compatible-mode/v1/files", [&state](const Call& call) {
        const auto key = call.bearerToken();
        const bool known = key && state.with([&](StandinState::Data& data) {
            return data.providerKeys.count(*key) > 0;
        });
        if (!known) {
            return Reply::json(401,
                               providerError("Incorrect API key provided.", "invalid_api_key"));
        }
        const FormPart* file = nullptr;
        std::string purpose;
        for (const FormPart& part : call.parts) {
            if (part.name == "file" && !file) file = &part;
            if (part.name == "purpose") purpose = part.content;
        }
        if (!file || file->fileName.empty()) {
            return Reply::json(400, providerError("缺少上传文件", "invalid_parameter"));
        }
        return state.with([&](StandinState::Data& data) {
            UploadedFile upload;
            upload.id = "file-fe-" + randomToken(24);
            upload.fileName = file->fileName;
            upload.bytes = file->size;
            upload.purpose = purpose;
            upload.createdAt = static_cast<std::int64_t>(std::time(nullptr));
            data.uploads[upload.id] = upload;
            return Reply::json(200, {{"id", upload.id},
                                     {"object", "file"},
                                     {"bytes", upload.bytes},
                                     {"created_at", upload.createdAt},
                                     {"filename", upload.fileName},
                                     {"purpose", upload.purpose},
                                     {"status", "processed"}});
        });
    });

    service.addPath("GET", "/static/contact-qr.png", [](const Call&) {
        static const std::string png = qrCodePng("Pexmora 专属客服（演示）");
        return Reply::text(200, png, "image/png");
    });

    service.addPath("GET", "/", [](const Call&) {
        return Reply::text(200, kCaptchaPage, "text/html; charset=utf-8");
    });
}

}  // namespace pex::standin
