<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Client::DragDropPanel</name>
    <message>
        <source>Drag file or folder here to submit</source>
        <translation>Drag file or folder here to submit</translation>
    </message>
</context>
<context>
    <name>Client::MetadataExplorer</name>
    <message>
        <source>Metadata properties</source>
        <translation>Metadata properties</translation>
    </message>
</context>
<context>
    <name>Client::MetadataExplorerModel</name>
    <message>
        <source>Property</source>
        <translation>Property</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>&amp;About VORNEXclient</source>
        <translation>&amp;About VORNEXclient</translation>
    </message>
    <message>
        <source>Help &amp;Index</source>
        <translation>Help &amp;Index</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>VORNEXclient</source>
        <translation>VORNEXclient</translation>
    </message>
    <message>
        <source>vornex_help.htm</source>
        <translation>vornex_help.htm</translation>
    </message>
</context>
<context>
    <name>PreferencesDialog</name>
    <message>
        <source>Preferences</source>
        <translation>Preferences</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
</context>
<context>
    <name>SplashScreen</name>
    <message>
        <source>update %1</source>
        <translation>update %1</translation>
    </message>
</context>
</TS>
