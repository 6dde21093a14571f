#include "host/liveness_listener.h"

#include <sys/ioctl.h>

#include <future>

#include "server/server_socket.h"

namespace qzt {

void TLivenessListener::Open(uint16_t port, const std::string& bindAddress) {
  asio::ip::tcp::acceptor a(io_);
  asio::error_code ec;
  asio::ip::address_v4 address = asio::ip::address_v4::any();
  if (!bindAddress.empty()) {
    asio::error_code parse;
    const auto parsed = asio::ip::make_address_v4(bindAddress, parse);
    if (!parse) address = parsed;
  }
  a.open(asio::ip::tcp::v4(), ec);
  if (!ec) a.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) a.bind({address, port}, ec);
  if (!ec) a.listen(asio::socket_base::max_listen_connections, ec);
  if (ec)
    throw ESocketError("Windows socket error: " + ec.message() + " (" + std::to_string(ec.value()) + "), on API 'bind'");
  port_ = a.local_endpoint(ec).port();
  acceptor_.emplace(std::move(a));
  asio::post(io_, [this] { Accept(); });
}

void TLivenessListener::Close() {
  if (!acceptor_) return;
  std::promise<void> done;
  asio::post(io_, [&] {
    asio::error_code ec;
    acceptor_->close(ec);
    for (auto& s : held_) s->close(ec);
    held_.clear();
    heldCount_ = 0;
    done.set_value();
  });
  if (io_.stopped()) {
    acceptor_.reset();
    return;
  }
  done.get_future().wait();
  acceptor_.reset();
}

void TLivenessListener::Accept() {
  if (!acceptor_ || !acceptor_->is_open()) return;
  acceptor_->async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) {
      auto s = std::make_shared<asio::ip::tcp::socket>(std::move(socket));
      held_.push_back(s);
      if (held_.size() > MaxHeld) {
        asio::error_code ignore;
        held_.front()->close(ignore);
        held_.pop_front();
      }
      heldCount_ = held_.size();
      Watch(s);
    }
    Accept();
  });
}

// Waits for the peer to close (readable with nothing to read); bytes a peer sends are never read.
void TLivenessListener::Watch(const std::shared_ptr<asio::ip::tcp::socket>& s) {
  s->async_wait(asio::ip::tcp::socket::wait_read, [this, s](const asio::error_code& ec) {
    if (ec) return;
    int waiting = 0;
    if (::ioctl(s->native_handle(), FIONREAD, &waiting) == 0 && waiting > 0) return;  // data: stop watching
    asio::error_code ignore;
    s->close(ignore);
    for (auto it = held_.begin(); it != held_.end(); ++it)
      if (*it == s) {
        held_.erase(it);
        break;
      }
    heldCount_ = held_.size();
  });
}

}  // namespace qzt
