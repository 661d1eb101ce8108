<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Logging</name>
    <message>
        <source>Job %1 moved to %2</source>
        <translation>%2: Auftrag %1 abgelegt</translation>
    </message>
    <message>
        <source>Über %1</source>
        <translation>Betreff %1</translation>
    </message>
    <message>
        <source>error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Mail receive</source>
        <translation>Posteingang</translation>
    </message>
</context>
<context>
    <name>Other</name>
    <message>
        <source>error</source>
        <translation>Falsch</translation>
    </message>
</context>
</TS>
