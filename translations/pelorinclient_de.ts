<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About Pelorin</source>
        <translation>Über Pelorin</translation>
    </message>
    <message>
        <source>&lt;p&gt;Pelorin Client Beta&lt;/p&gt;&lt;p&gt;client version 0.87&lt;/p&gt;&lt;p&gt;server version 0.87&lt;/p&gt;&lt;p&gt;&lt;i&gt;Snapshot from 2009-05-26.&lt;/i&gt;&lt;/p&gt;&lt;p&gt;&lt;i&gt;Revision 245.&lt;/i&gt;&lt;/p&gt;</source>
        <translation>&lt;p&gt;Pelorin Client Beta&lt;/p&gt;&lt;p&gt;Client-Version 0.87&lt;/p&gt;&lt;p&gt;Server-Version 0.87&lt;/p&gt;&lt;p&gt;&lt;i&gt;Stand vom 26.05.2009.&lt;/i&gt;&lt;/p&gt;&lt;p&gt;&lt;i&gt;Revision 245.&lt;/i&gt;&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>AddUrlDialog</name>
    <message>
        <source>Add Url</source>
        <translation>Adresse hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Address of the file:</source>
        <translation>&amp;Adresse der Datei:</translation>
    </message>
</context>
<context>
    <name>CommandFeedback</name>
    <message>
        <source>%1 started.</source>
        <extracomment>%1 is a command with its item, e.g. &quot;Download file &lt;b&gt;a.txt&lt;/b&gt;&quot;</extracomment>
        <translation>%1 gestartet.</translation>
    </message>
    <message>
        <source>%1 in process.</source>
        <extracomment>%1 is a command with its item, e.g. &quot;Download file &lt;b&gt;a.txt&lt;/b&gt;&quot;</extracomment>
        <translation>%1 läuft.</translation>
    </message>
    <message>
        <source>%1 finished.</source>
        <extracomment>%1 is a command with its item, e.g. &quot;Download file &lt;b&gt;a.txt&lt;/b&gt;&quot;</extracomment>
        <translation>%1 beendet.</translation>
    </message>
    <message>
        <source>Time estimated: %1h %2m %3s</source>
        <extracomment>Remaining time of a transfer: hours, minutes, seconds, each two digits</extracomment>
        <translation>Restzeit: %1 h %2 min %3 s</translation>
    </message>
    <message>
        <source>Time estimated: %1m %2s</source>
        <extracomment>Remaining time of a transfer: minutes, seconds, each two digits</extracomment>
        <translation>Restzeit: %1 min %2 s</translation>
    </message>
    <message>
        <source>Time estimated: %1s</source>
        <extracomment>Remaining time of a transfer in seconds, two digits</extracomment>
        <translation>Restzeit: %1 s</translation>
    </message>
    <message>
        <source> %1Kb/s</source>
        <extracomment>Transfer speed in kilobytes per second; follows the remaining time after a space</extracomment>
        <translation> %1 KB/s</translation>
    </message>
    <message>
        <source>Incorrect Login</source>
        <translation>Falscher Benutzername</translation>
    </message>
    <message>
        <source>Please, check your login in Options and retry.</source>
        <translation>Bitte prüfen Sie Ihren Benutzernamen in den Einstellungen und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Incorrect Password</source>
        <translation>Falsches Passwort</translation>
    </message>
    <message>
        <source>Please, check your password in Options and retry.</source>
        <translation>Bitte prüfen Sie Ihr Passwort in den Einstellungen und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Old Client Used</source>
        <translation>Veralteter Client</translation>
    </message>
    <message>
        <source>Please, download new version of this client.</source>
        <translation>Bitte laden Sie eine neue Version dieses Clients herunter.</translation>
    </message>
    <message>
        <source>Data synchronization error.</source>
        <translation>Fehler beim Abgleich der Daten.</translation>
    </message>
    <message>
        <source>Data synchronization error</source>
        <translation>Fehler beim Abgleich der Daten</translation>
    </message>
    <message>
        <source>Click Refresh button and retry your actions. If it will not help, please write to %1.</source>
        <translation>Klicken Sie auf „Aktualisieren“ und wiederholen Sie Ihre Aktionen. Hilft das nicht, schreiben Sie bitte an %1.</translation>
    </message>
    <message>
        <source>%1 finished.: &lt;b&gt;&lt;font color=&quot;Red&quot;&gt;%2&lt;/font&gt;&lt;/b&gt;</source>
        <extracomment>%1 is a command with its item, %2 why it failed, e.g. &quot;Incorrect Password&quot;</extracomment>
        <translation>%1 beendet: &lt;b&gt;&lt;font color=&quot;Red&quot;&gt;%2&lt;/font&gt;&lt;/b&gt;</translation>
    </message>
    <message>
        <source>the server did not accept the login</source>
        <translation>der Server hat den Benutzernamen nicht angenommen</translation>
    </message>
    <message>
        <source>the server did not accept the password</source>
        <translation>der Server hat das Passwort nicht angenommen</translation>
    </message>
    <message>
        <source>the server does not know this request: a newer client is needed</source>
        <translation>der Server kennt diese Anfrage nicht: ein neuerer Client wird benötigt</translation>
    </message>
    <message>
        <source>could not connect to the server</source>
        <translation>keine Verbindung zum Server möglich</translation>
    </message>
    <message>
        <source>the connection to the server failed</source>
        <translation>die Verbindung zum Server ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>the server&apos;s answer could not be understood</source>
        <translation>die Antwort des Servers war unverständlich</translation>
    </message>
    <message>
        <source>nothing was sent: the request could not be made</source>
        <translation>nichts gesendet: die Anfrage konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>the command ended without a result</source>
        <translation>der Befehl endete ohne Ergebnis</translation>
    </message>
    <message>
        <source>%1 failed: %2</source>
        <extracomment>%1 is a command with its item, %2 the cause, e.g. &quot;could not connect to the server&quot;</extracomment>
        <translation>%1 fehlgeschlagen: %2</translation>
    </message>
</context>
<context>
    <name>DeleteDirCommand</name>
    <message>
        <source>Delete directory</source>
        <translation>Ordner löschen</translation>
    </message>
</context>
<context>
    <name>DeleteFileCommand</name>
    <message>
        <source>Delete file</source>
        <translation>Datei löschen</translation>
    </message>
</context>
<context>
    <name>DescriptionDialog</name>
    <message>
        <source>File description</source>
        <translation>Dateibeschreibung</translation>
    </message>
    <message>
        <source>File description:</source>
        <translation>Dateibeschreibung:</translation>
    </message>
</context>
<context>
    <name>DownloadFileCommand</name>
    <message>
        <source>Download file</source>
        <translation>Datei herunterladen</translation>
    </message>
</context>
<context>
    <name>DownloadUrlCommand</name>
    <message>
        <source>Download file</source>
        <translation>Datei herunterladen</translation>
    </message>
    <message>
        <source>%1 is not a usable address</source>
        <translation>%1 ist keine verwendbare Adresse</translation>
    </message>
    <message>
        <source>only http and ftp addresses can be downloaded</source>
        <translation>nur http- und ftp-Adressen können heruntergeladen werden</translation>
    </message>
    <message>
        <source>%1 is not a safe file name to write</source>
        <translation>%1 ist kein sicherer Dateiname zum Schreiben</translation>
    </message>
    <message>
        <source>the address names no file to fetch</source>
        <translation>die Adresse nennt keine Datei zum Abrufen</translation>
    </message>
    <message>
        <source>the address&apos;s user name or password holds a line break</source>
        <translation>Benutzername oder Passwort der Adresse enthält einen Zeilenumbruch</translation>
    </message>
</context>
<context>
    <name>FailureBox</name>
    <message>
        <source>Show log</source>
        <translation>Protokoll anzeigen</translation>
    </message>
    <message numerus="yes">
        <source>and %n more failed — &lt;a href=&quot;%1&quot;&gt;Show log&lt;/a&gt;</source>
        <extracomment>%1 is the link&apos;s target; keep the &lt;a&gt; markup around the link&apos;s text</extracomment>
        <translation>
            <numerusform>und %n weiterer fehlgeschlagen — &lt;a href=&quot;%1&quot;&gt;Protokoll anzeigen&lt;/a&gt;</numerusform>
            <numerusform>und %n weitere fehlgeschlagen — &lt;a href=&quot;%1&quot;&gt;Protokoll anzeigen&lt;/a&gt;</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FailureReason</name>
    <message>
        <source>the connection to %1 was refused: is the server running?</source>
        <translation>die Verbindung zu %1 wurde abgelehnt: läuft der Server?</translation>
    </message>
    <message>
        <source>the host %1 was not found</source>
        <translation>der Rechner %1 wurde nicht gefunden</translation>
    </message>
    <message>
        <source>the connection to %1 timed out</source>
        <translation>Zeitüberschreitung bei der Verbindung zu %1</translation>
    </message>
    <message>
        <source>the network to %1 is unreachable</source>
        <translation>das Netzwerk zu %1 ist nicht erreichbar</translation>
    </message>
    <message>
        <source>could not connect to %1</source>
        <translation>keine Verbindung zu %1 möglich</translation>
    </message>
    <message>
        <source>the request could not be sent to %1</source>
        <translation>die Anfrage konnte nicht an %1 gesendet werden</translation>
    </message>
    <message>
        <source>the server at %1 closed the connection without answering</source>
        <translation>der Server %1 hat die Verbindung ohne Antwort geschlossen</translation>
    </message>
    <message>
        <source>the server at %1 did not answer in time</source>
        <translation>der Server %1 hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>the server did not accept the login (code 1)</source>
        <translation>der Server hat den Benutzernamen nicht angenommen (Code 1)</translation>
    </message>
    <message>
        <source>the server did not accept the password (code 2)</source>
        <translation>der Server hat das Passwort nicht angenommen (Code 2)</translation>
    </message>
    <message>
        <source>the server does not know this request: a newer client is needed (code 3)</source>
        <translation>der Server kennt diese Anfrage nicht: ein neuerer Client wird benötigt (Code 3)</translation>
    </message>
    <message>
        <source>the server refused the request (code %1)</source>
        <translation>der Server hat die Anfrage abgelehnt (Code %1)</translation>
    </message>
    <message>
        <source>the server&apos;s answer could not be understood</source>
        <translation>die Antwort des Servers war unverständlich</translation>
    </message>
    <message>
        <source>the connection dropped after %1 bytes</source>
        <translation>die Verbindung brach nach %1 Bytes ab</translation>
    </message>
    <message>
        <source>cannot read %1</source>
        <translation>%1 kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>FtpReceiver</name>
    <message>
        <source>cannot create an FTP client</source>
        <translation>kein FTP-Client verfügbar</translation>
    </message>
</context>
<context>
    <name>HttpReceiver</name>
    <message>
        <source>cannot create an HTTP client</source>
        <translation>kein HTTP-Client verfügbar</translation>
    </message>
    <message>
        <source>out of memory</source>
        <translation>zu wenig Arbeitsspeicher</translation>
    </message>
    <message>
        <source>the body ended at byte %1 of %2</source>
        <translation>die Daten endeten bei Byte %1 von %2</translation>
    </message>
    <message>
        <source>the server answered with status %1</source>
        <translation>der Server antwortete mit Status %1</translation>
    </message>
    <message>
        <source>the server sent the range &quot;%1&quot; for offset %2</source>
        <translation>der Server sandte den Bereich „%1“ für den Versatz %2</translation>
    </message>
    <message>
        <source>the server sent the range &quot;%1&quot;</source>
        <translation>der Server sandte den Bereich „%1“</translation>
    </message>
    <message>
        <source>the server sent more than the %1 bytes it announced</source>
        <translation>der Server sandte mehr als die angekündigten %1 Bytes</translation>
    </message>
</context>
<context>
    <name>ItemCommand</name>
    <message>
        <source>nothing was sent: the item or its folder is not on the server yet, or its name holds characters the server cannot take</source>
        <translation>nichts gesendet: das Element oder sein Ordner ist noch nicht auf dem Server, oder sein Name enthält Zeichen, die der Server nicht annimmt</translation>
    </message>
</context>
<context>
    <name>LocalFilesTreeModel</name>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>%1 File</source>
        <translation>%1-Datei</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Sync</source>
        <translation>Abgleich</translation>
    </message>
    <message>
        <source>Date Modified</source>
        <translation>Geändert am</translation>
    </message>
    <message>
        <source>its name cannot be used as a local file name</source>
        <translation>sein Name kann nicht als lokaler Dateiname verwendet werden</translation>
    </message>
    <message>
        <source>its name cannot be used as a local folder name; nothing in it was downloaded</source>
        <translation>sein Name kann nicht als lokaler Ordnername verwendet werden; nichts darin wurde heruntergeladen</translation>
    </message>
    <message>
        <source>the local folder could not be created</source>
        <translation>der lokale Ordner konnte nicht angelegt werden</translation>
    </message>
    <message>
        <source>a local folder of that name is in the way</source>
        <translation>ein lokaler Ordner dieses Namens ist im Weg</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>File &apos;%1&apos; already exists. Do you want to resume downloading?</source>
        <translation>Die Datei „%1“ existiert bereits. Möchten Sie das Herunterladen fortsetzen?</translation>
    </message>
    <message>
        <source>Overwrite</source>
        <translation>Überschreiben</translation>
    </message>
    <message>
        <source>Resume download</source>
        <translation>Herunterladen fortsetzen</translation>
    </message>
    <message>
        <source>the local file could not be written: %1</source>
        <translation>die lokale Datei konnte nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>the local file could not be created: %1</source>
        <translation>die lokale Datei konnte nicht angelegt werden: %1</translation>
    </message>
    <message numerus="yes">
        <source>... and %n more.</source>
        <translation>
            <numerusform>... und %n weiteres.</numerusform>
            <numerusform>... und %n weitere.</numerusform>
        </translation>
    </message>
    <message>
        <source>Download refused</source>
        <translation>Herunterladen abgelehnt</translation>
    </message>
    <message>
        <source>These items were not downloaded:</source>
        <translation>Diese Elemente wurden nicht heruntergeladen:</translation>
    </message>
    <message>
        <source>Folder, being downloaded</source>
        <translation>Ordner, wird heruntergeladen</translation>
    </message>
    <message>
        <source>File of %1, being downloaded</source>
        <translation>Datei mit %1, wird heruntergeladen</translation>
    </message>
    <message>
        <source>File of %1</source>
        <translation>Datei mit %1</translation>
    </message>
</context>
<context>
    <name>LocalTreeWidget</name>
    <message>
        <source>Download from URL</source>
        <translation>Von Adresse herunterladen</translation>
    </message>
    <message>
        <source>Set as default</source>
        <translation>Als Standard festlegen</translation>
    </message>
    <message>
        <source>The address &quot;%1&quot; does not end in a file name that can be saved in a folder; nothing was downloaded.</source>
        <translation>Die Adresse „%1“ endet nicht auf einen Dateinamen, der in einem Ordner gespeichert werden kann; nichts wurde heruntergeladen.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Program started</source>
        <translation>Programm gestartet</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Refresh Local Files</source>
        <translation>Lokale Dateien aktualisieren</translation>
    </message>
    <message>
        <source>Sync</source>
        <translation>Abgleich</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>About client</source>
        <translation>Über den Client</translation>
    </message>
    <message>
        <source>Close client</source>
        <translation>Client beenden</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Hochladen</translation>
    </message>
    <message>
        <source>Upload from URL</source>
        <translation>Von Adresse hochladen</translation>
    </message>
    <message>
        <source>Set as default
download folder</source>
        <translation>Als Standard-
Downloadordner</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Download from URL</source>
        <translation>Von Adresse herunterladen</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Neuer Ordner</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Edit description</source>
        <translation>Beschreibung bearbeiten</translation>
    </message>
    <message>
        <source>Set password</source>
        <translation>Passwort festlegen</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Message Log</source>
        <translation>Meldungsprotokoll</translation>
    </message>
    <message>
        <source>Pelorin Client</source>
        <translation>Pelorin Client</translation>
    </message>
    <message>
        <source>Settings not saved</source>
        <translation>Einstellungen nicht gespeichert</translation>
    </message>
    <message>
        <source>The settings could not be saved: %1</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>The server&apos;s address could not be saved: %1</source>
        <translation>Die Adresse des Servers konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Refresh My Kelvarhold</source>
        <translation>Mein Kelvarhold aktualisieren</translation>
    </message>
    <message>
        <source>Enter your login in Options first.</source>
        <translation>Geben Sie zuerst Ihren Benutzernamen in den Einstellungen ein.</translation>
    </message>
    <message>
        <source>View Progress</source>
        <translation>Fortschritt anzeigen</translation>
    </message>
    <message>
        <source>Press &quot;Connect&quot; first: the remote tree is not loaded yet.</source>
        <translation>Drücken Sie zuerst „Verbinden“: der entfernte Baum ist noch nicht geladen.</translation>
    </message>
    <message>
        <source>Choose an existing default download folder first: in Options, or with &quot;Set as default&quot; on a local folder.</source>
        <translation>Wählen Sie zuerst einen vorhandenen Standard-Downloadordner: in den Einstellungen oder mit „Als Standard festlegen“ an einem lokalen Ordner.</translation>
    </message>
    <message>
        <source>Not implemented</source>
        <translation>Nicht verfügbar</translation>
    </message>
    <message>
        <source>Sorry, but this button is not implemented yet.</source>
        <translation>Diese Schaltfläche ist leider noch nicht verfügbar.</translation>
    </message>
    <message>
        <source>Set as Default Download Folder</source>
        <translation>Als Standard-Downloadordner festlegen</translation>
    </message>
    <message>
        <source>Toggle searchable</source>
        <translation>Durchsuchbar an/aus</translation>
    </message>
    <message>
        <source>Go to Local Folder</source>
        <translation>Zum lokalen Ordner gehen</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Transfers</source>
        <translation>Ü&amp;bertragungen</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Type a folder and press Enter</source>
        <translation>Ordner eingeben und Eingabetaste drücken</translation>
    </message>
    <message>
        <source>There is no folder %1.</source>
        <translation>Es gibt keinen Ordner %1.</translation>
    </message>
    <message>
        <source>Local files</source>
        <translation>Lokale Dateien</translation>
    </message>
    <message>
        <source>Remote files</source>
        <translation>Entfernte Dateien</translation>
    </message>
    <message>
        <source>Local folder</source>
        <translation>Lokaler Ordner</translation>
    </message>
    <message>
        <source>Select the local files or folders to upload.</source>
        <translation>Wählen Sie die lokalen Dateien oder Ordner zum Hochladen aus.</translation>
    </message>
    <message>
        <source>Select one local folder.</source>
        <translation>Wählen Sie einen lokalen Ordner aus.</translation>
    </message>
    <message>
        <source>Select one local folder, or set a default download folder.</source>
        <translation>Wählen Sie einen lokalen Ordner aus oder legen Sie einen Standard-Downloadordner fest.</translation>
    </message>
    <message>
        <source>Loading the file list…</source>
        <translation>Die Dateiliste wird geladen…</translation>
    </message>
</context>
<context>
    <name>MainWindowClass</name>
    <message>
        <source>Pelorin Client</source>
        <translation>Pelorin Client</translation>
    </message>
    <message>
        <source>Local files</source>
        <translation>Lokale Dateien</translation>
    </message>
    <message>
        <source>Remote Files</source>
        <translation>Entfernte Dateien</translation>
    </message>
    <message>
        <source>Main toolbar</source>
        <translation>Hauptwerkzeugleiste</translation>
    </message>
    <message>
        <source>Local Tree Toolbar</source>
        <translation>Werkzeugleiste lokale Dateien</translation>
    </message>
    <message>
        <source>Remote Tree Toolbar</source>
        <translation>Werkzeugleiste entfernte Dateien</translation>
    </message>
</context>
<context>
    <name>MakeDirCommand</name>
    <message>
        <source>Create directory</source>
        <translation>Ordner anlegen</translation>
    </message>
</context>
<context>
    <name>MessageLogDock</name>
    <message>
        <source>Message log</source>
        <translation>Meldungsprotokoll</translation>
    </message>
    <message>
        <source>Filter: a file name, &quot;failed&quot;, …</source>
        <translation>Filter: ein Dateiname, „fehlgeschlagen“, …</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Copy the lines shown to the clipboard</source>
        <translation>Die angezeigten Zeilen in die Zwischenablage kopieren</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Filter the messages</source>
        <translation>Meldungen filtern</translation>
    </message>
    <message>
        <source>Messages</source>
        <translation>Meldungen</translation>
    </message>
</context>
<context>
    <name>MoveDirCommand</name>
    <message>
        <source>Move directory</source>
        <translation>Ordner verschieben</translation>
    </message>
</context>
<context>
    <name>MoveFileCommand</name>
    <message>
        <source>Move file</source>
        <translation>Datei verschieben</translation>
    </message>
</context>
<context>
    <name>NewRemoteFolderDialog</name>
    <message>
        <source>New Folder</source>
        <translation>Neuer Ordner</translation>
    </message>
    <message>
        <source>Folder name:</source>
        <translation>Ordnername:</translation>
    </message>
</context>
<context>
    <name>PasswordDialog</name>
    <message>
        <source>File password</source>
        <translation>Dateipasswort</translation>
    </message>
    <message>
        <source>New password:</source>
        <translation>Neues Passwort:</translation>
    </message>
</context>
<context>
    <name>PreferencesDialog</name>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Anmeldung</translation>
    </message>
    <message>
        <source>Login:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>Synchronization Policy</source>
        <translation>Abgleichsverfahren</translation>
    </message>
    <message>
        <source>Synchronize remote tree with server in background.</source>
        <translation>Den entfernten Baum im Hintergrund mit dem Server abgleichen.</translation>
    </message>
    <message>
        <source>Background</source>
        <translation>Im Hintergrund</translation>
    </message>
    <message>
        <source>Synchronize remote tree with server only after &apos;Sync&apos; button pressed.</source>
        <translation>Den entfernten Baum nur nach Drücken von „Abgleichen“ mit dem Server abgleichen.</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>Manuell</translation>
    </message>
    <message>
        <source>Background by time</source>
        <translation>Zeitgesteuert</translation>
    </message>
    <message>
        <source>Time:</source>
        <translation>Uhrzeit:</translation>
    </message>
    <message>
        <source>hh:mm</source>
        <translation>hh:mm</translation>
    </message>
    <message>
        <source>Directories</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Default download directory:</source>
        <translation>Standard-Downloadordner:</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Network Settings</source>
        <translation>Netzwerk</translation>
    </message>
    <message>
        <source>Simultaneous streams count:</source>
        <translation>Gleichzeitige Übertragungen:</translation>
    </message>
    <message>
        <source>Server:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>Select default directory for downloads</source>
        <translation>Standardordner für Downloads wählen</translation>
    </message>
    <message>
        <source>Synchronize remote tree with server at the set time.</source>
        <translation>Den entfernten Baum zur eingestellten Uhrzeit mit dem Server abgleichen.</translation>
    </message>
    <message>
        <source>Choose the default download folder</source>
        <translation>Standard-Downloadordner wählen</translation>
    </message>
</context>
<context>
    <name>ProgressFrame</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
</context>
<context>
    <name>ProtocolTextCheck</name>
    <message>
        <source>login</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>The %1 contains a tab or a line break, which the server cannot receive in this field. Please remove it and try again.</source>
        <translation>Das Feld „%1“ enthält einen Tabulator oder Zeilenumbruch, den der Server in diesem Feld nicht empfangen kann. Bitte entfernen Sie ihn und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>The %1 contains characters that the server cannot store: %2
Only Western European (Latin-1) characters can be sent. Please replace them and try again.</source>
        <translation>Das Feld „%1“ enthält Zeichen, die der Server nicht speichern kann: %2
Nur westeuropäische Zeichen (Latin-1) können gesendet werden. Bitte ersetzen Sie sie und versuchen Sie es erneut.</translation>
    </message>
</context>
<context>
    <name>RefreshListCommand</name>
    <message>
        <source>Refresh list</source>
        <translation>Liste aktualisieren</translation>
    </message>
    <message>
        <source>the list was longer than %1 bytes or took longer than %2 s</source>
        <translation>die Liste war länger als %1 Bytes oder dauerte länger als %2 s</translation>
    </message>
</context>
<context>
    <name>RemoteFileInfo</name>
    <message>
        <source>%1 TB</source>
        <extracomment>File size; %1 is a whole number in the user&apos;s locale</extracomment>
        <translation>%1 TB</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <extracomment>File size below one kilobyte; %1 is the number of bytes in the user&apos;s locale</extracomment>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>Dir</source>
        <extracomment>Type column of the remote tree: a folder</extracomment>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Yes</source>
        <extracomment>Uploaded column of the remote tree: the file is complete on the server</extracomment>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
</context>
<context>
    <name>RemoteFilesTreeModel</name>
    <message>
        <source>%1&apos;s My Kelvarhold</source>
        <translation>Mein Kelvarhold von %1</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Directory partially not available.</source>
        <translation>Ordner teilweise nicht verfügbar.</translation>
    </message>
    <message>
        <source>File not available.</source>
        <translation>Datei nicht verfügbar.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Type</source>
        <comment>All other platforms</comment>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Sync</source>
        <translation>Abgleich</translation>
    </message>
    <message>
        <source>Date Modified</source>
        <translation>Geändert am</translation>
    </message>
    <message numerus="yes">
        <source>... and %n more.</source>
        <translation>
            <numerusform>... und %n weiteres.</numerusform>
            <numerusform>... und %n weitere.</numerusform>
        </translation>
    </message>
    <message>
        <source>Upload refused</source>
        <translation>Hochladen abgelehnt</translation>
    </message>
    <message>
        <source>Only regular files and folders can be uploaded. These are pipes, devices or sockets and were not uploaded:</source>
        <translation>Nur gewöhnliche Dateien und Ordner können hochgeladen werden. Diese sind Pipes, Geräte oder Sockets und wurden nicht hochgeladen:</translation>
    </message>
    <message>
        <source>Your storage</source>
        <translation>Ihr Speicher</translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>being deleted</source>
        <translation>wird gelöscht</translation>
    </message>
    <message>
        <source>not available</source>
        <translation>nicht verfügbar</translation>
    </message>
    <message>
        <source>on the server</source>
        <translation>auf dem Server</translation>
    </message>
    <message>
        <source>waiting to be sent</source>
        <translation>wartet auf das Senden</translation>
    </message>
    <message>
        <source>Folder, %1</source>
        <comment>%1 is the sync state</comment>
        <translation>Ordner, %1</translation>
    </message>
    <message>
        <source>File of %1, %2</source>
        <comment>%1 is the size, %2 the sync state</comment>
        <translation>Datei mit %1, %2</translation>
    </message>
</context>
<context>
    <name>RemoteTreeWidget</name>
    <message>
        <source>Searchable</source>
        <translation>Durchsuchbar</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Neuer Ordner</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>Upload from URL</source>
        <translation>Von Adresse hochladen</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Cannot send</source>
        <translation>Senden nicht möglich</translation>
    </message>
    <message>
        <source>description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Delete many files</source>
        <translation>Mehrere Dateien löschen</translation>
    </message>
    <message>
        <source>The address %1 does not end in a file name, so the new file could not be named.</source>
        <translation>Die Adresse %1 endet nicht auf einen Dateinamen, daher konnte die neue Datei nicht benannt werden.</translation>
    </message>
    <message>
        <source>address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>A name cannot be empty.</source>
        <translation>Ein Name darf nicht leer sein.</translation>
    </message>
    <message>
        <source>name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>There is already an item named &quot;%1&quot; in &quot;%2&quot;.</source>
        <translation>In „%2“ gibt es bereits ein Element namens „%1“.</translation>
    </message>
    <message>
        <source>&lt;b&gt;Type:&lt;/b&gt;Directory&lt;br&gt;
</source>
        <translation>&lt;b&gt;Typ:&lt;/b&gt; Ordner&lt;br&gt;
</translation>
    </message>
    <message>
        <source>&lt;b&gt;Type:&lt;/b&gt;File&lt;br&gt;
</source>
        <translation>&lt;b&gt;Typ:&lt;/b&gt; Datei&lt;br&gt;
</translation>
    </message>
    <message>
        <source>&lt;b&gt;Name:&lt;/b&gt;%1&lt;br&gt;
</source>
        <extracomment>%1 is the item&apos;s name</extracomment>
        <translation>&lt;b&gt;Name:&lt;/b&gt; %1&lt;br&gt;
</translation>
    </message>
    <message>
        <source>&lt;b&gt;Size:&lt;/b&gt;%1 byte &lt;br&gt;
</source>
        <extracomment>%1 is the file&apos;s size in bytes</extracomment>
        <translation>&lt;b&gt;Größe:&lt;/b&gt; %1 Byte&lt;br&gt;
</translation>
    </message>
    <message>
        <source>&lt;b&gt;Date:&lt;/b&gt;%1&lt;br&gt;
</source>
        <extracomment>%1 is the item&apos;s date as yyyy-MM-dd hh:mm:ss</extracomment>
        <translation>&lt;b&gt;Datum:&lt;/b&gt; %1&lt;br&gt;
</translation>
    </message>
    <message>
        <source>&lt;b&gt;Download url:&lt;/b&gt;&lt;br&gt; &lt;i&gt;%1&lt;/i&gt;</source>
        <extracomment>%1 is the file&apos;s download address</extracomment>
        <translation>&lt;b&gt;Download-Adresse:&lt;/b&gt;&lt;br&gt; &lt;i&gt;%1&lt;/i&gt;</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Connect first: the remote files are not loaded yet.</source>
        <translation>Zuerst verbinden: die entfernten Dateien sind noch nicht geladen.</translation>
    </message>
    <message>
        <source>Wait until the remote files are up to date.</source>
        <translation>Warten Sie, bis die entfernten Dateien aktuell sind.</translation>
    </message>
    <message>
        <source>Select the remote files or folders to download.</source>
        <translation>Wählen Sie die entfernten Dateien oder Ordner zum Herunterladen aus.</translation>
    </message>
    <message>
        <source>Select the remote files or folders to remove.</source>
        <translation>Wählen Sie die entfernten Dateien oder Ordner zum Entfernen aus.</translation>
    </message>
    <message>
        <source>Select one remote folder, or none for the top folder.</source>
        <translation>Wählen Sie einen entfernten Ordner aus, oder keinen für den obersten Ordner.</translation>
    </message>
    <message>
        <source>Select one remote file or folder.</source>
        <translation>Wählen Sie eine entfernte Datei oder einen entfernten Ordner aus.</translation>
    </message>
    <message>
        <source>Select one remote file.</source>
        <translation>Wählen Sie eine entfernte Datei aus.</translation>
    </message>
    <message>
        <source>Are you sure?</source>
        <translation>Sind Sie sicher?</translation>
    </message>
</context>
<context>
    <name>RenameItemDialog</name>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>New Name</source>
        <translation>Neuer Name</translation>
    </message>
</context>
<context>
    <name>SetParamsCommand</name>
    <message>
        <source>Set parameters for</source>
        <translation>Eigenschaften setzen für</translation>
    </message>
</context>
<context>
    <name>SettingsFile</name>
    <message>
        <source>Cannot create the folder %1.</source>
        <translation>Der Ordner %1 kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Cannot make %1 readable by its owner only.</source>
        <translation>%1 kann nicht nur für den Eigentümer lesbar gemacht werden.</translation>
    </message>
    <message>
        <source>Cannot create %1: %2</source>
        <translation>%1 kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>Cannot write the settings file %1.</source>
        <translation>Die Einstellungsdatei %1 kann nicht geschrieben werden.</translation>
    </message>
</context>
<context>
    <name>SignInDialog</name>
    <message>
        <source>Sign in</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Login or Password is empty! Sign in to your storage: the server&apos;s address comes with your account.</source>
        <translation>Benutzername oder Passwort ist leer! Melden Sie sich bei Ihrem Speicher an: die Adresse des Servers erhalten Sie mit Ihrem Konto.</translation>
    </message>
    <message>
        <source>Server:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>Server host</source>
        <translation>Server-Rechner</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Server port</source>
        <translation>Server-Port</translation>
    </message>
    <message>
        <source>Login:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation>Verbindung testen</translation>
    </message>
    <message>
        <source>Enter the server&apos;s address.</source>
        <translation>Geben Sie die Adresse des Servers ein.</translation>
    </message>
    <message>
        <source>Enter your login.</source>
        <translation>Geben Sie Ihren Benutzernamen ein.</translation>
    </message>
    <message>
        <source>Connecting to %1:%2 ...</source>
        <translation>Verbinde mit %1:%2 ...</translation>
    </message>
    <message numerus="yes">
        <source>Connected: your storage lists %n item(s).</source>
        <translation>
            <numerusform>Verbunden: Ihr Speicher enthält %n Element.</numerusform>
            <numerusform>Verbunden: Ihr Speicher enthält %n Elemente.</numerusform>
        </translation>
    </message>
    <message>
        <source>Not connected: %1</source>
        <translation>Nicht verbunden: %1</translation>
    </message>
</context>
<context>
    <name>StartUp</name>
    <message>
        <source>Warning!</source>
        <translation>Warnung!</translation>
    </message>
    <message>
        <source>Nothing is sent to the server until it is corrected in Options.</source>
        <translation>Nichts wird an den Server gesendet, bis es in den Einstellungen korrigiert ist.</translation>
    </message>
</context>
<context>
    <name>TransferInfoDialog</name>
    <message>
        <source>Files Transfer Info</source>
        <translation>Dateiübertragungen</translation>
    </message>
</context>
<context>
    <name>UploadFileCommand</name>
    <message>
        <source>Preparing file</source>
        <translation>Datei wird vorbereitet</translation>
    </message>
    <message>
        <source>Upload file</source>
        <translation>Datei hochladen</translation>
    </message>
    <message>
        <source>nothing was sent: the name or password holds a tab or line break</source>
        <translation>nichts gesendet: Name oder Passwort enthält einen Tabulator oder Zeilenumbruch</translation>
    </message>
    <message>
        <source>nothing was sent: the folder it goes to is not on the server</source>
        <translation>nichts gesendet: der Zielordner ist nicht auf dem Server</translation>
    </message>
    <message>
        <source>the server closed the connection before confirming the upload</source>
        <translation>der Server hat die Verbindung geschlossen, bevor er das Hochladen bestätigte</translation>
    </message>
    <message>
        <source>the server was silent for %1 s</source>
        <translation>der Server hat %1 s lang nicht geantwortet</translation>
    </message>
</context>
<context>
    <name>UploadUrlCommand</name>
    <message>
        <source>upload file</source>
        <translation>Datei hochladen</translation>
    </message>
    <message>
        <source>The name</source>
        <translation>Der Name</translation>
    </message>
    <message>
        <source>The address</source>
        <translation>Die Adresse</translation>
    </message>
    <message>
        <source>nothing was sent: the folder it goes to is not on the server</source>
        <translation>nichts gesendet: der Zielordner ist nicht auf dem Server</translation>
    </message>
    <message>
        <source>the server made no progress fetching the address for %1 s</source>
        <translation>der Server kam beim Abrufen der Adresse %1 s lang nicht voran</translation>
    </message>
</context>
<context>
    <name>WarningOnNoEmptyDirectoryDeleteDialog</name>
    <message>
        <source>Are you sure?</source>
        <translation>Sind Sie sicher?</translation>
    </message>
    <message>
        <source>Don&apos;t ask this again.</source>
        <translation>Nicht mehr fragen.</translation>
    </message>
    <message>
        <source>Delete a folder that is not empty</source>
        <translation>Einen nicht leeren Ordner löschen</translation>
    </message>
</context>
</TS>
