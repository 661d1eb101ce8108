#pragma once

// Process-wide set-up that every program talking SOAP needs before its
// first call; safe to call from any thread, any number of times.
namespace SoapRuntime {

// Initialises OpenSSL for gSOAP (soap_ssl_init) exactly once, and ignores
// SIGPIPE: a peer that closes mid-transfer must fail the call, not end
// the process.
void initOnce();

} // namespace SoapRuntime
