<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Velloc::AbsBasicMessagePane</name>
    <message>
        <source>No data loaded</source>
        <translation>No data loaded</translation>
    </message>
    <message>
        <source>Filtering...</source>
        <translation>Filtering...</translation>
    </message>
    <message>
        <source>Sorting...</source>
        <translation>Sorting...</translation>
    </message>
    <message>
        <source>Ready (%1 item)</source>
        <translation>Ready (%1 item)</translation>
    </message>
    <message>
        <source>Ready (%1 items)</source>
        <translation>Ready (%1 items)</translation>
    </message>
</context>
<context>
    <name>Velloc::LogHeaderView</name>
    <message>
        <source>Enter a number to show messages that have been logged in the last N hours
enter a text string with : or / delimiter(s) to show messages with a time stamp that
contains that string</source>
        <translation>Enter a number to show messages that have been logged in the last N hours
enter a text string with : or / delimiter(s) to show messages with a time stamp that
contains that string</translation>
    </message>
    <message>
        <source>Enter one or more messages types - separated by a space - to show messages of those types</source>
        <translation>Enter one or more messages types - separated by a space - to show messages of those types</translation>
    </message>
    <message>
        <source>Enter one or more (possibly partial) module names - separated by a space - to show messages for those modules</source>
        <translation>Enter one or more (possibly partial) module names - separated by a space - to show messages for those modules</translation>
    </message>
    <message>
        <source>Enter one or more text strings - separated by a space - to show messages
for a flow with a name that contains one of these strings</source>
        <translation>Enter one or more text strings - separated by a space - to show messages
for a flow with a name that contains one of these strings</translation>
    </message>
    <message>
        <source>Enter one or more strings - separated by a space - to show messages
for a flow element with a name that contains one of these strings</source>
        <translation>Enter one or more strings - separated by a space - to show messages
for a flow element with a name that contains one of these strings</translation>
    </message>
    <message>
        <source>Enter one or more strings - separated by a space - to show messages
for a job with a name that contains one of these strings</source>
        <translation>Enter one or more strings - separated by a space - to show messages
for a job with a name that contains one of these strings</translation>
    </message>
    <message>
        <source>Enter one or more strings - separated by a space - to show messages
that contain one of these strings </source>
        <translation>Enter one or more strings - separated by a space - to show messages
that contain one of these strings </translation>
    </message>
</context>
<context>
    <name>Velloc::LogTableView</name>
    <message>
        <source>Copy text</source>
        <translation>Copy text</translation>
    </message>
    <message>
        <source>Copy this field</source>
        <translation>Copy this field</translation>
    </message>
    <message>
        <source>Reset all filters</source>
        <translation>Reset all filters</translation>
    </message>
    <message>
        <source>Clear filter history</source>
        <translation>Clear filter history</translation>
    </message>
    <message>
        <source>Reset column ordering</source>
        <translation>Reset column ordering</translation>
    </message>
    <message>
        <source>Wrap text</source>
        <translation>Wrap text</translation>
    </message>
</context>
<context>
    <name>Velloc::SplashAboutDialog</name>
    <message>
        <source> 2007-2026 Marvolt Software, 12 Sample Road, Exampleton
www.example.com, info@example.com, phone +1 555 0100</source>
        <translation> 2007-2026 Marvolt Software, 12 Sample Road, Exampleton
www.example.com, info@example.com, phone +1 555 0100</translation>
    </message>
</context>
</TS>
