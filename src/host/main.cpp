// QZTServer: reads the client port from Environment.ini in the program folder, opens the liveness
// listener on the port + 1 and runs the server socket until it is told to stop (SIGINT, SIGTERM).
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>

#include <unistd.h>

#include "platform/environment.h"
#include "host/liveness_listener.h"
#include "platform/date_time.h"
#include "platform/text_encoding.h"
#include "server/server_socket.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

void Usage() {
  std::puts("usage: QZTServer [--log]\n"
            "  --log   write the server log to standard output\n"
            "The client port is read from Environment.ini in the program folder (QZT_HOME, or the folder of\n"
            "this program); the liveness listener opens on the client port + 1.");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qzt;
  bool log = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--log") || !std::strcmp(argv[i], "-l")) {
      log = true;
    } else {
      Usage();
      return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
    }
  }
  std::mutex out;
  auto print = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(out);
    std::cout << FormatDateTime("yyyy-mm-dd hh:nn:ss ", Now()) << Cp949ToUtf8(line) << std::endl;
  };
  try {
    const EnvironmentSettings env = Environment();
    const int port = env.ClientPort();
    TVornServerSocket server;
    server.ProgramFolder = ProgramFolder();
    server.Port = static_cast<uint16_t>(port);
    server.ThreadingModel = tmPooledSessions;
    server.DataBaseSessions = env.DBSession().value_or(10);
    server.DisconnectClientOnFailedLogin = true;
    server.VornServerName = "Vorn3FIBPlusServer";
    server.LogEnabled = log;
    server.OnShowServerMessage = [&](TVornServerSocket&, const std::string& line) { print(line); };
    // Every login that reaches the application is accepted.
    server.OnClientAuthenticate = [](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                     const std::string&, TVornParamList&, bool& verified,
                                     TComponent*&) { verified = true; };
    server.OnUserListchange = [&](TVornServerSocket& s, TClientConnection& c, TUserRecordState state) {
      if (state == TuConnect) s.LogMessage(&c, "Connected: " + c.RemoteAddress());
      if (state == tuDisconnect) s.LogMessage(&c, "Disconnected: " + c.RemoteAddress());
    };
    server.SetActive(true);
    TLivenessListener liveness(server.IoContext());
    liveness.Open(static_cast<uint16_t>(port + 1));
    server.LogMessage(nullptr, Utf8ToCp949("서버 시작됨 ") + DateTimeToStr(Now()));
    if (!log) print("QZTServer listening on port " + std::to_string(port) + " (liveness " + std::to_string(port + 1) + ")");
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    while (!stopRequested) ::usleep(100000);
    server.LogMessage(nullptr, Utf8ToCp949("서버가 중지됨 ") + DateTimeToStr(Now()));
    liveness.Close();
    server.SetActive(false);
  } catch (const std::exception& e) {
    std::cerr << "QZTServer: " << Cp949ToUtf8(e.what()) << std::endl;
    return 1;
  }
  return 0;
}
