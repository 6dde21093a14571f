// TServerHost: starts and stops the server as the server data module does. Starting reads the client port
// and the session count from Environment.ini, listens, attaches the Firebird plug-in (which connects the
// database and builds the session pool); when the database cannot be reached, listening is switched off
// again and the caller retries (every 2 seconds in QZTServer).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/liveness_listener.h"
#include "server/server_socket.h"

namespace qzt {

class TServerHost {
 public:
  explicit TServerHost(std::string programFolder);
  ~TServerHost();

  TVornServerSocket Server;
  bool LogEnabled = false;
  bool Compression = false;
  std::string DesKey;  // empty: no encryption
  // Every log line, the server's and the host's own (errors are written even with the log off).
  std::function<void(const std::string& line)> OnLogLine;

  // Starts when stopped, stops when running; true when the server is running afterwards.
  bool ToggleServer();
  bool Running() const { return Server.Active(); }
  // Opens the liveness listener on the client port + 1.
  void OpenLiveness();

 private:
  void WriteLogLine(const std::string& line);
  std::string folder_;
  std::unique_ptr<TLivenessListener> liveness_;
};

}  // namespace qzt
