// A client's cancel (attention) stops the batch it sent: the statements that ran before
// stay, the one running stops, and the connection serves the next batch.
#include <string>

#include "tests/server/served_company.h"

namespace morvesk::test {
namespace {

TEST_F(ServedCompany, CancelEndsARunningBatchAndTheSessionGoesOn) {
  // `timeout` turns a cancel that never lands (the loop runs for ever) into a failure.
  const std::string cmd = "timeout 60 /usr/bin/python3 " +
                          Sh(std::string(MORVESK_TEST_DIR) + "/clients.py") + " cancel " +
                          Sh(ConnectionString()) + " t_ServeProbe";
  Outcome o = Shell(cmd);
  ASSERT_EQ(o.exit_code, 0) << o.err;
  const std::string rows = EngineRows("SELECT FID, FNote FROM t_ServeProbe");
  EXPECT_EQ(rows, "1|before the loop\n");
  // The driver reports the cancel as its own "operation cancelled" state, then the same
  // connection reads the row the batch wrote before the loop.
  EXPECT_EQ(o.out, "cancelled HY008\n" + rows);
  EXPECT_TRUE(ServerAlive());
}

}  // namespace
}  // namespace morvesk::test
