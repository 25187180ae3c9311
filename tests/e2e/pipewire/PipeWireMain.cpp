// The PipeWire tests' program runs itself again through `pw-jack`, as a user
// runs a JACK program on PipeWire: then its own JACK clients, and the thumper
// it starts, talk to PipeWire's JACK layer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "support/PipeWireServer.h"

int main(int argc, char** argv) {
  using thumper::test::PipeWireServer;
  if (!std::getenv("THUMPER_TEST_PW_JACK") && PipeWireServer::Missing().empty() &&
      !PipeWireServer::ThisProcessUsesPipeWireJack()) {
    char self[PATH_MAX] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
      setenv("THUMPER_TEST_PW_JACK", "1", 1);  // once: never a loop
      std::vector<char*> args{const_cast<char*>("pw-jack"), self};
      for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
      args.push_back(nullptr);
      execvp("pw-jack", args.data());
    }
    // Not run through pw-jack: every test says why it skips.
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
