#include "tests/common/socket_holder.h"

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testproc {

SocketHolder::SocketHolder(
    const char* name, const std::function<void()>& makeSockets, std::initializer_list<int> keep)
{
    int ready[2];
    if (pipe(ready) != 0)
        return;
    m_pid = fork();
    if (m_pid == 0) {
        dup2(ready[1], kReadyFd);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != kReadyFd && std::find(keep.begin(), keep.end(), fd) == keep.end())
                close(fd);
        }
        prctl(PR_SET_NAME, name);
        try {
            makeSockets();
        } catch (...) {
            _exit(1);
        }
        const char done = 1;
        if (write(kReadyFd, &done, 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char done = 0;
    if (read(ready[0], &done, 1) != 1)
        end();
    close(ready[0]);
}

SocketHolder::~SocketHolder()
{
    end();
}

void SocketHolder::end()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int SocketHolder::waitForEnd()
{
    int status = 0;
    if (m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid)
        m_pid = -1;
    return status;
}

} // namespace testproc
