// Reading the answer stream: the cost of cutting the reply into lines and growing the answer
// must stay linear in the reply, however the network cuts it. Two sizes of each workload show
// the growth; throughput is reported as bytes (or pieces) per second.
#include <cstdint>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "audio/StreamingClient.h"

namespace pex {
namespace {

std::string dataLine(const std::string& content) {
    return "data: " + nlohmann::json{{"data", {{"content", content}}}}.dump() + "\n";
}

// `bytes` of "data: " lines, each carrying a short piece of answer.
std::string replyOfSize(std::size_t bytes) {
    const std::string line = dataLine("这是答案中的一小段文字，");
    std::string reply;
    reply.reserve(bytes + line.size());
    while (reply.size() < bytes) reply += line;
    return reply;
}

std::shared_ptr<StreamingClient> quietClient() {
    StreamModel model;
    model.onUpdate = [](const std::string& text) { benchmark::DoNotOptimize(text.size()); };
    return StreamingClient::create(std::move(model));
}

// Args: reply size in bytes, chunk size in bytes.
void BM_ReplyInChunks(benchmark::State& state) {
    const std::string reply = replyOfSize(static_cast<std::size_t>(state.range(0)));
    const auto chunk = static_cast<std::size_t>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        auto client = quietClient();
        state.ResumeTiming();
        for (std::size_t at = 0; at < reply.size(); at += chunk) {
            client->handleReceivedData(std::string_view(reply).substr(at, chunk));
        }
        benchmark::DoNotOptimize(client->model.responseText.size());
        state.PauseTiming();
        client.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_ReplyInChunks)
    ->ArgNames({"bytes", "chunk"})
    ->ArgsProduct({{1 << 20, 2 << 20}, {1, 17, 1024, 64 * 1024}})
    ->Unit(benchmark::kMillisecond);

// Args: number of pieces of four characters (5,000 pieces make a 20,000-character answer),
// one line per chunk.
void BM_AnswerInPieces(benchmark::State& state) {
    const auto pieces = static_cast<std::size_t>(state.range(0));
    const std::string line = dataLine("面试答案");
    for (auto _ : state) {
        state.PauseTiming();
        auto client = quietClient();
        state.ResumeTiming();
        for (std::size_t i = 0; i < pieces; ++i) client->handleReceivedData(line);
        benchmark::DoNotOptimize(client->model.responseText.size());
        state.PauseTiming();
        client.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pieces));
}
BENCHMARK(BM_AnswerInPieces)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pex
