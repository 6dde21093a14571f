// A Firebird server of the test's own on a free loopback port: the installed server program run with a
// root folder of its own (configuration, security database with SYSDBA/masterkey, lock files), so that it
// shares nothing with a system server or with the embedded engine of the test process.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qzt {

class LocalFirebirdServer {
 public:
  static constexpr const char* kServerProgram = "/usr/sbin/firebird";
  static constexpr const char* kEngineFolder = "/usr/lib/x86_64-linux-gnu/firebird/3.0";

  explicit LocalFirebirdServer(const std::filesystem::path& root) : root_(root) {
    namespace fs = std::filesystem;
    if (!fs::exists(kServerProgram))
      throw std::runtime_error(std::string(kServerProgram) + " is not installed");
    fs::create_directories(root_ / "lock");
    for (const char* shared :
         {"UDF", "firebird.msg", "intl", "lib", "plugins", "plugins.conf", "fbtrace.conf"})
      if (!fs::exists(root_ / shared)) fs::create_symlink(fs::path(kEngineFolder) / shared, root_ / shared);
    port_ = FreePort();
    std::ofstream(root_ / "firebird.conf")
        << "RemoteServicePort = " << port_
        << "\nRemoteBindAddress = 127.0.0.1\nSecurityDatabase = " << (root_ / "security3.fdb").string()
        << "\nAuthServer = Srp\nUserManager = Srp\n";
    std::ofstream(root_ / "databases.conf");
    std::ofstream(root_ / "security.sql") << "create database '" << (root_ / "security3.fdb").string()
                                          << "';\ncreate user SYSDBA password 'masterkey';\ncommit;\n";
    Run({"/usr/bin/isql-fb", "-q", "-i", (root_ / "security.sql").string()}, true);
    pid_ = Run({kServerProgram}, false);
    WaitForListening();
  }

  ~LocalFirebirdServer() { Stop(); }

  // Ends the server (as a crash or an administrator would) and waits for it.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  int Port() const { return port_; }
  // The host part of a connection string: "127.0.0.1/port".
  std::string Host() const { return "127.0.0.1/" + std::to_string(port_); }

  // A loopback port nobody listens on now.
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      ::close(fd);
      throw std::runtime_error("no free loopback port");
    }
    ::close(fd);
    return ntohs(a.sin_port);
  }

 private:

  // Starts a program with this server's root and lock folder; with `wait`, waits and checks its status.
  pid_t Run(const std::vector<std::string>& args, bool wait) {
    std::vector<std::string> env = {"FIREBIRD=" + root_.string(),
                                    "FIREBIRD_LOCK=" + (root_ / "lock").string()};
    for (char** e = environ; *e; ++e)
      if (std::string_view(*e).rfind("FIREBIRD", 0) != 0) env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const std::string log = (root_ / "server.log").string();
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
    if (!wait) return pid;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      throw std::runtime_error(args[0] + " failed: " + Log());
    return -1;
  }

  void WaitForListening() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < until) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<uint16_t>(port_));
      const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
      ::close(fd);
      if (up) return;
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    throw std::runtime_error("the Firebird server did not listen on port " + std::to_string(port_) + ": " +
                             Log());
  }

  std::string Log() const {
    std::ostringstream s;
    s << std::ifstream(root_ / "server.log").rdbuf();
    return s.str();
  }

  std::filesystem::path root_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace qzt
