#pragma once

struct soap;

namespace SslFailure {

// True when the context's last call failed because the server's
// certificate did not verify against the trusted CA (as opposed to no
// server, a server that does not speak TLS, or a refused client
// certificate). Read it before the context's memory is cleared: the
// reason lives in its fault.
bool certificateRejected(struct soap *soap);

} // namespace SslFailure
