<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>Client::CheckpointJobsModel</name>
    <message>
        <source>Job name</source>
        <translation>Jobname</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Submitted</source>
        <translation>Eingereicht</translation>
    </message>
    <message>
        <source>Waiting since</source>
        <translation>Wartet seit</translation>
    </message>
</context>
<context>
    <name>Client::CheckpointJobsView</name>
    <message>
        <source>Jobs</source>
        <translation>Jobs</translation>
    </message>
    <message>
        <source>Jobs for %1</source>
        <translation>Jobs für %1</translation>
    </message>
    <message>
        <source> -&gt; %3 report</source>
        <translation> -&gt; %3 Bericht</translation>
    </message>
</context>
<context>
    <name>Client::CheckpointsModel</name>
    <message>
        <source>Server name</source>
        <translation>Servername</translation>
    </message>
    <message>
        <source>Flow name</source>
        <translation>Flowname</translation>
    </message>
    <message>
        <source>Checkpoint</source>
        <translation>Prüfpunkt</translation>
    </message>
    <message>
        <source>Jobs waiting</source>
        <translation>Wartende Jobs</translation>
    </message>
</context>
<context>
    <name>Client::CheckpointsView</name>
    <message>
        <source>Checkpoints</source>
        <translation>Prüfpunkte</translation>
    </message>
</context>
<context>
    <name>Client::ConnectionPage</name>
    <message>
        <source>Connections</source>
        <translation>Verbindungen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Update all</source>
        <translation>Alle aktualisieren</translation>
    </message>
</context>
<context>
    <name>Client::ConnectionView</name>
    <message>
        <source>Enable connection</source>
        <translation>Verbindung aktivieren</translation>
    </message>
    <message>
        <source>Host name / IP address</source>
        <translation>Hostname / IP-Adresse</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Check every (minutes)</source>
        <translation>Prüfen alle (Minuten)</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>server</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Connection to %1</source>
        <translation>Verbindung zu %1</translation>
    </message>
</context>
<context>
    <name>Client::DragDropPanel</name>
    <message>
        <source>Drag file or folder here to submit</source>
        <translation>Datei oder Ordner zum Einreichen hierher ziehen</translation>
    </message>
</context>
<context>
    <name>Client::MessageModel</name>
    <message>
        <source>Time stamp</source>
        <translation>Zeitstempel</translation>
    </message>
    <message>
        <source>Server name</source>
        <translation>Servername</translation>
    </message>
    <message>
        <source>Module</source>
        <translation>Modul</translation>
    </message>
    <message>
        <source>Flow name</source>
        <translation>Flowname</translation>
    </message>
    <message>
        <source>Job name</source>
        <translation>Jobname</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Meldung</translation>
    </message>
    <message>
        <source>The moment in time when this message was issued</source>
        <translation>Der Zeitpunkt, zu dem diese Meldung ausgegeben wurde</translation>
    </message>
    <message>
        <source>The name of the server</source>
        <translation>Der Name des Servers</translation>
    </message>
    <message>
        <source>The name of the module that issued this message</source>
        <translation>Der Name des Moduls, das diese Meldung ausgegeben hat</translation>
    </message>
    <message>
        <source>The name of the flow driving the operation</source>
        <translation>Der Name des Flows, der den Vorgang steuert</translation>
    </message>
    <message>
        <source>The name of the job for the operation</source>
        <translation>Der Name des Jobs, den der Vorgang betrifft</translation>
    </message>
    <message>
        <source>The message text</source>
        <translation>Der Text der Meldung</translation>
    </message>
    <message>
        <source>Loading messages...</source>
        <translation>Meldungen werden geladen...</translation>
    </message>
</context>
<context>
    <name>Client::MessagePage</name>
    <message>
        <source>Logged messages</source>
        <translation>Protokollierte Meldungen</translation>
    </message>
</context>
<context>
    <name>Client::MessageSFPModel</name>
    <message>
        <source>Enter a number to show messages that have been logged in the last N hours
enter a text string with : or / delimiter(s) to show messages with a time stamp that
contains that string</source>
        <translation>Geben Sie eine Zahl ein, um die Meldungen der letzten N Stunden anzuzeigen,
oder einen Text mit : oder / als Trennzeichen, um die Meldungen anzuzeigen, deren Zeitstempel
diesen Text enthält</translation>
    </message>
    <message>
        <source>Enter one or more server names or their beginnings - separated by a space - to show messages
from those servers</source>
        <translation>Geben Sie einen oder mehrere Servernamen oder deren Anfang ein (durch Leerzeichen getrennt), um die Meldungen
dieser Server anzuzeigen</translation>
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
for a job with a name that contains one of these strings</source>
        <translation>Geben Sie einen oder mehrere Texte ein (durch Leerzeichen getrennt), um die Meldungen
der Jobs anzuzeigen, deren Name einen dieser Texte enthält</translation>
    </message>
    <message>
        <source>Enter one or more strings - separated by a space - to show messages
that contain one of these strings</source>
        <translation>Geben Sie einen oder mehrere Texte ein (durch Leerzeichen getrennt), um die Meldungen
anzuzeigen, die einen dieser Texte enthalten</translation>
    </message>
</context>
<context>
    <name>Client::MessageView</name>
    <message>
        <source>&amp;Export log messages...</source>
        <translation>Protokollmeldungen &amp;exportieren...</translation>
    </message>
    <message>
        <source>Export log messages</source>
        <translation>Protokollmeldungen exportieren</translation>
    </message>
    <message>
        <source>VORNEX logs</source>
        <translation>VORNEX-Protokolle</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 ist bereits vorhanden.
Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>The log messages could not be written to %1.
%2</source>
        <translation>Die Protokollmeldungen konnten nicht in %1 geschrieben werden.
%2</translation>
    </message>
    <message>
        <source>The oldest %1 messages were dropped: at most %2 are kept</source>
        <translation>Die ältesten %1 Meldungen wurden verworfen: höchstens %2 werden behalten</translation>
    </message>
    <message>
        <source>Export to %1 failed</source>
        <translation>Export nach %1 fehlgeschlagen</translation>
    </message>
    <message numerus="yes">
        <source>%n log message(s) exported to %1</source>
        <translation>
            <numerusform>%n Protokollmeldung nach %1 exportiert</numerusform>
            <numerusform>%n Protokollmeldungen nach %1 exportiert</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n log message(s) exported to %1; the oldest %2 had been dropped before: at most %3 are kept</source>
        <translation>
            <numerusform>%n Protokollmeldung nach %1 exportiert; die ältesten %2 waren zuvor verworfen worden: höchstens %3 werden behalten</numerusform>
            <numerusform>%n Protokollmeldungen nach %1 exportiert; die ältesten %2 waren zuvor verworfen worden: höchstens %3 werden behalten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Exporting %n log message(s)...</source>
        <translation>
            <numerusform>%n Protokollmeldung wird exportiert...</numerusform>
            <numerusform>%n Protokollmeldungen werden exportiert...</numerusform>
        </translation>
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
    <name>Client::ProgressModel</name>
    <message>
        <source>Job name</source>
        <translation>Jobname</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Server name</source>
        <translation>Servername</translation>
    </message>
    <message>
        <source>Flow name</source>
        <translation>Flowname</translation>
    </message>
    <message>
        <source>Submit point</source>
        <translation>Übergabepunkt</translation>
    </message>
    <message>
        <source>Submitted</source>
        <translation>Eingereicht</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Entered state</source>
        <translation>Zustand erreicht</translation>
    </message>
    <message>
        <source>On hold</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Checkpoint</source>
        <translation>Prüfpunkt</translation>
    </message>
</context>
<context>
    <name>Client::ProgressPage</name>
    <message>
        <source>Progress of submitted jobs</source>
        <translation>Fortschritt der eingereichten Jobs</translation>
    </message>
    <message>
        <source>No longer show completed jobs after (hours)</source>
        <translation>Abgeschlossene Jobs nicht mehr anzeigen nach (Stunden)</translation>
    </message>
</context>
<context>
    <name>Client::PushJobWidget</name>
    <message>
        <source>Select an option in the listbox</source>
        <translation>Wählen Sie eine Option in der Liste</translation>
    </message>
    <message>
        <source> and </source>
        <translation> und </translation>
    </message>
</context>
<context>
    <name>Client::ReplaceJobDialog</name>
    <message>
        <source>All of &lt;%2&gt; was sent, but the server&apos;s answer did not arrive: the job &lt;%1&gt; may have been replaced all the same. Look at the checkpoint before you replace it again.</source>
        <translation>&lt;%2&gt; wurde ganz gesendet, aber die Antwort des Servers kam nicht an: Der Job &lt;%1&gt; wurde vielleicht trotzdem ersetzt. Sehen Sie am Prüfpunkt nach, bevor Sie ihn erneut ersetzen.</translation>
    </message>
    <message>
        <source>VORNEXclient - Replace job</source>
        <translation>VORNEXclient - Job ersetzen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Drag file or folder here to replace original job</source>
        <translation>Datei oder Ordner hierher ziehen, um den ursprünglichen Job zu ersetzen</translation>
    </message>
    <message>
        <source>Replace by folder...</source>
        <translation>Durch Ordner ersetzen...</translation>
    </message>
    <message>
        <source>Replace by file...</source>
        <translation>Durch Datei ersetzen...</translation>
    </message>
    <message>
        <source>Job: %1</source>
        <translation>Job: %1</translation>
    </message>
    <message>
        <source>Transferring replacement (</source>
        <translation>Ersatz wird übertragen (</translation>
    </message>
    <message>
        <source>Replace by file</source>
        <translation>Durch Datei ersetzen</translation>
    </message>
    <message>
        <source>All files </source>
        <translation>Alle Dateien </translation>
    </message>
    <message>
        <source>Can&apos;t connect to server. Try later.</source>
        <translation>Keine Verbindung zum Server. Versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>The Job &lt;%1&gt; can&apos;t be locked</source>
        <translation>Der Job &lt;%1&gt; kann nicht gesperrt werden</translation>
    </message>
    <message>
        <source>The Job &lt;%1&gt; was not replaced with file &lt;%2&gt; on server. Try later.</source>
        <translation>Der Job &lt;%1&gt; wurde auf dem Server nicht durch die Datei &lt;%2&gt; ersetzt. Versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>User &apos;%1&apos; relocked this job</source>
        <translation>Benutzer &apos;%1&apos; hat diesen Job erneut gesperrt</translation>
    </message>
    <message>
        <source>Replacement is completed successful (</source>
        <translation>Ersetzen erfolgreich abgeschlossen (</translation>
    </message>
    <message>
        <source>Replacement is completed with error (</source>
        <translation>Ersetzen mit Fehler abgeschlossen (</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>The server could not tell whether the job is locked: %1</source>
        <translation>Der Server konnte nicht sagen, ob der Job gesperrt ist: %1</translation>
    </message>
</context>
<context>
    <name>Client::SelectionFrame</name>
    <message>
        <source>Job view</source>
        <translation>Jobansicht</translation>
    </message>
    <message>
        <source>View job...</source>
        <translation>Job anzeigen...</translation>
    </message>
    <message>
        <source>Save job as...</source>
        <translation>Job speichern unter...</translation>
    </message>
    <message>
        <source>View report...</source>
        <translation>Bericht anzeigen...</translation>
    </message>
    <message>
        <source>Save report as...</source>
        <translation>Bericht speichern unter...</translation>
    </message>
    <message>
        <source>Replace job...</source>
        <translation>Job ersetzen...</translation>
    </message>
    <message>
        <source>Checkpoint %1-&gt;%2-&gt;%3</source>
        <translation>Prüfpunkt %1-&gt;%2-&gt;%3</translation>
    </message>
    <message>
        <source>Job: %1</source>
        <translation>Job: %1</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>User &apos;%1&apos; is currently replacing this job. Try later.</source>
        <translation>Benutzer &apos;%1&apos; ersetzt gerade diesen Job. Versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>Can&apos;t connect to server. Try later.</source>
        <translation>Keine Verbindung zum Server. Versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>%1 could not be downloaded. Try later.</source>
        <translation>%1 konnte nicht heruntergeladen werden. Versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>Report for job &lt;%1&gt; was deleted or processed</source>
        <translation>Der Bericht zum Job &lt;%1&gt; wurde gelöscht oder verarbeitet</translation>
    </message>
    <message>
        <source>%1 was deleted or processed</source>
        <translation>%1 wurde gelöscht oder verarbeitet</translation>
    </message>
    <message>
        <source>Save file</source>
        <translation>Datei speichern</translation>
    </message>
    <message>
        <source>All files </source>
        <translation>Alle Dateien </translation>
    </message>
    <message>
        <source>%1 could not be saved. The download stays at %2.</source>
        <translation>%1 konnte nicht gespeichert werden. Der Download bleibt unter %2.</translation>
    </message>
    <message>
        <source>Acquiring a lock</source>
        <translation>Sperre anfordern</translation>
    </message>
    <message>
        <source>User &apos;%1&apos; is currently replacing this job; if you press the overrule button, the replacement job provided by user &apos;%1&apos; will be lost</source>
        <translation>Benutzer &apos;%1&apos; ersetzt gerade diesen Job; wenn Sie auf Überstimmen klicken, geht der von Benutzer &apos;%1&apos; bereitgestellte Ersatzjob verloren</translation>
    </message>
    <message>
        <source>Overrule</source>
        <translation>Überstimmen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The job can&apos;t be locked</source>
        <translation>Der Job kann nicht gesperrt werden</translation>
    </message>
    <message>
        <source>%1 could not be downloaded: %2</source>
        <translation>%1 konnte nicht heruntergeladen werden: %2</translation>
    </message>
    <message>
        <source>The server could not tell whether the job is locked: %1</source>
        <translation>Der Server konnte nicht sagen, ob der Job gesperrt ist: %1</translation>
    </message>
    <message>
        <source>The server did not answer the last push of &lt;%1&gt;: it may still send the job on. Push it again?</source>
        <translation>Der Server hat auf das letzte Weiterleiten von &lt;%1&gt; nicht geantwortet: Er leitet den Job vielleicht noch weiter. Erneut weiterleiten?</translation>
    </message>
    <message>
        <source>The job &lt;%1&gt; was not sent on.</source>
        <translation>Der Job &lt;%1&gt; wurde nicht weitergeleitet.</translation>
    </message>
    <message>
        <source>The job &lt;%1&gt; has left the checkpoint: it was not sent on.</source>
        <translation>Der Job &lt;%1&gt; hat den Prüfpunkt verlassen: Er wurde nicht weitergeleitet.</translation>
    </message>
</context>
<context>
    <name>Client::ShellSupport</name>
    <message>
        <source>The desktop has no program to open %1. Open it from a file manager, or install a program for this kind of file.</source>
        <translation>Auf diesem Desktop gibt es kein Programm, das %1 öffnet. Öffnen Sie die Datei über einen Dateimanager oder installieren Sie ein Programm für diese Art von Datei.</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
</context>
<context>
    <name>Client::SubmitPointsModel</name>
    <message>
        <source>Server name</source>
        <translation>Servername</translation>
    </message>
    <message>
        <source>Flow name</source>
        <translation>Flowname</translation>
    </message>
    <message>
        <source>Submit point</source>
        <translation>Übergabepunkt</translation>
    </message>
    <message>
        <source>Jobs listed</source>
        <translation>Aufgeführte Jobs</translation>
    </message>
    <message>
        <source>Transferred</source>
        <translation>Übertragen</translation>
    </message>
</context>
<context>
    <name>Client::SubmitPointsView</name>
    <message>
        <source>Submit points</source>
        <translation>Übergabepunkte</translation>
    </message>
</context>
<context>
    <name>Client::SubmittedFileView</name>
    <message>
        <source>File or folder path:</source>
        <translation>Datei- oder Ordnerpfad:</translation>
    </message>
    <message>
        <source>Job name</source>
        <translation>Jobname</translation>
    </message>
    <message>
        <source>Submit file...</source>
        <translation>Datei einreichen...</translation>
    </message>
    <message>
        <source>Submit folder...</source>
        <translation>Ordner einreichen...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Begin Transfer</source>
        <translation>Übertragung starten</translation>
    </message>
    <message>
        <source>Job view</source>
        <translation>Jobansicht</translation>
    </message>
    <message>
        <source>Submit to %1 -&gt; %2 -&gt; %3</source>
        <translation>Einreichen bei %1 -&gt; %2 -&gt; %3</translation>
    </message>
    <message>
        <source>Job: %1</source>
        <translation>Job: %1</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>All files </source>
        <translation>Alle Dateien </translation>
    </message>
    <message>
        <source>Choose a directory</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>&quot;%1&quot; no longer exists. Add the file or folder again to submit it.</source>
        <translation>„%1“ existiert nicht mehr. Fügen Sie die Datei oder den Ordner erneut hinzu, um sie einzureichen.</translation>
    </message>
</context>
<context>
    <name>Client::SubmittedFilesModel</name>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Waiting connection</source>
        <translation>Wartet auf Verbindung</translation>
    </message>
    <message>
        <source>Preparing data</source>
        <translation>Daten werden vorbereitet</translation>
    </message>
    <message>
        <source>Uploading</source>
        <translation>Wird hochgeladen</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Wird geprüft</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keiner</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Job name</source>
        <translation>Jobname</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Transferred</source>
        <translation>Übertragen</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
</context>
<context>
    <name>Client::SubmittedFilesView</name>
    <message>
        <source>Jobs</source>
        <translation>Jobs</translation>
    </message>
    <message>
        <source>Jobs for %1</source>
        <translation>Jobs für %1</translation>
    </message>
    <message>
        <source> -&gt; %3 report</source>
        <translation> -&gt; Bericht %3</translation>
    </message>
</context>
<context>
    <name>Client::UpdateControl</name>
    <message>
        <source>Automatic update every (minutes)</source>
        <translation>Automatisch aktualisieren alle (Minuten)</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
</context>
<context>
    <name>ConnectionTableModel</name>
    <message>
        <source>Enabled</source>
        <translation>Aktiviert</translation>
    </message>
    <message>
        <source>Server name</source>
        <translation>Servername</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Last checked</source>
        <translation>Zuletzt geprüft</translation>
    </message>
</context>
<context>
    <name>ConnectionThread</name>
    <message>
        <source>(Connecting)</source>
        <translation>(Verbindung wird hergestellt)</translation>
    </message>
    <message>
        <source>(Not connected)</source>
        <translation>(Nicht verbunden)</translation>
    </message>
    <message>
        <source>(Logging in)</source>
        <translation>(Anmeldung)</translation>
    </message>
    <message>
        <source>(Submit Poins view)</source>
        <translation>(Übergabepunkte)</translation>
    </message>
    <message>
        <source>(Checkpoints view)</source>
        <translation>(Prüfpunkte)</translation>
    </message>
    <message>
        <source>(Messages view)</source>
        <translation>(Meldungen)</translation>
    </message>
    <message>
        <source>(Progress view)</source>
        <translation>(Fortschritt)</translation>
    </message>
    <message>
        <source>has completed</source>
        <translation>abgeschlossen</translation>
    </message>
</context>
<context>
    <name>IAction</name>
    <message>
        <source>Not sent: the connection was pointed at another server or user since. Send it again to send it there.</source>
        <translation>Nicht gesendet: Die Verbindung zeigt seitdem auf einen anderen Server oder Benutzer. Senden Sie ihn erneut, um ihn dorthin zu senden.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>The help file %1 is missing.</source>
        <translation>Die Hilfedatei %1 fehlt.</translation>
    </message>
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
    <message>
        <source>Submit Points</source>
        <translation>Übergabepunkte</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>Verbindungen</translation>
    </message>
    <message>
        <source>Messages</source>
        <translation>Meldungen</translation>
    </message>
    <message>
        <source>Checkpoints</source>
        <translation>Prüfpunkte</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
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
    <name>PushJobAction</name>
    <message>
        <source>The server refused to send the job on (error %1).</source>
        <translation>Der Server hat die Weitergabe des Jobs abgelehnt (Fehler %1).</translation>
    </message>
    <message>
        <source>The server refused to send the job on.</source>
        <translation>Der Server hat die Weitergabe des Jobs abgelehnt.</translation>
    </message>
    <message>
        <source>The server refused to send the job on: %1</source>
        <translation>Der Server hat das Weiterleiten des Jobs abgelehnt: %1</translation>
    </message>
</context>
<context>
    <name>ServerConnection</name>
    <message>
        <source>Log-in refused: check the user name and password</source>
        <translation>Anmeldung abgelehnt: Benutzername und Passwort prüfen</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <comment>why a fetch failed: the kind of data</comment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>submit points</source>
        <translation>Übergabepunkte</translation>
    </message>
    <message>
        <source>checkpoints</source>
        <translation>Prüfpunkte</translation>
    </message>
    <message>
        <source>log messages</source>
        <translation>Meldungen</translation>
    </message>
    <message>
        <source>progress records</source>
        <translation>Fortschrittsdaten</translation>
    </message>
    <message>
        <source>Never connected</source>
        <translation>Nie verbunden</translation>
    </message>
    <message>
        <source>Can&apos;t reach host</source>
        <translation>Server nicht erreichbar</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>Deaktiviert</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Connected securely</source>
        <translation>Sicher verbunden</translation>
    </message>
    <message>
        <source>The server answers only without encryption</source>
        <translation>Der Server antwortet nur unverschlüsselt</translation>
    </message>
    <message>
        <source>The server&apos;s certificate is not trusted</source>
        <translation>Dem Zertifikat des Servers wird nicht vertraut</translation>
    </message>
    <message>
        <source>The host name is missing or not valid</source>
        <translation>Der Hostname fehlt oder ist ungültig</translation>
    </message>
    <message>
        <source>The server did not answer in time</source>
        <translation>Der Server hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>The server&apos;s answer was too large</source>
        <translation>Die Antwort des Servers war zu groß</translation>
    </message>
    <message>
        <source>The transfer was too slow</source>
        <translation>Die Übertragung war zu langsam</translation>
    </message>
    <message>
        <source>The server reported an error</source>
        <translation>Der Server hat einen Fehler gemeldet</translation>
    </message>
    <message>
        <source>The server&apos;s answer could not be read</source>
        <translation>Die Antwort des Servers war nicht lesbar</translation>
    </message>
</context>
<context>
    <name>ServerProxy</name>
    <message>
        <source>Updating connection </source>
        <translation>Aktualisiere Verbindung </translation>
    </message>
</context>
<context>
    <name>SplashScreen</name>
    <message>
        <source>update %1</source>
        <translation>Update %1</translation>
    </message>
</context>
<context>
    <name>StartWait</name>
    <message>
        <source>VORNEXclient is still running but does not answer; it may be closing. It starts again as soon as the running one has ended.</source>
        <translation>VORNEXclient läuft noch, antwortet aber nicht; vielleicht wird es gerade beendet. Es startet, sobald das laufende beendet ist.</translation>
    </message>
    <message>
        <source>VORNEXclient cannot start: the one already running neither answers nor ends. Close it, or end its process, and start VORNEXclient again.</source>
        <translation>VORNEXclient kann nicht starten: Das bereits laufende antwortet nicht und wird nicht beendet. Schließen Sie es oder beenden Sie seinen Prozess und starten Sie VORNEXclient dann erneut.</translation>
    </message>
</context>
<context>
    <name>SubmittedFile</name>
    <message>
        <source>The job was not sent: %1. The server did not take it; send it again once the files are as they should be.</source>
        <translation>Der Job wurde nicht gesendet: %1. Der Server hat ihn nicht angenommen; senden Sie ihn erneut, sobald die Dateien so sind, wie sie sein sollen.</translation>
    </message>
    <message>
        <source>The server refused the job.</source>
        <translation>Der Server hat den Job abgelehnt.</translation>
    </message>
    <message>
        <source>The server refused the job: %1</source>
        <translation>Der Server hat den Job abgelehnt: %1</translation>
    </message>
    <message>
        <source>The whole job was sent, but the server&apos;s answer did not arrive: the server may have taken it. Check there before you send it again.</source>
        <translation>Der ganze Job wurde gesendet, aber die Antwort des Servers kam nicht an: Der Server hat ihn vielleicht angenommen. Prüfen Sie das dort, bevor Sie ihn erneut senden.</translation>
    </message>
    <message>
        <source>The transfer broke off before the whole job was sent, so the server did not take it. Send it again when you are ready.</source>
        <translation>Die Übertragung brach ab, bevor der ganze Job gesendet war; der Server hat ihn also nicht angenommen. Senden Sie ihn erneut, wenn Sie bereit sind.</translation>
    </message>
    <message>
        <source>An earlier attempt to send this job did not end cleanly: the server may have taken it. Check there before you send it again.</source>
        <translation>Ein früherer Versuch, diesen Job zu senden, endete nicht sauber: Der Server hat ihn vielleicht angenommen. Prüfen Sie das dort, bevor Sie ihn erneut senden.</translation>
    </message>
    <message>
        <source>JOB</source>
        <translation>JOB</translation>
    </message>
    <message>
        <source>its reply could not be read</source>
        <translation>seine Antwort war nicht lesbar</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>keine Antwort</translation>
    </message>
    <message>
        <source>Nothing of the job was sent: its connection has no valid host name. It goes once the connection has one and answers.</source>
        <translation>Vom Job wurde nichts gesendet: Seine Verbindung hat keinen gültigen Hostnamen. Er wird gesendet, sobald die Verbindung einen hat und der Server antwortet.</translation>
    </message>
    <message>
        <source>The server did not take the job&apos;s first request (%1); nothing of the job was sent. It goes at the next refresh.</source>
        <translation>Der Server hat die erste Anfrage des Jobs nicht angenommen (%1); vom Job wurde nichts gesendet. Er wird bei der nächsten Aktualisierung gesendet.</translation>
    </message>
</context>
</TS>
