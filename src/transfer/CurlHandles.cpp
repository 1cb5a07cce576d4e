#include "CurlHandles.h"

#include <cstdlib>

void ensureCurlGlobalInit()
{
    static const bool initialised = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        std::atexit(curl_global_cleanup);
        return true;
    }();
    (void)initialised;
}
