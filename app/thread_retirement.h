#pragma once
// Work whose end must be waited for (a poll thread's join), let go of by the GUI thread
// without waiting: each piece runs on a thread of its own, and every one is joined when
// this ends, at the program's end.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class ThreadRetirement final
{
public:
    ThreadRetirement() = default;
    ~ThreadRetirement();
    ThreadRetirement(const ThreadRetirement&) = delete;
    ThreadRetirement& operator=(const ThreadRetirement&) = delete;

    // Runs ending on a thread of its own; those that have ended are joined now, at no wait.
    void retire(std::function<void()> ending);

private:
    struct Retiring
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Retiring> m_retiring;
};
