#include "SoapRuntime.h"

#include <stdsoap2.h>

#include <csignal>
#include <mutex>

namespace SoapRuntime {

void initOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        std::signal(SIGPIPE, SIG_IGN);
        soap_ssl_init();
    });
}

} // namespace SoapRuntime
