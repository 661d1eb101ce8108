#pragma once

#include <QString>

namespace ombrel {
class Service;
}

// Makes the SOAP proxies of the connections and transfer threads: a fresh
// context each, the default endpoint, socket buffers sized by the kernel, a
// plain-socket transport that waits only when the socket is not ready (with
// gSOAP's idle limits), and for `secure` the client certificate and trusted
// CA from "ssl_client" beside the program, read once per process. SSL
// set-up problems are not reported here; they show as failing calls.
ombrel::Service *createServiceProxy(bool secure);

// Folder that holds "ssl_client": the program's folder unless set (tests
// run from a folder of their own).
QString sslProgramDir();
void setSslProgramDir(const QString &folder);
