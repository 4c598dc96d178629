#include "app/thread_retirement.h"

ThreadRetirement::~ThreadRetirement()
{
    for (Retiring& retiring : m_retiring)
        retiring.thread.join();
}

void ThreadRetirement::retire(std::function<void()> ending)
{
    std::erase_if(m_retiring, [](Retiring& retiring) {
        if (!retiring.done->load())
            return false;
        retiring.thread.join(); // it has ended
        return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_retiring.push_back({ std::thread([ending = std::move(ending), done] {
                              ending();
                              done->store(true);
                          }),
        done });
}
