#include "LogExport.h"

#include "LocalizeManager.h"
#include "MessageModel.h"
#include "MessageNames.h"
#include "XmlText.h"

#include <QHash>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace Client {

namespace LogExport {

namespace {

constexpr int kIndent = 4;

void writeAttribute(QXmlStreamWriter &xml, const QString &name, const QString &value)
{
    const QString text = Tamsor::xmlSafeText(value);
    if (!text.isEmpty())
        xml.writeAttribute(name, text);
}

// Types and modules repeat on every row; each is translated once.
class Translations
{
public:
    QString type(const QString &type)
    {
        return lookup(m_types, type, [](const QString &text, const QString &context) {
            return Tamsor::LocalizeManager::instance()->translateType(text, context);
        });
    }
    QString module(const QString &module)
    {
        return lookup(m_modules, module, [](const QString &text, const QString &context) {
            return Tamsor::LocalizeManager::instance()->translateModule(text, context);
        });
    }

private:
    template <typename Translate>
    QString lookup(QHash<QString, QString> &cache, const QString &text, Translate translate)
    {
        auto it = cache.constFind(text);
        if (it == cache.cend())
            it = cache.insert(text, translate(text, MessageNames::loggingContext()));
        return it.value();
    }

    QHash<QString, QString> m_types;
    QHash<QString, QString> m_modules;
};

bool writeMessages(QXmlStreamWriter &xml, const QList<LogMessage> &messages, const std::atomic<bool> *cancel)
{
    Translations translations;
    // Formatting would open the file with an empty line.
    xml.writeStartElement(MessageNames::exportRootElement());
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(kIndent);
    for (const LogMessage &message : messages) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
        xml.writeStartElement(MessageNames::exportMessageElement());
        writeAttribute(xml, QStringLiteral("time"), MessageModel::timeText(message.timeStamp));
        writeAttribute(xml, QStringLiteral("type"), message.type);
        writeAttribute(xml, QStringLiteral("module"), message.module);
        writeAttribute(xml, QStringLiteral("server"), message.server);
        writeAttribute(xml, QStringLiteral("flow"), message.flow);
        writeAttribute(xml, QStringLiteral("file"), message.job);
        const QString type = translations.type(message.type);
        if (type != message.type)
            writeAttribute(xml, QStringLiteral("localized-type"), type);
        const QString module = translations.module(message.module);
        if (module != message.module)
            writeAttribute(xml, QStringLiteral("localized-module"), module);
        xml.writeCharacters(Tamsor::xmlSafeText(message.message));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeCharacters(QStringLiteral("\n"));
    return true;
}

} // namespace

QString fileNameFor(const QString &chosen)
{
    if (chosen.endsWith(MessageNames::exportSuffix(), Qt::CaseSensitive))
        return chosen;
    return chosen + MessageNames::exportSuffix();
}

bool write(const QList<LogMessage> &messages, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return write(messages, file, error);
}

bool write(
    const QList<LogMessage> &messages, QSaveFile &file, QString *error, const std::atomic<bool> *cancel)
{
    QXmlStreamWriter xml(&file);
    if (!writeMessages(xml, messages, cancel)) {
        file.cancelWriting();
        return false;
    }
    if (xml.hasError() || file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace LogExport

} // namespace Client
