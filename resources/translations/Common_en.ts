<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>JSRegExp</name>
    <message>
        <source>Invalid format &quot;%1&quot;: %2 at offset %3</source>
        <translation>Invalid format &quot;%1&quot;: %2 at offset %3</translation>
    </message>
</context>
<context>
    <name>LangSupport</name>
    <message>
        <source>language</source>
        <translation>English</translation>
    </message>
</context>
<context>
    <name>LogRecord</name>
    <message>
        <source>(unreadable log record)</source>
        <translation>(unreadable log record)</translation>
    </message>
</context>
<context>
    <name>Logging</name>
    <message>
        <source>error</source>
        <translation>error</translation>
    </message>
    <message>
        <source>warning</source>
        <translation>warning</translation>
    </message>
    <message>
        <source>info</source>
        <translation>info</translation>
    </message>
    <message>
        <source>debug</source>
        <translation>debug</translation>
    </message>
    <message>
        <source>assert</source>
        <translation>assert</translation>
    </message>
</context>
<context>
    <name>Tamsor::FileHandler</name>
    <message>
        <source>Cannot create folder %1</source>
        <translation>Cannot create folder %1</translation>
    </message>
    <message>
        <source>Cannot copy folder %1 into itself</source>
        <translation>Cannot copy folder %1 into itself</translation>
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
