#include "base/serial_queue.h"

#include <pthread.h>

#include <asio/post.hpp>
#include <csignal>

#include "base/log.h"

namespace vocalis {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)), guard_(asio::make_work_guard(context_)) {
    thread_ = std::thread([this] {
        // Linux limits thread names to 15 bytes.
        pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
        // A peer that went away must end its connection, not the process: with SIGPIPE
        // blocked, writes to it (sendfile included, which takes no MSG_NOSIGNAL) fail with EPIPE.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        for (;;) {
            try {
                context_.run();
                return;
            } catch (const std::exception& e) {
                logLine(name_ + ": task failed: " + e.what());
            }
        }
    });
}

SerialQueue::~SerialQueue() { stop(); }

void SerialQueue::post(Task task) { asio::post(context_, std::move(task)); }

void SerialQueue::stop() {
    guard_.reset();
    context_.stop();
    if (thread_.joinable()) {
        if (runningInQueue())
            thread_.detach();
        else
            thread_.join();
    }
}

}  // namespace vocalis
