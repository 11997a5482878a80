// p2p-standin: the P2P registration service on loopback for the demo and the tests.
//   p2p-standin [--port N] [--text TEXT | --status N | --silent]
// Prints the port it listens on, then answers every registration until it is stopped.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/p2p-standin/standin.h"

int main(int argc, char** argv) {
  int port = 9999;
  P2pStandinAnswer answer;
  answer.text = "SIM-REGISTER-CODE";
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--port") == 0 && has_value) {
      port = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--text") == 0 && has_value) {
      answer.kind = P2pStandinAnswer::kText;
      answer.text = argv[++i];
    } else if (std::strcmp(argv[i], "--status") == 0 && has_value) {
      answer.kind = P2pStandinAnswer::kStatus;
      answer.status = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--silent") == 0) {
      answer.kind = P2pStandinAnswer::kSilent;
    } else {
      std::fprintf(stderr, "usage: p2p-standin [--port N] [--text TEXT | --status N | --silent]\n");
      return 2;
    }
  }
  int bound = 0;
  const int listener = p2p_standin_listen(port, &bound);
  if (listener < 0) {
    std::perror("p2p-standin");
    return 1;
  }
  std::printf("%d\n", bound);
  std::fflush(stdout);
  for (;;) p2p_standin_serve_one(listener, answer);
}
