#include "ServiceProxyFactory.h"

#include "CallBounds.h"
#include "ClientSsl.h"
#include "SoapRuntime.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

#include <ombrelServiceProxy.h>

namespace {

QMutex dirMutex;
QString dirOverride;

} // namespace

QString sslProgramDir()
{
    const QMutexLocker lock(&dirMutex);
    return dirOverride.isEmpty() ? QCoreApplication::applicationDirPath() : dirOverride;
}

void setSslProgramDir(const QString &folder)
{
    const QMutexLocker lock(&dirMutex);
    dirOverride = folder;
}

ombrel::Service *createServiceProxy(bool secure)
{
    SoapRuntime::initOnce();
    auto *proxy = new ombrel::Service;
    // Every context is bounded from its first call on.
    CallBounds::install(proxy->soap);
    if (secure && proxy->soap)
        ClientSsl::setup(proxy->soap, sslProgramDir());
    return proxy;
}
