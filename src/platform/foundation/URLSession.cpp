#include "platform/foundation/URLSession.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/URLSessionEngine.h"

namespace pex {
namespace fs = std::filesystem;

namespace {

std::atomic<std::uint64_t> gNextTaskIdentifier{1};

// A new empty file only this user can read, for a large multipart body.
std::optional<fs::path> makeTemporaryFile(std::string& error) {
    std::string pattern = (StandardFolders::temporary() / "upload-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = "cannot create a temporary file in " + StandardFolders::temporary().string();
        return std::nullopt;
    }
    ::close(fd);
    return fs::path(pattern);
}

// Encodes the form into the core's body: in memory up to the threshold, else into a file.
std::optional<URLError> encodeForm(URLSessionTask::Core& core) {
    MultipartFormData form = std::move(*core.form);
    core.form.reset();
    core.request.setValue(form.contentType(), "Content-Type");
    const auto length = form.contentLength();
    if (!length) return URLError(URLError::Code::CannotReadFile, core.request.url);
    std::string error;
    if (*length <= core.configuration.multipartMemoryThreshold) {
        if (!form.encode(core.body, error)) {
            return URLError(URLError::Code::CannotReadFile, core.request.url, error);
        }
        return std::nullopt;
    }
    auto file = makeTemporaryFile(error);
    if (!file) return URLError(URLError::Code::CannotReadFile, core.request.url, error);
    core.bodyFile = *file;
    core.bodyFileIsTemporary = true;
    if (!form.writeEncoded(*file, error)) {
        core.removeTemporaryBody();
        return URLError(URLError::Code::CannotReadFile, core.request.url, error);
    }
    return std::nullopt;
}

}  // namespace

// ---- Core: delivery to the task's queue ----

bool URLSessionTask::Core::claimEnd() {
    bool expected = false;
    return ended_.compare_exchange_strong(expected, true);
}

// The handlers are copied into each delivery so that the queue never reads `stream` while the
// worker might still be looking at it.
void URLSessionTask::Core::deliverResponse(HTTPURLResponse response) {
    if (ended_.load() || !stream.onResponse) return;
    queue.async(
        [onResponse = stream.onResponse, response = std::move(response)] { onResponse(response); });
}

void URLSessionTask::Core::deliverChunk(std::string chunk) {
    if (ended_.load() || !stream.onData) return;
    queue.async(
        [onData = stream.onData, chunk = std::move(chunk)]() mutable { onData(std::move(chunk)); });
}

void URLSessionTask::Core::finishCancelled() {
    finish({std::nullopt, {}, URLError(URLError::Code::Cancelled, request.url)});
}

void URLSessionTask::Core::finish(URLDataResult result) {
    if (!claimEnd()) return;
    removeTemporaryBody();
    state.store(State::Completed);
    queue.async([self = shared_from_this(), result = std::move(result)]() mutable {
        // Handlers are dropped once they have run, so captures (often the task itself) go.
        if (self->kind == Kind::Download) {
            auto completion = std::move(self->download);
            self->download = nullptr;
            URLDownloadResult download{std::move(result.response), std::nullopt,
                                       std::move(result.error)};
            if (!download.error) download.location = self->downloadFile;
            if (completion) completion(std::move(download));
            self->removeDownloadFile();
        } else if (self->kind == Kind::Stream) {
            auto onComplete = std::move(self->stream.onComplete);
            self->stream = {};
            if (onComplete) onComplete(std::move(result.error));
        } else {
            auto completion = std::move(self->completion);
            self->completion = nullptr;
            if (completion) completion(std::move(result));
        }
    });
}

void URLSessionTask::Core::abandon() {
    if (!claimEnd()) return;
    removeTemporaryBody();
    removeDownloadFile();
    state.store(State::Completed);
}

void URLSessionTask::Core::removeTemporaryBody() {
    if (bodyFile && bodyFileIsTemporary) {
        std::error_code ignored;
        fs::remove(*bodyFile, ignored);
        bodyFile.reset();
    }
}

void URLSessionTask::Core::removeDownloadFile() {
    if (downloadFile) {
        std::error_code ignored;
        fs::remove(*downloadFile, ignored);
        downloadFile.reset();
    }
}

// ---- URLSessionTask ----

std::uint64_t URLSessionTask::taskIdentifier() const {
    return core_->identifier;
}

const URLRequest& URLSessionTask::originalRequest() const {
    return core_->request;
}

URLSessionTask::State URLSessionTask::state() const {
    return core_->state.load();
}

void URLSessionTask::resume() {
    State expected = State::Suspended;
    if (!core_->state.compare_exchange_strong(expected, State::Running)) return;
    auto engine = core_->engine.lock();
    if (!engine || engine->isInvalidated() || core_->cancelRequested.load()) {
        core_->finishCancelled();
        return;
    }
    if (!core_->form) {
        engine->submit(core_);
        return;
    }
    // Encoding a large form copies the whole file; it runs off the worker and off the caller.
    DispatchQueue::global().async([core = core_] {
        if (auto error = encodeForm(*core)) {
            core->finish({std::nullopt, {}, std::move(error)});
            return;
        }
        auto engine = core->engine.lock();
        if (!engine || engine->isInvalidated() || core->cancelRequested.load()) {
            core->finishCancelled();
            return;
        }
        engine->submit(core);
    });
}

void URLSessionTask::cancel() {
    core_->cancelRequested.store(true);
    if (core_->state.load() == State::Suspended) {
        State expected = State::Suspended;
        if (core_->state.compare_exchange_strong(expected, State::Running)) {
            core_->finishCancelled();
            return;
        }
    }
    if (auto engine = core_->engine.lock()) engine->wake();
}

// ---- URLSession ----

URLSession& URLSession::shared() {
    // The queues results go to are made first, so they outlive the session at exit.
    static URLSession* const instance = [] {
        DispatchQueue::main();
        DispatchQueue::global();
        static URLSession session;
        return &session;
    }();
    return *instance;
}

URLSession::URLSession(URLSessionConfiguration configuration)
    : configuration_(configuration), engine_(std::make_shared<Engine>()) {}

URLSession::~URLSession() {
    engine_.reset();
}

std::shared_ptr<URLSessionTask::Core> URLSession::makeCore(URLRequest request,
                                                           DispatchQueue queue) {
    auto core = std::make_shared<URLSessionTask::Core>(std::move(queue));
    core->identifier = gNextTaskIdentifier.fetch_add(1);
    core->request = std::move(request);
    core->body = core->request.httpBody;
    core->engine = engine_;
    core->configuration = configuration_;
    return core;
}

std::shared_ptr<URLSessionTask> URLSession::dataTask(URLRequest request, DispatchQueue queue,
                                                     DataCompletion completion) {
    auto core = makeCore(std::move(request), std::move(queue));
    core->kind = URLSessionTask::Core::Kind::Data;
    core->completion = std::move(completion);
    return std::make_shared<URLSessionTask>(std::move(core));
}

std::shared_ptr<URLSessionTask> URLSession::downloadTask(URLRequest request, DispatchQueue queue,
                                                         DownloadCompletion completion) {
    auto core = makeCore(std::move(request), std::move(queue));
    core->kind = URLSessionTask::Core::Kind::Download;
    core->download = std::move(completion);
    return std::make_shared<URLSessionTask>(std::move(core));
}

std::shared_ptr<URLSessionTask> URLSession::streamTask(URLRequest request, DispatchQueue queue,
                                                       URLStreamHandlers handlers) {
    auto core = makeCore(std::move(request), std::move(queue));
    core->kind = URLSessionTask::Core::Kind::Stream;
    core->stream = std::move(handlers);
    return std::make_shared<URLSessionTask>(std::move(core));
}

std::shared_ptr<URLSessionTask> URLSession::uploadTask(URLRequest request, MultipartFormData form,
                                                       DispatchQueue queue,
                                                       DataCompletion completion) {
    auto core = makeCore(std::move(request), std::move(queue));
    core->kind = URLSessionTask::Core::Kind::Upload;
    core->body.clear();
    core->form = std::move(form);
    core->completion = std::move(completion);
    return std::make_shared<URLSessionTask>(std::move(core));
}

void URLSession::invalidateAndCancel() {
    engine_->invalidate();
}

void URLSession::endEverySession() {
    Engine::shutDownAll();
}

}  // namespace pex
