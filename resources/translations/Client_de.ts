<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>Client::DragDropPanel</name>
    <message>
        <source>Drag file or folder here to submit</source>
        <translation>Datei oder Ordner zum Einreichen hierher ziehen</translation>
    </message>
</context>
<context>
    <name>Client::MetadataExplorer</name>
    <message>
        <source>Metadata properties</source>
        <translation>Metadaten-Eigenschaften</translation>
    </message>
</context>
<context>
    <name>Client::MetadataExplorerModel</name>
    <message>
        <source>Property</source>
        <translation>Eigenschaft</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wert</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>&amp;About VORNEXclient</source>
        <translation>&amp;Über VORNEXclient</translation>
    </message>
    <message>
        <source>Help &amp;Index</source>
        <translation>&amp;Hilfe-Index</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
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
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
</context>
<context>
    <name>SplashScreen</name>
    <message>
        <source>update %1</source>
        <translation>Update %1</translation>
    </message>
</context>
</TS>
