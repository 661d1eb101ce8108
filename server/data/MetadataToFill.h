#pragma once

#include <QString>

// One metadata field that a submit point or checkpoint asks for. The key
// ties remembered values and cache entries to the field; it never goes to
// the server.
struct MetadataToFill
{
    QString label;
    QString description;
    QString dataType;
    QString dataFormat;
    bool valueIsRequired = false;
    bool rememberLastValue = false;
    QString value;
    QString key;
};
