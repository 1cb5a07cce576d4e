#include <transfer/CurlHandles.h>
#include <transfer/TransferError.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using Origin = TransferError::Origin;

// Retrying helps when the cause may go away by itself: the network, the
// server's load, a full disk; it never helps a wrong scheme, an untrusted
// certificate, a missing or read-only folder, or a bad descriptor.
TEST(TransferErrorTest, OnlyFailuresThatCanClearByThemselvesAreTransient)
{
    const struct {
        Origin origin;
        int code;
        bool transient;
    } cases[] = {
        {Origin::Network, CURLE_COULDNT_CONNECT, true}, {Origin::Network, CURLE_RECV_ERROR, true},
        {Origin::Network, CURLE_COULDNT_RESOLVE_HOST, true}, {Origin::Network, CURLE_OPERATION_TIMEDOUT, true},
        {Origin::Network, CURLE_PARTIAL_FILE, true}, {Origin::Network, CURLE_GOT_NOTHING, true},
        {Origin::Tls, CURLE_PEER_FAILED_VERIFICATION, false}, {Origin::Tls, CURLE_SSL_CONNECT_ERROR, false},
        {Origin::Protocol, CURLE_UNSUPPORTED_PROTOCOL, false}, {Origin::Protocol, CURLE_URL_MALFORMAT, false},
        {Origin::Protocol, CURLE_TOO_MANY_REDIRECTS, true}, {Origin::Protocol, 500, true},
        {Origin::Protocol, 503, true}, {Origin::Protocol, 408, true}, {Origin::Protocol, 429, true},
        {Origin::Protocol, 404, false}, {Origin::Protocol, 401, false}, {Origin::Protocol, 204, false},
        {Origin::Protocol, 416, false}, {Origin::Disk, ENOSPC, true}, {Origin::Disk, EDQUOT, true},
        {Origin::Disk, EFBIG, true}, {Origin::Disk, EROFS, false}, {Origin::Disk, EACCES, false},
        {Origin::Disk, ENOENT, false}, {Origin::Disk, ENOTDIR, false}, {Origin::Descriptor, 0, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ((TransferError{c.origin, c.code, {}}.transient()), c.transient) << int(c.origin) << " " << c.code;
}

// The origin follows libcurl's result; libcurl's detail joins its text once.
TEST(TransferErrorTest, LibcurlResultsKeepTheirCodeOriginAndText)
{
    const struct {
        CURLcode result;
        const char *errorBuffer;
        Origin origin;
        QString text;
    } cases[] = {
        {CURLE_OPERATION_TIMEDOUT, "Nothing received for 2 seconds.", Origin::Network,
         "Timeout was reached (Nothing received for 2 seconds)"},
        {CURLE_OPERATION_TIMEDOUT, "timeout was reached", Origin::Network, "Timeout was reached"},
        {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: self-signed certificate", Origin::Tls,
         "SSL peer certificate or SSH remote key was not OK (SSL certificate problem: self-signed certificate)"},
        {CURLE_SSL_CONNECT_ERROR, nullptr, Origin::Tls, "SSL connect error"},
        {CURLE_TOO_MANY_REDIRECTS, "", Origin::Protocol, "Number of redirects hit maximum amount"},
    };
    for (const auto &c : cases) {
        const TransferError error = curlTransferError(c.result, c.errorBuffer);
        EXPECT_EQ(error.code, int(c.result));
        EXPECT_EQ(error.origin, c.origin) << c.text.toStdString();
        EXPECT_EQ(error.text, c.text);
    }
}

}  // namespace
