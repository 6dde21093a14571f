// The command-line client against a running server: rows as CSV and JSON, statements, procedure outputs,
// and a readable error with a failing exit status.
#include <cstdio>

#include "services/service_fixture.h"

namespace qzt {
namespace {

class Cli : public ServiceFixture {
 protected:
  // The tool's standard output and exit status for these arguments.
  std::pair<std::string, int> Run(const std::string& args) {
    const std::string command =
        std::string(QZT_CLI) + " --port " + std::to_string(server.BoundPort()) + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = ::pclose(pipe);
    return {out, WEXITSTATUS(status)};
  }
};

TEST_P(Cli, SelectsStatementsProceduresAndErrors) {
  auto [out, status] = Run("--format csv select \"select cust_no, name from customers where cust_no <= :N\" N=2");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "CUST_NO,NAME\n1,김민준\n2,이민준\n");

  std::tie(out, status) = Run("--format json select \"select item_id, code from items where item_id = 1\"");
  EXPECT_EQ(out, "[\n  {\n    \"ITEM_ID\": \"1\",\n    \"CODE\": \"P1000\"\n  }\n]\n");  // in column order

  std::tie(out, status) = Run("exec \"update customers set points = points where cust_no = 1\"");
  EXPECT_EQ(out, "OK 1\n");
  std::tie(out, status) = Run("--format csv --no-procedure-rows proc ADD_STOCK ITEM_ID=3 QTY=1 NEW_STOCK=?");
  EXPECT_EQ(out.rfind("Parameter,Value\nITEM_ID,3\nQTY,1\nNEW_STOCK,", 0), 0u) << out;

  std::tie(out, status) = Run("select \"select nothing from nowhere\"");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.rfind("qzt-cli: ", 0), 0u) << out;
  EXPECT_NE(out.find("NOWHERE"), std::string::npos) << out;
  std::tie(out, status) = Run("frobnicate");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "qzt-cli: Unknown command 'frobnicate' (see --help)\n");
}

INSTANTIATE_TEST_SUITE_P(Pooled, Cli, ::testing::Values(tmPooledSessions), ModelName);

}  // namespace
}  // namespace qzt
