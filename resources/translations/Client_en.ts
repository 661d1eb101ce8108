<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Client::CheckpointJobsModel</name>
    <message>
        <source>Job name</source>
        <translation>Job name</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Submitted</source>
        <translation>Submitted</translation>
    </message>
    <message>
        <source>Waiting since</source>
        <translation>Waiting since</translation>
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
        <translation>Jobs for %1</translation>
    </message>
    <message>
        <source> -&gt; %3 report</source>
        <translation> -&gt; %3 report</translation>
    </message>
</context>
<context>
    <name>Client::CheckpointsModel</name>
    <message>
        <source>Server name</source>
        <translation>Server name</translation>
    </message>
    <message>
        <source>Flow name</source>
        <translation>Flow name</translation>
    </message>
    <message>
        <source>Checkpoint</source>
        <translation>Checkpoint</translation>
    </message>
    <message>
        <source>Jobs waiting</source>
        <translation>Jobs waiting</translation>
    </message>
</context>
<context>
    <name>Client::CheckpointsView</name>
    <message>
        <source>Checkpoints</source>
        <translation>Checkpoints</translation>
    </message>
</context>
<context>
    <name>Client::ConnectionPage</name>
    <message>
        <source>Connections</source>
        <translation>Connections</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Update all</source>
        <translation>Update all</translation>
    </message>
</context>
<context>
    <name>Client::ConnectionView</name>
    <message>
        <source>Enable connection</source>
        <translation>Enable connection</translation>
    </message>
    <message>
        <source>Host name / IP address</source>
        <translation>Host name / IP address</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Check every (minutes)</source>
        <translation>Check every (minutes)</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>server</source>
        <translation>server</translation>
    </message>
    <message>
        <source>Connection to %1</source>
        <translation>Connection to %1</translation>
    </message>
</context>
<context>
    <name>Client::DragDropPanel</name>
    <message>
        <source>Drag file or folder here to submit</source>
        <translation>Drag file or folder here to submit</translation>
    </message>
</context>
<context>
    <name>Client::MessageModel</name>
    <message>
        <source>Time stamp</source>
        <translation>Time stamp</translation>
    </message>
    <message>
        <source>Server name</source>
        <translation>Server name</translation>
    </message>
    <message>
        <source>Module</source>
        <translation>Module</translation>
    </message>
    <message>
        <source>Flow name</source>
        <translation>Flow name</translation>
    </message>
    <message>
        <source>Job name</source>
        <translation>Job name</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>The moment in time when this message was issued</source>
        <translation>The moment in time when this message was issued</translation>
    </message>
    <message>
        <source>The name of the server</source>
        <translation>The name of the server</translation>
    </message>
    <message>
        <source>The name of the module that issued this message</source>
        <translation>The name of the module that issued this message</translation>
    </message>
    <message>
        <source>The name of the flow driving the operation</source>
        <translation>The name of the flow driving the operation</translation>
    </message>
    <message>
        <source>The name of the job for the operation</source>
        <translation>The name of the job for the operation</translation>
    </message>
    <message>
        <source>The message text</source>
        <translation>The message text</translation>
    </message>
    <message>
        <source>Loading messages...</source>
        <translation>Loading messages...</translation>
    </message>
</context>
<context>
    <name>Client::MessagePage</name>
    <message>
        <source>Logged messages</source>
        <translation>Logged messages</translation>
    </message>
</context>
<context>
    <name>Client::MessageSFPModel</name>
    <message>
        <source>Enter a number to show messages that have been logged in the last N hours
enter a text string with : or / delimiter(s) to show messages with a time stamp that
contains that string</source>
        <translation>Enter a number to show messages that have been logged in the last N hours
enter a text string with : or / delimiter(s) to show messages with a time stamp that
contains that string</translation>
    </message>
    <message>
        <source>Enter one or more server names or their beginnings - separated by a space - to show messages
from those servers</source>
        <translation>Enter one or more server names or their beginnings - separated by a space - to show messages
from those servers</translation>
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
for a job with a name that contains one of these strings</source>
        <translation>Enter one or more strings - separated by a space - to show messages
for a job with a name that contains one of these strings</translation>
    </message>
    <message>
        <source>Enter one or more strings - separated by a space - to show messages
that contain one of these strings</source>
        <translation>Enter one or more strings - separated by a space - to show messages
that contain one of these strings</translation>
    </message>
</context>
<context>
    <name>Client::MessageView</name>
    <message>
        <source>&amp;Export log messages...</source>
        <translation>&amp;Export log messages...</translation>
    </message>
    <message>
        <source>Export log messages</source>
        <translation>Export log messages</translation>
    </message>
    <message>
        <source>VORNEX logs</source>
        <translation>VORNEX logs</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 already exists.
Do you want to replace it?</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>The log messages could not be written to %1.
%2</source>
        <translation>The log messages could not be written to %1.
%2</translation>
    </message>
    <message>
        <source>The oldest %1 messages were dropped: at most %2 are kept</source>
        <translation>The oldest %1 messages were dropped: at most %2 are kept</translation>
    </message>
    <message>
        <source>Export to %1 failed</source>
        <translation>Export to %1 failed</translation>
    </message>
    <message numerus="yes">
        <source>%n log message(s) exported to %1</source>
        <translation>
            <numerusform>%n log message exported to %1</numerusform>
            <numerusform>%n log messages exported to %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n log message(s) exported to %1; the oldest %2 had been dropped before: at most %3 are kept</source>
        <translation>
            <numerusform>%n log message exported to %1; the oldest %2 had been dropped before: at most %3 are kept</numerusform>
            <numerusform>%n log messages exported to %1; the oldest %2 had been dropped before: at most %3 are kept</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Exporting %n log message(s)...</source>
        <translation>
            <numerusform>Exporting %n log message...</numerusform>
            <numerusform>Exporting %n log messages...</numerusform>
        </translation>
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
    <name>Client::ProgressModel</name>
    <message>
        <source>Job name</source>
        <translation>Job name</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>Server name</source>
        <translation>Server name</translation>
    </message>
    <message>
        <source>Flow name</source>
        <translation>Flow name</translation>
    </message>
    <message>
        <source>Submit point</source>
        <translation>Submit point</translation>
    </message>
    <message>
        <source>Submitted</source>
        <translation>Submitted</translation>
    </message>
    <message>
        <source>State</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Entered state</source>
        <translation>Entered state</translation>
    </message>
    <message>
        <source>On hold</source>
        <translation>On hold</translation>
    </message>
    <message>
        <source>Checkpoint</source>
        <translation>Checkpoint</translation>
    </message>
</context>
<context>
    <name>Client::ProgressPage</name>
    <message>
        <source>Progress of submitted jobs</source>
        <translation>Progress of submitted jobs</translation>
    </message>
    <message>
        <source>No longer show completed jobs after (hours)</source>
        <translation>No longer show completed jobs after (hours)</translation>
    </message>
</context>
<context>
    <name>Client::PushJobWidget</name>
    <message>
        <source>Select an option in the listbox</source>
        <translation>Select an option in the listbox</translation>
    </message>
    <message>
        <source> and </source>
        <translation> and </translation>
    </message>
</context>
<context>
    <name>Client::ReplaceJobDialog</name>
    <message>
        <source>All of &lt;%2&gt; was sent, but the server&apos;s answer did not arrive: the job &lt;%1&gt; may have been replaced all the same. Look at the checkpoint before you replace it again.</source>
        <translation>All of &lt;%2&gt; was sent, but the server&apos;s answer did not arrive: the job &lt;%1&gt; may have been replaced all the same. Look at the checkpoint before you replace it again.</translation>
    </message>
    <message>
        <source>VORNEXclient - Replace job</source>
        <translation>VORNEXclient - Replace job</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Drag file or folder here to replace original job</source>
        <translation>Drag file or folder here to replace original job</translation>
    </message>
    <message>
        <source>Replace by folder...</source>
        <translation>Replace by folder...</translation>
    </message>
    <message>
        <source>Replace by file...</source>
        <translation>Replace by file...</translation>
    </message>
    <message>
        <source>Job: %1</source>
        <translation>Job: %1</translation>
    </message>
    <message>
        <source>Transferring replacement (</source>
        <translation>Transferring replacement (</translation>
    </message>
    <message>
        <source>Replace by file</source>
        <translation>Replace by file</translation>
    </message>
    <message>
        <source>All files </source>
        <translation>All files </translation>
    </message>
    <message>
        <source>Can&apos;t connect to server. Try later.</source>
        <translation>Can&apos;t connect to server. Try later.</translation>
    </message>
    <message>
        <source>The Job &lt;%1&gt; can&apos;t be locked</source>
        <translation>The Job &lt;%1&gt; can&apos;t be locked</translation>
    </message>
    <message>
        <source>The Job &lt;%1&gt; was not replaced with file &lt;%2&gt; on server. Try later.</source>
        <translation>The Job &lt;%1&gt; was not replaced with file &lt;%2&gt; on server. Try later.</translation>
    </message>
    <message>
        <source>User &apos;%1&apos; relocked this job</source>
        <translation>User &apos;%1&apos; relocked this job</translation>
    </message>
    <message>
        <source>Replacement is completed successful (</source>
        <translation>Replacement is completed successful (</translation>
    </message>
    <message>
        <source>Replacement is completed with error (</source>
        <translation>Replacement is completed with error (</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>The server could not tell whether the job is locked: %1</source>
        <translation>The server could not tell whether the job is locked: %1</translation>
    </message>
</context>
<context>
    <name>Client::SelectionFrame</name>
    <message>
        <source>Job view</source>
        <translation>Job view</translation>
    </message>
    <message>
        <source>View job...</source>
        <translation>View job...</translation>
    </message>
    <message>
        <source>Save job as...</source>
        <translation>Save job as...</translation>
    </message>
    <message>
        <source>View report...</source>
        <translation>View report...</translation>
    </message>
    <message>
        <source>Save report as...</source>
        <translation>Save report as...</translation>
    </message>
    <message>
        <source>Replace job...</source>
        <translation>Replace job...</translation>
    </message>
    <message>
        <source>Checkpoint %1-&gt;%2-&gt;%3</source>
        <translation>Checkpoint %1-&gt;%2-&gt;%3</translation>
    </message>
    <message>
        <source>Job: %1</source>
        <translation>Job: %1</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>User &apos;%1&apos; is currently replacing this job. Try later.</source>
        <translation>User &apos;%1&apos; is currently replacing this job. Try later.</translation>
    </message>
    <message>
        <source>Can&apos;t connect to server. Try later.</source>
        <translation>Can&apos;t connect to server. Try later.</translation>
    </message>
    <message>
        <source>%1 could not be downloaded. Try later.</source>
        <translation>%1 could not be downloaded. Try later.</translation>
    </message>
    <message>
        <source>Report for job &lt;%1&gt; was deleted or processed</source>
        <translation>Report for job &lt;%1&gt; was deleted or processed</translation>
    </message>
    <message>
        <source>%1 was deleted or processed</source>
        <translation>%1 was deleted or processed</translation>
    </message>
    <message>
        <source>Save file</source>
        <translation>Save file</translation>
    </message>
    <message>
        <source>All files </source>
        <translation>All files </translation>
    </message>
    <message>
        <source>%1 could not be saved. The download stays at %2.</source>
        <translation>%1 could not be saved. The download stays at %2.</translation>
    </message>
    <message>
        <source>Acquiring a lock</source>
        <translation>Acquiring a lock</translation>
    </message>
    <message>
        <source>User &apos;%1&apos; is currently replacing this job; if you press the overrule button, the replacement job provided by user &apos;%1&apos; will be lost</source>
        <translation>User &apos;%1&apos; is currently replacing this job; if you press the overrule button, the replacement job provided by user &apos;%1&apos; will be lost</translation>
    </message>
    <message>
        <source>Overrule</source>
        <translation>Overrule</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>The job can&apos;t be locked</source>
        <translation>The job can&apos;t be locked</translation>
    </message>
    <message>
        <source>%1 could not be downloaded: %2</source>
        <translation>%1 could not be downloaded: %2</translation>
    </message>
    <message>
        <source>The server could not tell whether the job is locked: %1</source>
        <translation>The server could not tell whether the job is locked: %1</translation>
    </message>
    <message>
        <source>The server did not answer the last push of &lt;%1&gt;: it may still send the job on. Push it again?</source>
        <translation>The server did not answer the last push of &lt;%1&gt;: it may still send the job on. Push it again?</translation>
    </message>
    <message>
        <source>The job &lt;%1&gt; was not sent on.</source>
        <translation>The job &lt;%1&gt; was not sent on.</translation>
    </message>
    <message>
        <source>The job &lt;%1&gt; has left the checkpoint: it was not sent on.</source>
        <translation>The job &lt;%1&gt; has left the checkpoint: it was not sent on.</translation>
    </message>
</context>
<context>
    <name>Client::ShellSupport</name>
    <message>
        <source>The desktop has no program to open %1. Open it from a file manager, or install a program for this kind of file.</source>
        <translation>The desktop has no program to open %1. Open it from a file manager, or install a program for this kind of file.</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
</context>
<context>
    <name>Client::SubmitPointsModel</name>
    <message>
        <source>Server name</source>
        <translation>Server name</translation>
    </message>
    <message>
        <source>Flow name</source>
        <translation>Flow name</translation>
    </message>
    <message>
        <source>Submit point</source>
        <translation>Submit point</translation>
    </message>
    <message>
        <source>Jobs listed</source>
        <translation>Jobs listed</translation>
    </message>
    <message>
        <source>Transferred</source>
        <translation>Transferred</translation>
    </message>
</context>
<context>
    <name>Client::SubmitPointsView</name>
    <message>
        <source>Submit points</source>
        <translation>Submit points</translation>
    </message>
</context>
<context>
    <name>Client::SubmittedFileView</name>
    <message>
        <source>File or folder path:</source>
        <translation>File or folder path:</translation>
    </message>
    <message>
        <source>Job name</source>
        <translation>Job name</translation>
    </message>
    <message>
        <source>Submit file...</source>
        <translation>Submit file...</translation>
    </message>
    <message>
        <source>Submit folder...</source>
        <translation>Submit folder...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Begin Transfer</source>
        <translation>Begin Transfer</translation>
    </message>
    <message>
        <source>Job view</source>
        <translation>Job view</translation>
    </message>
    <message>
        <source>Submit to %1 -&gt; %2 -&gt; %3</source>
        <translation>Submit to %1 -&gt; %2 -&gt; %3</translation>
    </message>
    <message>
        <source>Job: %1</source>
        <translation>Job: %1</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>Add files</translation>
    </message>
    <message>
        <source>All files </source>
        <translation>All files </translation>
    </message>
    <message>
        <source>Choose a directory</source>
        <translation>Choose a directory</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>&quot;%1&quot; no longer exists. Add the file or folder again to submit it.</source>
        <translation>&quot;%1&quot; no longer exists. Add the file or folder again to submit it.</translation>
    </message>
</context>
<context>
    <name>Client::SubmittedFilesModel</name>
    <message>
        <source>Waiting</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>Waiting connection</source>
        <translation>Waiting connection</translation>
    </message>
    <message>
        <source>Preparing data</source>
        <translation>Preparing data</translation>
    </message>
    <message>
        <source>Uploading</source>
        <translation>Uploading</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Verifying</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>None</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Job name</source>
        <translation>Job name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Transferred</source>
        <translation>Transferred</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>End</source>
        <translation>End</translation>
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
        <translation>Jobs for %1</translation>
    </message>
    <message>
        <source> -&gt; %3 report</source>
        <translation> -&gt; %3 report</translation>
    </message>
</context>
<context>
    <name>Client::UpdateControl</name>
    <message>
        <source>Automatic update every (minutes)</source>
        <translation>Automatic update every (minutes)</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
</context>
<context>
    <name>ConnectionTableModel</name>
    <message>
        <source>Enabled</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>Server name</source>
        <translation>Server name</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Last checked</source>
        <translation>Last checked</translation>
    </message>
</context>
<context>
    <name>ConnectionThread</name>
    <message>
        <source>(Connecting)</source>
        <translation>(Connecting)</translation>
    </message>
    <message>
        <source>(Not connected)</source>
        <translation>(Not connected)</translation>
    </message>
    <message>
        <source>(Logging in)</source>
        <translation>(Logging in)</translation>
    </message>
    <message>
        <source>(Submit Poins view)</source>
        <translation>(Submit Poins view)</translation>
    </message>
    <message>
        <source>(Checkpoints view)</source>
        <translation>(Checkpoints view)</translation>
    </message>
    <message>
        <source>(Messages view)</source>
        <translation>(Messages view)</translation>
    </message>
    <message>
        <source>(Progress view)</source>
        <translation>(Progress view)</translation>
    </message>
    <message>
        <source>has completed</source>
        <translation>has completed</translation>
    </message>
</context>
<context>
    <name>IAction</name>
    <message>
        <source>Not sent: the connection was pointed at another server or user since. Send it again to send it there.</source>
        <translation>Not sent: the connection was pointed at another server or user since. Send it again to send it there.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>The help file %1 is missing.</source>
        <translation>The help file %1 is missing.</translation>
    </message>
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
    <message>
        <source>Submit Points</source>
        <translation>Submit Points</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>Connections</translation>
    </message>
    <message>
        <source>Messages</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>Checkpoints</source>
        <translation>Checkpoints</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progress</translation>
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
    <name>PushJobAction</name>
    <message>
        <source>The server refused to send the job on (error %1).</source>
        <translation>The server refused to send the job on (error %1).</translation>
    </message>
    <message>
        <source>The server refused to send the job on.</source>
        <translation>The server refused to send the job on.</translation>
    </message>
    <message>
        <source>The server refused to send the job on: %1</source>
        <translation>The server refused to send the job on: %1</translation>
    </message>
</context>
<context>
    <name>ServerConnection</name>
    <message>
        <source>Log-in refused: check the user name and password</source>
        <translation>Log-in refused: check the user name and password</translation>
    </message>
    <message>
        <source>Never connected</source>
        <translation>Never connected</translation>
    </message>
    <message>
        <source>Can&apos;t reach host</source>
        <translation>Can&apos;t reach host</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>Disabled</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Connected securely</source>
        <translation>Connected securely</translation>
    </message>
    <message>
        <source>The server answers only without encryption</source>
        <translation>The server answers only without encryption</translation>
    </message>
    <message>
        <source>The server&apos;s certificate is not trusted</source>
        <translation>The server&apos;s certificate is not trusted</translation>
    </message>
    <message>
        <source>The host name is missing or not valid</source>
        <translation>The host name is missing or not valid</translation>
    </message>
    <message>
        <source>The server did not answer in time</source>
        <translation>The server did not answer in time</translation>
    </message>
    <message>
        <source>The server&apos;s answer was too large</source>
        <translation>The server&apos;s answer was too large</translation>
    </message>
    <message>
        <source>The transfer was too slow</source>
        <translation>The transfer was too slow</translation>
    </message>
    <message>
        <source>The server reported an error</source>
        <translation>The server reported an error</translation>
    </message>
    <message>
        <source>The server&apos;s answer could not be read</source>
        <translation>The server&apos;s answer could not be read</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <comment>why a fetch failed: the kind of data</comment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>submit points</source>
        <translation>submit points</translation>
    </message>
    <message>
        <source>checkpoints</source>
        <translation>checkpoints</translation>
    </message>
    <message>
        <source>log messages</source>
        <translation>log messages</translation>
    </message>
    <message>
        <source>progress records</source>
        <translation>progress records</translation>
    </message>
</context>
<context>
    <name>ServerProxy</name>
    <message>
        <source>Updating connection </source>
        <translation>Updating connection </translation>
    </message>
</context>
<context>
    <name>SplashScreen</name>
    <message>
        <source>update %1</source>
        <translation>update %1</translation>
    </message>
</context>
<context>
    <name>StartWait</name>
    <message>
        <source>VORNEXclient is still running but does not answer; it may be closing. It starts again as soon as the running one has ended.</source>
        <translation>VORNEXclient is still running but does not answer; it may be closing. It starts again as soon as the running one has ended.</translation>
    </message>
    <message>
        <source>VORNEXclient cannot start: the one already running neither answers nor ends. Close it, or end its process, and start VORNEXclient again.</source>
        <translation>VORNEXclient cannot start: the one already running neither answers nor ends. Close it, or end its process, and start VORNEXclient again.</translation>
    </message>
</context>
<context>
    <name>SubmittedFile</name>
    <message>
        <source>The job was not sent: %1. The server did not take it; send it again once the files are as they should be.</source>
        <translation>The job was not sent: %1. The server did not take it; send it again once the files are as they should be.</translation>
    </message>
    <message>
        <source>The server refused the job.</source>
        <translation>The server refused the job.</translation>
    </message>
    <message>
        <source>The server refused the job: %1</source>
        <translation>The server refused the job: %1</translation>
    </message>
    <message>
        <source>The whole job was sent, but the server&apos;s answer did not arrive: the server may have taken it. Check there before you send it again.</source>
        <translation>The whole job was sent, but the server&apos;s answer did not arrive: the server may have taken it. Check there before you send it again.</translation>
    </message>
    <message>
        <source>The transfer broke off before the whole job was sent, so the server did not take it. Send it again when you are ready.</source>
        <translation>The transfer broke off before the whole job was sent, so the server did not take it. Send it again when you are ready.</translation>
    </message>
    <message>
        <source>An earlier attempt to send this job did not end cleanly: the server may have taken it. Check there before you send it again.</source>
        <translation>An earlier attempt to send this job did not end cleanly: the server may have taken it. Check there before you send it again.</translation>
    </message>
    <message>
        <source>JOB</source>
        <translation>JOB</translation>
    </message>
    <message>
        <source>its reply could not be read</source>
        <translation>its reply could not be read</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>Nothing of the job was sent: its connection has no valid host name. It goes once the connection has one and answers.</source>
        <translation>Nothing of the job was sent: its connection has no valid host name. It goes once the connection has one and answers.</translation>
    </message>
    <message>
        <source>The server did not take the job&apos;s first request (%1); nothing of the job was sent. It goes at the next refresh.</source>
        <translation>The server did not take the job&apos;s first request (%1); nothing of the job was sent. It goes at the next refresh.</translation>
    </message>
</context>
</TS>
