#pragma once

#include <QString>

// Texts shared with servers and with a local server's "settingsNew.xml".
//
// Metadata data types: a field's data type equal to EDITORTYPE_BOOL is a
// yes/no choice, one containing EDITORTYPE_ENUM lists its choices after
// "enum:" one per line, EDITORTYPE_STRING is free text checked against the
// field's data format. A yes/no field shows YES or NO and stores VAL_TRUE
// or VAL_FALSE.
//
// A local server's preferences file:
//   <UserPreferences>
//     <Group>
//       <UserPreference QSettingsKey="OmbrelPort">51008</UserPreference>
//     </Group>
//   </UserPreferences>
namespace Tamsor {

namespace XMLValues {
inline const QString EDITORTYPE_BOOL = QStringLiteral("bool");
inline const QString EDITORTYPE_ENUM = QStringLiteral("enum");
inline const QString EDITORTYPE_STRING = QStringLiteral("string");
inline const QString YES = QStringLiteral("Yes");
inline const QString NO = QStringLiteral("No");
inline const QString VAL_TRUE = QStringLiteral("true");
inline const QString VAL_FALSE = QStringLiteral("false");

// The preference that holds the port of the local server's web service.
inline const QString UP_IC_OMBRELPORT = QStringLiteral("OmbrelPort");
} // namespace XMLValues

namespace XMLKey {
inline const QString UP_USERPREFERENCES = QStringLiteral("UserPreferences");
inline const QString UP_GROUP = QStringLiteral("Group");
inline const QString UP_USERPREFERENCE = QStringLiteral("UserPreference");
inline const QString UP_QSETTINGSKEY = QStringLiteral("QSettingsKey");
} // namespace XMLKey

} // namespace Tamsor
