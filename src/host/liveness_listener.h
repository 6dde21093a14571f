// The liveness listener: a TCP port (the client port + 1) that accepts connections so that monitors see
// the server is up, and never reads or writes them. Connections are held until their peer closes them;
// past a fixed number the oldest is let go.
#pragma once

#include <asio.hpp>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace qzt {

class TLivenessListener {
 public:
  static constexpr size_t MaxHeld = 1024;
  explicit TLivenessListener(asio::io_context& io) : io_(io) {}
  ~TLivenessListener() { Close(); }
  void Open(uint16_t port, const std::string& bindAddress = "");  // ESocketError
  void Close();
  uint16_t BoundPort() const { return port_; }
  size_t Held() const { return heldCount_; }

 private:
  void Accept();
  void Watch(const std::shared_ptr<asio::ip::tcp::socket>& s);
  asio::io_context& io_;
  std::optional<asio::ip::tcp::acceptor> acceptor_;
  std::deque<std::shared_ptr<asio::ip::tcp::socket>> held_;
  uint16_t port_ = 0;
  std::atomic<size_t> heldCount_{0};
};

}  // namespace qzt
