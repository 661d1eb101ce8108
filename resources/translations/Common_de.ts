<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>JSRegExp</name>
    <message>
        <source>Invalid format &quot;%1&quot;: %2 at offset %3</source>
        <translation>Ungültiges Format „%1“: %2 an Position %3</translation>
    </message>
</context>
<context>
    <name>LangSupport</name>
    <message>
        <source>language</source>
        <translation>Deutsch</translation>
    </message>
</context>
<context>
    <name>LogRecord</name>
    <message>
        <source>(unreadable log record)</source>
        <translation>(unlesbarer Protokolleintrag)</translation>
    </message>
</context>
<context>
    <name>Logging</name>
    <message>
        <source>error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>debug</source>
        <translation>Debug</translation>
    </message>
    <message>
        <source>assert</source>
        <translation>Assertion</translation>
    </message>
</context>
<context>
    <name>Tamsor::FileHandler</name>
    <message>
        <source>Cannot create folder %1</source>
        <translation>Der Ordner %1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Cannot copy folder %1 into itself</source>
        <translation>Der Ordner %1 kann nicht in sich selbst kopiert werden</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 TB</translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation>%1 PB</translation>
    </message>
    <message>
        <source>%1 EB</source>
        <translation>%1 EB</translation>
    </message>
    <message>
        <source>%1 B</source>
        <translation>%1 B</translation>
    </message>
</context>
</TS>
