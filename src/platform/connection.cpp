#include "platform/connection.h"

#include <poll.h>
#include <sys/ioctl.h>

namespace qzt {

TClientConnection::TClientConnection(asio::ip::tcp::socket socket, int64_t handle)
    : socket_(std::move(socket)), handle_(handle) {
  asio::error_code ec;
  const auto ep = socket_.remote_endpoint(ec);
  if (!ec) {
    address_ = ep.address().to_string();
    port_ = ep.port();
  }
  socket_.set_option(asio::ip::tcp::no_delay(true), ec);
}

TClientConnection::~TClientConnection() {
  asio::error_code ec;
  socket_.close(ec);
}

bool TClientConnection::Alive() const {
  if (closed_) return false;
  const int fd = const_cast<asio::ip::tcp::socket&>(socket_).native_handle();
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  const int r = ::poll(&p, 1, 0);
  if (r < 0) return false;
  if (r == 0) return true;
  if (p.revents & (POLLERR | POLLNVAL)) return false;
  int waiting = 0;
  if (::ioctl(fd, FIONREAD, &waiting) != 0) return false;
  return waiting > 0;
}

size_t TClientConnection::QueuedBytes() const {
  std::lock_guard<std::mutex> lock(queueLock_);
  return queued_;
}

bool TClientConnection::Send(std::string bytes) {
  if (closed_) return false;
  if (bytes.empty()) return true;
  bool start = false;
  {
    std::lock_guard<std::mutex> lock(queueLock_);
    if (queued_ + bytes.size() > MaxQueuedBytes) {
      if (OnOverflow) OnOverflow("Send queue of " + std::to_string(queued_) + " bytes full, client disconnected");
      Close(false);
      return false;
    }
    queued_ += bytes.size();
    queue_.push_back(std::move(bytes));
    start = !writing_;
    writing_ = true;
  }
  if (start) asio::post(socket_.get_executor(), [self = shared_from_this()] { self->WriteNext(); });
  return true;
}

void TClientConnection::WriteNext() {
  std::unique_lock<std::mutex> lock(queueLock_);
  if (queue_.empty()) {
    writing_ = false;
    const bool shut = flushThenClose_;
    lock.unlock();
    if (shut) Shut();
    return;
  }
  const std::string& front = queue_.front();
  const size_t n = std::min(WriteChunk, front.size() - offset_);
  // One chunk per write: other connections are served between chunks.
  socket_.async_write_some(asio::buffer(front.data() + offset_, n),
                           [self = shared_from_this()](const asio::error_code& ec, size_t written) {
                             {
                               std::lock_guard<std::mutex> lock(self->queueLock_);
                               if (ec) {
                                 self->queue_.clear();
                                 self->queued_ = 0;
                                 self->offset_ = 0;
                                 self->writing_ = false;
                                 self->closed_ = true;
                                 return;
                               }
                               self->offset_ += written;
                               self->queued_ -= written;
                               if (self->offset_ == self->queue_.front().size()) {
                                 self->queue_.pop_front();
                                 self->offset_ = 0;
                               }
                             }
                             self->WriteNext();
                           });
}

void TClientConnection::Shut() {
  asio::error_code ec;
  if (flushTimer_) flushTimer_->cancel();
  socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
  socket_.close(ec);
}

void TClientConnection::Close(bool flush) {
  if (closed_.exchange(true) && flush) return;
  asio::post(socket_.get_executor(), [self = shared_from_this(), flush] {
    std::unique_lock<std::mutex> lock(self->queueLock_);
    if (!flush || (self->queue_.empty() && !self->writing_)) {
      // A write in flight still reads the front buffer: it ends with an error once the socket is
      // closed, and its handler empties the queue then.
      if (!self->writing_) {
        self->queue_.clear();
        self->queued_ = 0;
      }
      lock.unlock();
      self->Shut();
      return;
    }
    // Let the queued replies (an error line before a disconnect, say) leave first, for a bounded time.
    self->flushThenClose_ = true;
    self->flushTimer_ = std::make_unique<asio::steady_timer>(self->socket_.get_executor(), FlushTimeout);
    self->flushTimer_->async_wait([self](const asio::error_code& ec) {
      if (!ec) self->Shut();
    });
  });
}

}  // namespace qzt
