#include "remote/discovery_responder.h"

#include <future>
#include <string>

#include "base/close_on_exec.h"
#include "base/log.h"

namespace vocalis {

DiscoveryResponder::DiscoveryResponder(Preferences& preferences, std::function<Clock::time_point()> clock)
    : preferences_(preferences),
      clock_(std::move(clock)),
      logLines_(kLogLinesPerSecond, kLogLinesPerSecond, clock_()) {}

DiscoveryResponder::~DiscoveryResponder() {
    stop();
    queue_.stop();
}

void DiscoveryResponder::runOnQueue(const std::function<void()>& task) {
    if (queue_.runningInQueue()) {
        task();
        return;
    }
    std::promise<void> done;
    queue_.post([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

bool DiscoveryResponder::start(std::uint16_t port) {
    bool started = false;
    runOnQueue([&] {
        if (udpSocket_) {
            started = true;
            return;
        }
        asio::ip::udp::socket socket(queue_.context());
        const asio::ip::udp::endpoint endpoint(asio::ip::udp::v4(), port);
        std::error_code error;
        // No address reuse: a port held by another program must fail here, not share.
        socket.open(endpoint.protocol(), error);
        if (!error) closeOnExec(socket.native_handle());
        if (!error) socket.set_option(asio::socket_base::broadcast(true), error);
        if (!error) socket.bind(endpoint, error);
        if (error) {
            logParts("Error starting discovery on UDP port ", port, ": ", error.message());
            return;
        }
        port_.store(socket.local_endpoint(error).port());
        udpSocket_.emplace(std::move(socket));
        receive();
        started = true;
    });
    return started;
}

void DiscoveryResponder::stop() {
    runOnQueue([this] {
        if (!udpSocket_) return;
        std::error_code ignored;
        udpSocket_->close(ignored);
        udpSocket_.reset();
    });
    port_.store(0);
}

void DiscoveryResponder::receive() {
    udpSocket_->async_receive_from(asio::buffer(*buffer_), sender_,
                                   [this](const std::error_code& error, std::size_t length) {
                                       if (error == asio::error::operation_aborted || !udpSocket_) return;
                                       if (!error) answer(length);
                                       receive();
                                   });
}

void DiscoveryResponder::log(std::string_view payload) {
    if (!logLines_.tryTake(clock_())) {
        ++notLogged_;
        return;
    }
    std::string line = "udpSocket didReceiveData: " + discovery::describeForLog(payload);
    if (notLogged_ > 0) line += " (" + std::to_string(notLogged_) + " more not logged)";
    notLogged_ = 0;
    logLine(line);
}

void DiscoveryResponder::answer(std::size_t length) {
    const std::string_view payload(buffer_->data(), length);
    log(payload);
    if (!discovery::isProbe(payload)) return;
    const std::string deviceName =
        preferences_.stringForKey(std::string(discovery::kDeviceNameKey)).value_or(std::string());
    const std::string reply = discovery::reply(deviceName);
    std::error_code error;
    udpSocket_->send_to(asio::buffer(reply), sender_, 0, error);
    if (error) logParts("Discovery reply to ", sender_.address().to_string(), " failed: ", error.message());
}

}  // namespace vocalis
