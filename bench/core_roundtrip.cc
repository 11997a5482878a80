// One request/reply round trip through the core client and the message library, against a
// server thread that answers every message at once with an int32 status: what a request/reply
// handler pays for talking to the core. Run inside the sandbox:
//   tools/sandbox -- build/bin/bench_core_roundtrip
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/core_client.h"
#include "common/payload_reader.h"
#include "platform/zvsocket/zvsocket_server.h"

namespace {

void status_reply(int, ZvMsgHeader* header, void* payload) {
  PayloadReader reader(header, payload);
  if (header->msg_id == 6000 && reader.record_count(4) >= 1) reply_flag_set(1);
}

class Core {
 public:
  Core() {
    std::string error;
    if (!server_.start(
            kCoreSocketPath,
            [this](ZvSockServer::PeerId peer, const ZvMsgHeader& header, const unsigned char*) {
              int32_t status = 0;
              server_.send(peer, header.msg_id + kCoreReplyOffset, &status, sizeof status);
            },
            &error)) {
      fprintf(stderr, "cannot serve %s: %s (run inside tools/sandbox)\n", kCoreSocketPath, error.c_str());
      exit(1);
    }
  }

 private:
  ZvSockServer server_;
};

Core& core() {
  static Core instance;
  return instance;
}

// The whole handler path: connect, send, wait for the callback, close.
void BM_CoreRequestRoundTrip(benchmark::State& state) {
  core();
  int32_t channel = 3;
  for (auto _ : state) {
    int result = core_send(status_reply, 1000, sizeof channel, &channel, 0);
    if (reply_flag_get() != 1) state.SkipWithError("no reply");
    core_close(result);
  }
}
BENCHMARK(BM_CoreRequestRoundTrip)->Repetitions(9)->ReportAggregatesOnly(true)->UseRealTime();

// The transport alone on an open connection: send, wait for the reply flag.
void BM_OpenConnectionRoundTrip(benchmark::State& state) {
  core();
  int32_t channel = 3;
  core_send(status_reply, 1000, sizeof channel, &channel, 0);
  for (auto _ : state) {
    reply_flag_set(0);
    zv_sock_send_msg(kZvDestCore, 1000, &channel, sizeof channel, 0);
    while (reply_flag_get() == 0) std::this_thread::yield();
  }
  core_close(0);
}
BENCHMARK(BM_OpenConnectionRoundTrip)->Repetitions(9)->ReportAggregatesOnly(true)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
