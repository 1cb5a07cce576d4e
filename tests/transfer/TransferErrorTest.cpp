#include <transfer/CurlHandles.h>
#include <transfer/TransferError.h>

#include <gtest/gtest.h>

#include <cerrno>

// Retrying helps when the cause may go away by itself: the network, the
// server's load, a full disk; never a wrong scheme, an untrusted certificate,
// a missing or read-only folder or a bad descriptor. The fault table meets
// the common ones; these are the rest.
TEST(TransferErrorTest, OnlyFailuresThatCanClearByThemselvesAreTransient)
{
    using enum TransferError::Origin;
    const struct {
        TransferError::Origin origin;
        int code;
        bool transient;
    } cases[] = {
        {Network, CURLE_RECV_ERROR, true}, {Network, CURLE_COULDNT_RESOLVE_HOST, true}, {Network, CURLE_GOT_NOTHING, true},
        {Tls, CURLE_SSL_CONNECT_ERROR, false}, {Protocol, CURLE_URL_MALFORMAT, false}, {Protocol, 500, true},
        {Protocol, 408, true}, {Protocol, 429, true}, {Protocol, 416, false}, {Disk, EDQUOT, true}, {Disk, EFBIG, true},
        {Disk, EROFS, false}, {Disk, EACCES, false}, {Disk, ENOTDIR, false}, {Descriptor, 0, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ((TransferError{c.origin, c.code, {}}.transient()), c.transient) << int(c.origin) << " " << c.code;
}
