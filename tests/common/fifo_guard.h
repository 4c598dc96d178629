#pragma once
// Operations that must not block on a FIFO in a file's place (the log, the settings).

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <string>
#include <unistd.h>

namespace testns {

// Runs an operation that must not block on a FIFO. If it still runs at the deadline,
// opening the FIFO's other end sets it free: the test fails instead of hanging.
inline bool finishesInTime(const std::string& fifo, const std::function<void()>& operation)
{
    auto done = std::async(std::launch::async, operation);
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
        return true;
    const int reader = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    done.wait();
    ::close(reader);
    return false;
}

} // namespace testns
