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
        const char *name;
        Origin origin;
        int code;
        bool transient;
    } cases[] = {
        {"connection refused", Origin::Network, CURLE_COULDNT_CONNECT, true},
        {"connection reset", Origin::Network, CURLE_RECV_ERROR, true},
        {"host not found", Origin::Network, CURLE_COULDNT_RESOLVE_HOST, true},
        {"time-out", Origin::Network, CURLE_OPERATION_TIMEDOUT, true},
        {"body cut short", Origin::Network, CURLE_PARTIAL_FILE, true},
        {"nothing answered", Origin::Network, CURLE_GOT_NOTHING, true},
        {"certificate refused", Origin::Tls, CURLE_PEER_FAILED_VERIFICATION, false},
        {"handshake failed", Origin::Tls, CURLE_SSL_CONNECT_ERROR, false},
        {"scheme other than http(s)", Origin::Protocol, CURLE_UNSUPPORTED_PROTOCOL, false},
        {"malformed URL", Origin::Protocol, CURLE_URL_MALFORMAT, false},
        {"redirect loop", Origin::Protocol, CURLE_TOO_MANY_REDIRECTS, true},
        {"status 500", Origin::Protocol, 500, true},
        {"status 503", Origin::Protocol, 503, true},
        {"status 408", Origin::Protocol, 408, true},
        {"status 429", Origin::Protocol, 429, true},
        {"status 404", Origin::Protocol, 404, false},
        {"status 401", Origin::Protocol, 401, false},
        {"status 204", Origin::Protocol, 204, false},
        {"status 416", Origin::Protocol, 416, false},
        {"disk full", Origin::Disk, ENOSPC, true},
        {"quota exceeded", Origin::Disk, EDQUOT, true},
        {"file too large", Origin::Disk, EFBIG, true},
        {"read-only file system", Origin::Disk, EROFS, false},
        {"permission denied", Origin::Disk, EACCES, false},
        {"folder missing", Origin::Disk, ENOENT, false},
        {"not a folder", Origin::Disk, ENOTDIR, false},
        {"descriptor refused", Origin::Descriptor, 0, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ((TransferError{c.origin, c.code, {}}.transient()), c.transient) << c.name;
}

TEST(TransferErrorTest, LibcurlResultsKeepTheirCodeOriginAndText)
{
    const struct {
        CURLcode result;
        const char *errorBuffer;
        Origin origin;
        QString text;
    } cases[] = {
        {CURLE_COULDNT_CONNECT, "", Origin::Network, "Couldn't connect to server"},
        {CURLE_PARTIAL_FILE, "transfer closed with 3288 bytes remaining to read", Origin::Network,
         "Transferred a partial file (transfer closed with 3288 bytes remaining to read)"},
        // The buffer's trailing period goes; a buffer that only repeats the text adds nothing.
        {CURLE_OPERATION_TIMEDOUT, "Nothing received for 2 seconds.", Origin::Network,
         "Timeout was reached (Nothing received for 2 seconds)"},
        {CURLE_OPERATION_TIMEDOUT, "timeout was reached", Origin::Network, "Timeout was reached"},
        {CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: self-signed certificate", Origin::Tls,
         "SSL peer certificate or SSH remote key was not OK (SSL certificate problem: self-signed certificate)"},
        {CURLE_SSL_CONNECT_ERROR, nullptr, Origin::Tls, "SSL connect error"},
        {CURLE_UNSUPPORTED_PROTOCOL, "Protocol \"file\" not supported", Origin::Protocol,
         "Unsupported protocol (Protocol \"file\" not supported)"},
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
