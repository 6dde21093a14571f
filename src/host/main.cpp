// QZTServer: starts the server from the program folder's Environment.ini (client port, session count,
// database), opens the liveness listener on the client port + 1, retries every 2 seconds while the
// database cannot be reached, and runs until SIGINT or SIGTERM.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>

#include "dbplugin/fb_access.h"
#include "host/server_host.h"
#include "platform/date_time.h"
#include "platform/environment.h"
#include "platform/text_encoding.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

void Usage() {
  std::puts("usage: QZTServer [--log] [--threading pooled|single|persistent|smart]\n"
            "  --log        write the server log to standard output\n"
            "  --threading  how database work runs: on pooled sessions (the default), on the I/O thread with\n"
            "               one session, on a session per client, or pooled unless a client has its own\n"
            "Environment.ini in the program folder (QZT_HOME, or the folder of this program) gives the client\n"
            "port, the session count and the database; the liveness listener opens on the client port + 1.");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qzt;
  bool log = false;
  TVornThreadModel threading = tmPooledSessions;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--log") || !std::strcmp(argv[i], "-l")) {
      log = true;
    } else if (!std::strcmp(argv[i], "--threading") && i + 1 < argc) {
      const std::string model = argv[++i];
      if (model == "pooled") threading = tmPooledSessions;
      else if (model == "single") threading = tmSingleSession;
      else if (model == "persistent") threading = tmPersistentSessions;
      else if (model == "smart") threading = tmSmartThreading;
      else {
        Usage();
        return 2;
      }
    } else {
      Usage();
      return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
    }
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  std::mutex out;
  try {
    TServerHost host(ProgramFolder());
    host.LogEnabled = log;
    host.Server.ThreadingModel = threading;
    host.OnLogLine = [&](const std::string& line) {
      std::lock_guard<std::mutex> lock(out);
      std::cout << FormatDateTime("yyyy-mm-dd hh:nn:ss ", Now()) << Cp949ToUtf8(line) << std::endl;
    };
    const int port = Environment().ClientPort();  // an unreadable port ends the program here
    host.OpenLiveness();
    if (!log) host.OnLogLine("QZTServer: client port " + std::to_string(port) + ", liveness " + std::to_string(port + 1));
    // The first start, then a retry every 2 seconds while the database cannot be reached.
    while (!stopRequested && !host.ToggleServer())
      for (int i = 0; i < 20 && !stopRequested; ++i) ::usleep(100000);
    while (!stopRequested) ::usleep(100000);
    if (host.Running()) host.ToggleServer();
  } catch (const std::exception& e) {
    std::cerr << "QZTServer: " << Cp949ToUtf8(e.what()) << std::endl;
    return 1;
  }
  try {
    ShutdownEngine();
  } catch (const std::exception& e) {
    std::cerr << "QZTServer: " << Cp949ToUtf8(e.what()) << std::endl;
  }
  return 0;
}
