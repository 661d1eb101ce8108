<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>Velloc::AbsBasicMessagePane</name>
    <message>
        <source>No data loaded</source>
        <translation>Keine Daten geladen</translation>
    </message>
    <message>
        <source>Filtering...</source>
        <translation>Filtern...</translation>
    </message>
    <message>
        <source>Sorting...</source>
        <translation>Sortieren...</translation>
    </message>
    <message>
        <source>Ready (%1 item)</source>
        <translation>Bereit (%1 Eintrag)</translation>
    </message>
    <message>
        <source>Ready (%1 items)</source>
        <translation>Bereit (%1 Einträge)</translation>
    </message>
</context>
<context>
    <name>Velloc::LogHeaderView</name>
    <message>
        <source>Enter a number to show messages that have been logged in the last N hours
enter a text string with : or / delimiter(s) to show messages with a time stamp that
contains that string</source>
        <translation>Geben Sie eine Zahl ein, um die Meldungen der letzten N Stunden anzuzeigen,
oder einen Text mit : oder / als Trennzeichen, um die Meldungen anzuzeigen, deren Zeitstempel
diesen Text enthält</translation>
    </message>
    <message>
        <source>Enter one or more messages types - separated by a space - to show messages of those types</source>
        <translation>Geben Sie einen oder mehrere Meldungstypen ein (durch Leerzeichen getrennt), um die Meldungen dieser Typen anzuzeigen</translation>
    </message>
    <message>
        <source>Enter one or more (possibly partial) module names - separated by a space - to show messages for those modules</source>
        <translation>Geben Sie einen oder mehrere (auch unvollständige) Modulnamen ein (durch Leerzeichen getrennt), um die Meldungen dieser Module anzuzeigen</translation>
    </message>
    <message>
        <source>Enter one or more text strings - separated by a space - to show messages
for a flow with a name that contains one of these strings</source>
        <translation>Geben Sie einen oder mehrere Texte ein (durch Leerzeichen getrennt), um die Meldungen
der Flows anzuzeigen, deren Name einen dieser Texte enthält</translation>
    </message>
    <message>
        <source>Enter one or more strings - separated by a space - to show messages
for a flow element with a name that contains one of these strings</source>
        <translation>Geben Sie einen oder mehrere Texte ein (durch Leerzeichen getrennt), um die Meldungen
der Flow-Elemente anzuzeigen, deren Name einen dieser Texte enthält</translation>
    </message>
    <message>
        <source>Enter one or more strings - separated by a space - to show messages
for a job with a name that contains one of these strings</source>
        <translation>Geben Sie einen oder mehrere Texte ein (durch Leerzeichen getrennt), um die Meldungen
der Jobs anzuzeigen, deren Name einen dieser Texte enthält</translation>
    </message>
    <message>
        <source>Enter one or more strings - separated by a space - to show messages
that contain one of these strings </source>
        <translation>Geben Sie einen oder mehrere Texte ein (durch Leerzeichen getrennt), um die Meldungen
anzuzeigen, die einen dieser Texte enthalten </translation>
    </message>
</context>
<context>
    <name>Velloc::LogTableView</name>
    <message>
        <source>Copy text</source>
        <translation>Text kopieren</translation>
    </message>
    <message>
        <source>Copy this field</source>
        <translation>Dieses Feld kopieren</translation>
    </message>
    <message>
        <source>Reset all filters</source>
        <translation>Alle Filter zurücksetzen</translation>
    </message>
    <message>
        <source>Clear filter history</source>
        <translation>Filterverlauf löschen</translation>
    </message>
    <message>
        <source>Reset column ordering</source>
        <translation>Spaltenreihenfolge zurücksetzen</translation>
    </message>
    <message>
        <source>Wrap text</source>
        <translation>Text umbrechen</translation>
    </message>
</context>
<context>
    <name>Velloc::SplashAboutDialog</name>
    <message>
        <source> 2007-2026 Marvolt Software, 12 Sample Road, Exampleton
www.example.com, info@example.com, phone +1 555 0100</source>
        <translation> 2007-2026 Marvolt Software, 12 Sample Road, Exampleton
www.example.com, info@example.com, Telefon +1 555 0100</translation>
    </message>
</context>
</TS>
