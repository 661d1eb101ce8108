// Without libFuzzer: replays inputs through the fuzz targets (a crash or a
// sanitizer finding ends the run), and makes the seed corpus from the test
// server's replies.
//   fuzz_replay --make-seeds <dir>      <dir>/{envelope,records,cache}/...
//   fuzz_replay <target> <file|dir>...  every file through that target
//   fuzz_replay --all <dir>...          <dir>/<target>/... through each
#include "FuzzCalls.h"
#include "Server.h"
#include "ServerCache.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstdio>

using FuzzCalls::Target;

namespace {

const Target kTargets[] = { Target::Envelope, Target::Records, Target::Cache };

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

ServerCache::Content cacheContent()
{
    MetadataToFill field;
    field.key = QStringLiteral("h:1:F:P:k");
    field.label = QStringLiteral("Customer");
    field.dataType = QStringLiteral("string");
    field.value = QStringLiteral("a & <b>");
    field.rememberLastValue = true;
    ServerCache::Job job;
    job.id = QStringLiteral("J1");
    job.data.name = QStringLiteral("report.pdf");
    job.data.fullUserName = QStringLiteral("Ann");
    job.data.size = 1024;
    job.data.connections.append({ QStringLiteral("c1"), QStringLiteral("Print") });
    job.data.metadata.append(
        { QStringLiteral("Label"), QStringLiteral("d"), QStringLiteral("string"), QStringLiteral("v") });
    job.data.requiredMetadata.append(field);
    ServerCache::Job waiting = job;
    waiting.id = QStringLiteral("J2");
    ServerCache::markWaitingPush(waiting, { QStringLiteral("c1") }, { field });
    ServerCache::Content content;
    content.flows.append({ QStringLiteral("F"), QStringLiteral("Flow"),
        { { QStringLiteral("P"), QStringLiteral("Point"), { field } } },
        { { QStringLiteral("C"), QStringLiteral("Check"), { job, waiting } } } });
    ProgressData progress;
    progress.jobName = QStringLiteral("report.pdf");
    progress.state = QStringLiteral("Running");
    content.progress.append(progress);
    return content;
}

int makeSeeds(const QString &dir)
{
    testserver::Server server;
    testserver::Options options;
    options.user.clear();
    if (!server.start(options)) {
        std::fprintf(stderr, "test server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    server.loadDemoData();
    FuzzCalls::relayTo(server.port());
    int made = 0;
    const auto keep = [&](Target target, const QString &name, const QByteArray &bytes) {
        if (write(dir + QLatin1Char('/') + QLatin1String(FuzzCalls::targetName(target)) + QLatin1Char('/')
                    + name,
                bytes))
            ++made;
    };
    for (int call = 0; call < FuzzCalls::kEnvelopeCalls; ++call) {
        FuzzCalls::envelopeCall(call, QByteArray());
        const QByteArray reply = FuzzCalls::relayed();
        const QString name = QLatin1String(FuzzCalls::envelopeCallName(call));
        keep(Target::Envelope, name, char(call) + reply);
        if (name == QLatin1String("GetLogData07") || name == QLatin1String("GetProgressData")
            || name == QLatin1String("GetCheckPoints07"))
            keep(Target::Records, name, reply);
    }
    // A refusal, as the server says it.
    server.setFault(testserver::Operation::CheckUserNameAndPass, testserver::Fault::senderFault());
    FuzzCalls::envelopeCall(1, QByteArray());
    keep(Target::Envelope, QStringLiteral("CheckUserNameAndPass-fault"), char(1) + FuzzCalls::relayed());
    keep(Target::Cache, QStringLiteral("cache.xml"), ServerCache::toXml(cacheContent()));
    FuzzCalls::relayTo(0);
    std::printf("%d seed files in %s\n", made, qPrintable(dir));
    return made > 0 ? 0 : 1;
}

int replay(Target target, const QString &path)
{
    QStringList files;
    if (QFileInfo(path).isDir()) {
        QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
    } else if (QFileInfo::exists(path)) {
        files.append(path);
    }
    files.sort();
    for (const QString &file : files) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = in.readAll();
        FuzzCalls::runOne(target, reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    }
    return int(files.size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args.at(0) == QLatin1String("--make-seeds"))
        return makeSeeds(args.at(1));
    if (args.size() >= 2 && args.at(0) == QLatin1String("--all")) {
        int replayed = 0;
        for (const QString &dir : args.mid(1)) {
            for (Target target : kTargets)
                replayed
                    += replay(target, dir + QLatin1Char('/') + QLatin1String(FuzzCalls::targetName(target)));
        }
        std::printf("%d inputs replayed\n", replayed);
        return 0;
    }
    for (Target target : kTargets) {
        if (args.size() >= 2 && args.at(0) == QLatin1String(FuzzCalls::targetName(target))) {
            int replayed = 0;
            for (const QString &path : args.mid(1))
                replayed += replay(target, path);
            std::printf("%d inputs replayed\n", replayed);
            return 0;
        }
    }
    std::fprintf(stderr,
        "usage: fuzz_replay --make-seeds <dir> | <envelope|records|cache> <path>... | --all <dir>...\n");
    return 2;
}
