#include "platform/inetmib1/kernel_endpoint_source.h"

#include "platform/inetmib1/tcp_in_errors.h"

std::optional<std::uint32_t> KernelEndpointSource::tcpInErrors()
{
    return readTcpInErrors();
}
