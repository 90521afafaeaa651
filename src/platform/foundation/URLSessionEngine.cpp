// The worker of a URL session: one thread driving libcurl's multi interface. Every curl call
// for the session's transfers happens on this thread; other threads only queue work and wake
// it (curl_multi_wakeup is the one call that is safe from anywhere).
#include "platform/foundation/URLSessionEngine.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string_view>

#include <unistd.h>

#include "platform/foundation/CurlErrors.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/ThreadLauncher.h"

namespace pex {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr long kMaxRedirects = 16;
constexpr int kBusyPollMs = 20;  // how often time-outs and cancellation are looked at
constexpr int kIdlePollMs = 1000;

CURLM* asMulti(void* handle) {
    return static_cast<CURLM*>(handle);
}

void initialiseCurlOnce() {
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == 0; }();
    (void)initialised;
}

// Every engine alive, so that the process can end their workers before it exits.
struct EngineRegistry {
    std::mutex mutex;
    std::set<URLSession::Engine*> engines;
    bool ended = false;  // the process is ending: engines made now start no worker
};

EngineRegistry& engineRegistry() {
    static auto* registry = new EngineRegistry;  // never destroyed: sessions go at exit too
    return *registry;
}

std::string trimmed(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return {};
    const auto end = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(begin, end - begin + 1));
}

// curl sends header lines as they are given, so a line break (or a NUL, which cuts the line)
// in a name or value would end the header early and let the rest pass as headers of its own.
bool isSafeHeader(const HTTPHeader& header) {
    constexpr std::string_view kLineBreaks("\r\n\0", 3);
    return !header.name.empty() &&
           header.name.find_first_of(std::string_view(":\r\n\0", 4)) == std::string::npos &&
           header.value.find_first_of(kLineBreaks) == std::string::npos;
}

// The scheme, host and port of an address, with a relative `location` first resolved against
// `base`; none when it does not parse.
std::optional<std::string> originOf(const std::string& base, const std::string& location = {}) {
    CURLU* url = curl_url();
    std::optional<std::string> origin;
    if (curl_url_set(url, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
        (location.empty() || curl_url_set(url, CURLUPART_URL, location.c_str(), 0) == CURLUE_OK)) {
        char* scheme = nullptr;
        char* host = nullptr;
        char* port = nullptr;
        if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
            curl_url_get(url, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
            origin = std::string(scheme) + "://" + host + ":" + port;
        }
        curl_free(scheme);
        curl_free(host);
        curl_free(port);
    }
    curl_url_cleanup(url);
    return origin;
}

bool isRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

struct URLSession::Engine::Transfer {
    std::shared_ptr<URLSessionTask::Core> core;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    std::FILE* bodyFile = nullptr;
    std::FILE* downloadOut = nullptr;  // a download task's body file
    std::uint64_t downloaded = 0;
    bool downloadWriteFailed = false;
    std::string received;
    HTTPURLResponse head;
    bool responseDelivered = false;
    bool tooLarge = false;
    bool crossOriginRedirect = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    SteadyClock::time_point lastActivity = SteadyClock::now();
    curl_off_t lastMoved = -1;

    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
        if (headerList) curl_slist_free_all(headerList);
        if (bodyFile) std::fclose(bodyFile);
        if (downloadOut) std::fclose(downloadOut);
    }

    bool isDownload() const { return core->kind == URLSessionTask::Core::Kind::Download; }

    // Closes a download's body file; false when its last bytes could not be written.
    bool closeDownload() {
        if (!downloadOut) return true;
        const bool closed = std::fclose(downloadOut) == 0;
        downloadOut = nullptr;
        return closed && !downloadWriteFailed;
    }

    bool isStream() const { return core->kind == URLSessionTask::Core::Kind::Stream; }

    // Fills in what the reply head lacks from curl once the head is complete.
    void completeHead() {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status > 0) head.statusCode = status;
        char* effective = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
        head.url = effective ? effective : core->request.url;
    }

    void deliverHeadOnce() {
        if (responseDelivered) return;
        responseDelivered = true;
        completeHead();
        core->deliverResponse(head);
    }

    static size_t onHeader(char* buffer, size_t size, size_t count, void* user) {
        auto& self = *static_cast<Transfer*>(user);
        const size_t length = size * count;
        self.lastActivity = SteadyClock::now();
        const std::string_view line(buffer, length);
        if (line.rfind("HTTP/", 0) == 0) {
            // A new reply head (after a redirect or an interim reply) replaces the last one.
            self.head = {};
            self.head.statusLine = trimmed(line);
            const auto space = self.head.statusLine.find(' ');
            if (space != std::string::npos) {
                self.head.statusCode = std::atol(self.head.statusLine.c_str() + space + 1);
            }
        } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
            HTTPHeader header{trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1))};
            if (self.core->request.followRedirects && isRedirectStatus(self.head.statusCode) &&
                self.leavesOrigin(header)) {
                // Following would hand the request, body and all, to a host it was not meant
                // for (a 307 or 308 sends the body again): the transfer stops here.
                self.crossOriginRedirect = true;
                return 0;
            }
            self.head.headers.push_back(std::move(header));
        }
        return length;
    }

    bool leavesOrigin(const HTTPHeader& header) const {
        if (curl_strequal(header.name.c_str(), "Location") == 0) return false;
        char* current = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &current);
        const std::string from = current ? current : core->request.url;
        const auto here = originOf(from);
        const auto there = originOf(from, header.value);
        return !here || !there || *here != *there;
    }

    static size_t onBody(char* buffer, size_t size, size_t count, void* user) {
        auto& self = *static_cast<Transfer*>(user);
        const size_t length = size * count;
        self.lastActivity = SteadyClock::now();
        if (self.isStream()) {
            self.deliverHeadOnce();
            self.core->deliverChunk(std::string(buffer, length));
            return length;
        }
        if (self.isDownload()) {
            // A download may be large by nature: only a limit the caller set applies.
            const auto limit = self.core->request.maximumResponseSize;
            if (limit && self.downloaded + length > *limit) {
                self.tooLarge = true;
                return 0;
            }
            if (std::fwrite(buffer, 1, length, self.downloadOut) != length) {
                self.downloadWriteFailed = true;
                return 0;
            }
            self.downloaded += length;
            return length;
        }
        const std::uint64_t limit = self.core->request.maximumResponseSize.value_or(
            self.core->configuration.maximumDataSize);
        if (self.received.size() + length > limit) {
            self.tooLarge = true;
            return 0;  // curl stops the transfer with a write error
        }
        self.received.append(buffer, length);
        return length;
    }

    static size_t onReadBody(char* buffer, size_t size, size_t count, void* user) {
        auto& self = *static_cast<Transfer*>(user);
        self.lastActivity = SteadyClock::now();
        const size_t read = std::fread(buffer, 1, size * count, self.bodyFile);
        if (read == 0 && std::ferror(self.bodyFile)) return CURL_READFUNC_ABORT;
        return read;
    }

    static int onSeekBody(void* user, curl_off_t offset, int origin) {
        auto& self = *static_cast<Transfer*>(user);
        return ::fseeko(self.bodyFile, offset, origin) == 0 ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
    }
};

URLSession::Engine::Engine() {
    initialiseCurlOnce();
    multi_ = curl_multi_init();
    EngineRegistry& registry = engineRegistry();
    std::lock_guard lock(registry.mutex);
    registry.engines.insert(this);
    if (registry.ended) {
        invalidated_.store(true);
        stopping_ = true;
        return;
    }
    worker_ = launchThread([this] { run(); });
}

URLSession::Engine::~Engine() {
    {
        EngineRegistry& registry = engineRegistry();
        std::lock_guard lock(registry.mutex);
        registry.engines.erase(this);
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    curl_multi_wakeup(asMulti(multi_));
    if (worker_.joinable()) worker_.join();
    for (auto& core : pending_) core->abandon();
    curl_multi_cleanup(asMulti(multi_));
}

void URLSession::Engine::submit(std::shared_ptr<URLSessionTask::Core> core) {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            pending_.push_back(std::move(core));
            core = nullptr;
        }
    }
    if (core) {
        // No worker any more: the task ends as one started after `invalidate` does.
        core->finishCancelled();
        return;
    }
    curl_multi_wakeup(asMulti(multi_));
}

void URLSession::Engine::shutDown() {
    invalidated_.store(true);
    std::thread worker;
    std::vector<std::shared_ptr<URLSessionTask::Core>> pending;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        shuttingDown_ = true;
        worker = std::move(worker_);
    }
    curl_multi_wakeup(asMulti(multi_));
    if (worker.joinable()) worker.join();
    {
        std::lock_guard lock(mutex_);
        pending.swap(pending_);
    }
    for (auto& core : pending) {
        core->finishCancelled();
    }
}

void URLSession::Engine::shutDownAll() {
    EngineRegistry& registry = engineRegistry();
    // Held throughout, so no engine is destroyed while it is shut down.
    std::lock_guard lock(registry.mutex);
    registry.ended = true;
    for (Engine* engine : registry.engines) engine->shutDown();
}

void URLSession::Engine::wake() {
    curl_multi_wakeup(asMulti(multi_));
}

void URLSession::Engine::invalidate() {
    invalidated_.store(true);
    curl_multi_wakeup(asMulti(multi_));
}

void URLSession::Engine::run() {
    bool cancelling = false;
    for (;;) {
        std::vector<std::shared_ptr<URLSessionTask::Core>> starting;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                cancelling = shuttingDown_;
                break;
            }
            starting.swap(pending_);
        }
        for (const auto& core : starting) start(core);

        int running = 0;
        curl_multi_perform(asMulti(multi_), &running);
        collectFinished();
        enforceCancellationAndTimeouts();

        long curlWait = -1;
        curl_multi_timeout(asMulti(multi_), &curlWait);
        int waitMs = active_.empty() ? kIdlePollMs : kBusyPollMs;
        if (curlWait >= 0) waitMs = std::min(waitMs, static_cast<int>(curlWait));
        curl_multi_poll(asMulti(multi_), nullptr, 0, waitMs, nullptr);
    }
    // Stopping with the session: nothing more reaches the handlers, whose owners are going
    // away. Shut down with the process: every handler hears that its task was cancelled.
    for (auto& transfer : active_) {
        curl_multi_remove_handle(asMulti(multi_), transfer->easy);
        if (cancelling) {
            transfer->core->finishCancelled();
        } else {
            transfer->core->abandon();
        }
    }
    active_.clear();
}

void URLSession::Engine::start(const std::shared_ptr<URLSessionTask::Core>& core) {
    if (invalidated_.load() || core->cancelRequested.load()) {
        core->finishCancelled();
        return;
    }
    if (!std::all_of(core->request.headers.begin(), core->request.headers.end(), isSafeHeader)) {
        URLError error(URLError::Code::Other, core->request.url, "header with a line break");
        error.localizedDescription += "（请求头无效）";
        core->finish({std::nullopt, {}, std::move(error)});
        return;
    }
    auto transfer = std::make_unique<Transfer>();
    transfer->core = core;
    CURL* easy = curl_easy_init();
    transfer->easy = easy;
    const URLRequest& request = core->request;

    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<long long>(1, request.timeoutInterval.count())));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());

    for (const HTTPHeader& header : request.headers) {
        // "Name;" is curl's way of sending a header with an empty value.
        const std::string line =
            header.value.empty() ? header.name + ";" : header.name + ": " + header.value;
        transfer->headerList = curl_slist_append(transfer->headerList, line.c_str());
    }
    if (!request.value("Expect")) {
        transfer->headerList = curl_slist_append(transfer->headerList, "Expect:");
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList);

    if (core->kind == URLSessionTask::Core::Kind::Download) {
        std::string pattern = (StandardFolders::temporary() / "download-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());  // 0600: only this user reads the body
        if (fd >= 0) core->downloadFile = pattern;
        transfer->downloadOut = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
        if (!transfer->downloadOut) {
            if (fd >= 0) ::close(fd);
            core->finish({std::nullopt,
                          {},
                          URLError(URLError::Code::Other, request.url,
                                   "cannot create a download file in " +
                                       StandardFolders::temporary().string())});
            return;
        }
    }

    const std::string& method = request.httpMethod;
    if (method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
        if (core->bodyFile) {
            transfer->bodyFile = std::fopen(core->bodyFile->c_str(), "rb");
            std::error_code sizeError;
            const auto size = std::filesystem::file_size(*core->bodyFile, sizeError);
            if (!transfer->bodyFile || sizeError) {
                core->finish({std::nullopt,
                              {},
                              URLError(URLError::Code::CannotReadFile, request.url,
                                       "cannot open " + core->bodyFile->string())});
                return;
            }
            curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Transfer::onReadBody);
            curl_easy_setopt(easy, CURLOPT_READDATA, transfer.get());
            curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &Transfer::onSeekBody);
            curl_easy_setopt(easy, CURLOPT_SEEKDATA, transfer.get());
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
        } else {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, core->body.data());
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(core->body.size()));
        }
    }

    if (curl_multi_add_handle(asMulti(multi_), easy) != CURLM_OK) {
        core->finish(
            {std::nullopt, {}, URLError(URLError::Code::Other, request.url, "add failed")});
        return;
    }
    active_.push_back(std::move(transfer));
}

void URLSession::Engine::collectFinished() {
    int remaining = 0;
    while (CURLMsg* message = curl_multi_info_read(asMulti(multi_), &remaining)) {
        if (message->msg != CURLMSG_DONE) continue;
        auto found = std::find_if(active_.begin(), active_.end(),
                                  [&](const auto& t) { return t->easy == message->easy_handle; });
        if (found == active_.end()) continue;
        Transfer& transfer = **found;
        const CURLcode code = message->data.result;
        std::optional<URLError> error;
        if (code != CURLE_OK) {
            long osErrno = 0;
            curl_easy_getinfo(transfer.easy, CURLINFO_OS_ERRNO, &osErrno);
            const std::string& url = transfer.core->request.url;
            if (transfer.downloadWriteFailed) {
                error = URLError(URLError::Code::Other, url, "cannot write the download file");
            } else if (transfer.tooLarge) {
                error = URLError(URLError::Code::ResponseTooLarge, url);
            } else if (transfer.crossOriginRedirect) {
                error = URLError(URLError::Code::Other, url, "redirect to another origin");
                error->localizedDescription += "（服务器重定向到了其他地址）";
            } else {
                error = urlErrorForCurlCode(code, osErrno, url, transfer.errorBuffer);
            }
        }
        end(transfer, std::move(error));
    }
}

void URLSession::Engine::enforceCancellationAndTimeouts() {
    const auto now = SteadyClock::now();
    const bool invalidated = invalidated_.load();
    for (std::size_t i = 0; i < active_.size();) {
        Transfer& transfer = *active_[i];
        curl_off_t up = 0, down = 0;
        curl_easy_getinfo(transfer.easy, CURLINFO_SIZE_UPLOAD_T, &up);
        curl_easy_getinfo(transfer.easy, CURLINFO_SIZE_DOWNLOAD_T, &down);
        if (up + down != transfer.lastMoved) {
            transfer.lastMoved = up + down;
            transfer.lastActivity = now;
        }
        const std::string& url = transfer.core->request.url;
        std::optional<URLError> error;
        if (invalidated || transfer.core->cancelRequested.load()) {
            error = URLError(URLError::Code::Cancelled, url);
        } else if (now - transfer.lastActivity > transfer.core->request.timeoutInterval) {
            error = URLError(URLError::Code::TimedOut, url);
        }
        if (error) {
            end(transfer, std::move(error));  // removes active_[i]
        } else {
            ++i;
        }
    }
}

void URLSession::Engine::end(Transfer& transfer, std::optional<URLError> error) {
    curl_multi_remove_handle(asMulti(multi_), transfer.easy);
    auto core = transfer.core;
    if (!transfer.closeDownload() && !error) {
        error =
            URLError(URLError::Code::Other, core->request.url, "cannot write the download file");
    }
    const bool headArrived = transfer.head.statusCode > 0;
    if (headArrived) transfer.completeHead();
    if (core->kind == URLSessionTask::Core::Kind::Stream) {
        if (!error) transfer.deliverHeadOnce();
        core->finish({std::nullopt, {}, std::move(error)});
    } else {
        URLDataResult result;
        if (headArrived) result.response = transfer.head;
        if (!error) result.data = std::move(transfer.received);
        result.error = std::move(error);
        core->finish(std::move(result));
    }
    active_.erase(std::remove_if(active_.begin(), active_.end(),
                                 [&](const auto& t) { return t.get() == &transfer; }),
                  active_.end());
}

}  // namespace pex
