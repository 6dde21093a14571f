// TClientConnection: one accepted TCP connection, standing in for the platform's socket connection
// object: handle, remote address and port, a user-data slot, the alive test, an outgoing queue, close.
//
// The socket belongs to the I/O thread: reads and writes happen there. Any thread may queue bytes
// (Send) or ask for the connection to be closed (Close); both hand the work to the I/O thread.
#pragma once

#include <asio.hpp>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace qzt {

class TClientConnection : public std::enable_shared_from_this<TClientConnection> {
 public:
  static constexpr size_t WriteChunk = 1000000;             // largest single socket write
  size_t MaxQueuedBytes = 64u << 20;  // a peer that stops reading is closed past this

  TClientConnection(asio::ip::tcp::socket socket, int64_t handle);
  ~TClientConnection();

  int64_t Handle() const { return handle_; }  // unique for the life of the process
  const std::string& RemoteAddress() const { return address_; }
  uint16_t RemotePort() const { return port_; }
  bool Closed() const { return closed_; }
  // Open, and polling for readability says either not readable or readable with bytes waiting.
  bool Alive() const;

  // The user-data slot: the client record of the connection (owned by the client list).
  std::atomic<void*> Data{nullptr};

  // Queues bytes for the I/O thread to write in chunks of at most WriteChunk; false when the connection
  // is closed or the queue would pass MaxQueuedBytes (the connection is then closed).
  bool Send(std::string bytes);
  // Closes the socket on the I/O thread after what is queued has been written (at most FlushTimeout),
  // or at once when `flush` is false; later calls do nothing.
  void Close(bool flush = true);
  static constexpr std::chrono::seconds FlushTimeout{10};
  size_t QueuedBytes() const;

  // I/O-thread side.
  asio::ip::tcp::socket& Socket() { return socket_; }
  std::function<void(const std::string&)> OnOverflow;  // told when the queue bound closed the connection

 private:
  void WriteNext();
  void Shut();  // I/O thread
  asio::ip::tcp::socket socket_;
  int64_t handle_;
  std::string address_;
  uint16_t port_ = 0;
  std::atomic<bool> closed_{false};
  mutable std::mutex queueLock_;
  std::deque<std::string> queue_;
  size_t queued_ = 0;
  size_t offset_ = 0;  // of the front buffer already written
  bool writing_ = false;
  bool flushThenClose_ = false;
  std::unique_ptr<asio::steady_timer> flushTimer_;
};

}  // namespace qzt
