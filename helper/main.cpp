// veltran-close-helper: closes one TCP connection or stops one process with root's rights,
// for a user who is granted them through pkexec and polkit. It takes one strict form of
// request (helper_request.h) and tells the outcome by its exit code (action_outcome.h).

#include "helper/helper_action.h"

#include <cstdio>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto request = parseHelperRequest(arguments);
    if (!request) {
        std::fputs("usage: veltran-close-helper close tcp ADDRESS:PORT ADDRESS:PORT\n"
                   "       veltran-close-helper stop PID STARTTIME\n",
            stderr);
        return static_cast<int>(ActionOutcome::Refused);
    }
    return static_cast<int>(performHelperRequest(*request));
}
