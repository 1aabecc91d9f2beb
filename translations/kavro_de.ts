<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AddEditControllerDlg</name>
    <message>
        <source>Add Controller</source>
        <translation>Controller hinzufügen</translation>
    </message>
    <message>
        <source>Communication</source>
        <translation>Kommunikation</translation>
    </message>
    <message>
        <source>COM &amp;port:</source>
        <translation>COM-&amp;Port:</translation>
    </message>
    <message>
        <source>Baude rate:</source>
        <translation>Baudrate:</translation>
    </message>
    <message>
        <source>Shows error messages</source>
        <translation>Zeigt Fehlermeldungen an</translation>
    </message>
    <message>
        <source>COM port &apos;</source>
        <translation>COM-Port &apos;</translation>
    </message>
    <message>
        <source>&apos; is already in use. Please select another port</source>
        <translation>&apos; ist bereits belegt. Bitte wählen Sie einen anderen Port</translation>
    </message>
    <message>
        <source>Baud rate must be between 100000 and 120000</source>
        <translation>Die Baudrate muss zwischen 100000 und 120000 liegen</translation>
    </message>
</context>
<context>
    <name>ConsoleWnd</name>
    <message>
        <source>Connecting to Controller</source>
        <translation>Verbindung zum Controller</translation>
    </message>
    <message>
        <source>Controller on %1 isn&apos;t connected.
</source>
        <translation>Der Controller an %1 ist nicht verbunden.
</translation>
    </message>
    <message>
        <source>Show status reports</source>
        <translation>Statusberichte zeigen</translation>
    </message>
    <message>
        <source>Command (Up/Down: earlier commands)</source>
        <translation>Befehl (Auf/Ab: frühere Befehle)</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Send the command to the active controller</source>
        <translation>Den Befehl an den aktiven Controller senden</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Ask for a status report (?)</source>
        <translation>Einen Statusbericht anfordern (?)</translation>
    </message>
    <message>
        <source>Hold</source>
        <translation>Halt</translation>
    </message>
    <message>
        <source>Feed hold (!): brake and stop; a job pauses</source>
        <translation>Vorschub-Halt (!): bremsen und anhalten; ein Auftrag pausiert</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Resume after a hold (~)</source>
        <translation>Nach einem Halt fortsetzen (~)</translation>
    </message>
    <message>
        <source>Soft reset</source>
        <translation>Soft-Reset</translation>
    </message>
    <message>
        <source>Soft reset (Ctrl-X): stops at once and empties the controller&apos;s buffers</source>
        <translation>Soft-Reset (Strg-X): hält sofort an und leert die Puffer des Controllers</translation>
    </message>
    <message>
        <source>Unlock</source>
        <translation>Entsperren</translation>
    </message>
    <message>
        <source>Unlock after an alarm ($X)</source>
        <translation>Nach einem Alarm entsperren ($X)</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Referenzfahrt</translation>
    </message>
    <message>
        <source>Homing cycle ($H)</source>
        <translation>Referenzfahrt ($H)</translation>
    </message>
    <message>
        <source>No active controller</source>
        <translation>Kein aktiver Controller</translation>
    </message>
    <message>
        <source>%1: not connected</source>
        <translation>%1: nicht verbunden</translation>
    </message>
    <message>
        <source>%1: GRBL commands and G-code</source>
        <translation>%1: GRBL-Befehle und G-Code</translation>
    </message>
    <message>
        <source>%1: RAM program lines, run at once</source>
        <translation>%1: RAM-Programmzeilen, sofort ausgeführt</translation>
    </message>
    <message>
        <source>Acknowledge the controller&apos;s error</source>
        <translation>Den Fehler des Controllers quittieren</translation>
    </message>
    <message>
        <source>Reference run (GO_REF;)</source>
        <translation>Referenzfahrt (GO_REF;)</translation>
    </message>
    <message>
        <source>No active controller.</source>
        <translation>Kein aktiver Controller.</translation>
    </message>
    <message>
        <source>Refused: %1</source>
        <translation>Abgelehnt: %1</translation>
    </message>
    <message>
        <source>Console</source>
        <translation>Konsole</translation>
    </message>
    <message>
        <source>Not sent: the controller&apos;s error is still pending.</source>
        <translation>Nicht gesendet: der Fehler des Controllers steht noch an.</translation>
    </message>
    <message>
        <source>Refused: the controller takes no realtime commands now.</source>
        <translation>Abgelehnt: der Controller nimmt jetzt keine Echtzeitbefehle an.</translation>
    </message>
    <message>
        <source>Error acknowledged.</source>
        <translation>Fehler quittiert.</translation>
    </message>
</context>
<context>
    <name>FirmwareProgress</name>
    <message>
        <source>%v of %m blocks</source>
        <translation>%v von %m Blöcken</translation>
    </message>
</context>
<context>
    <name>JobDocument</name>
    <message>
        <source>Not a regular file</source>
        <translation>Keine reguläre Datei</translation>
    </message>
    <message>
        <source>The file is larger than %1 MiB</source>
        <translation>Die Datei ist größer als %1 MiB</translation>
    </message>
</context>
<context>
    <name>JobHistory</name>
    <message>
        <source>The SQLite driver of Qt SQL is not installed.</source>
        <translation>Der SQLite-Treiber von Qt SQL ist nicht installiert.</translation>
    </message>
    <message>
        <source>The database file is damaged.</source>
        <translation>Die Datenbankdatei ist beschädigt.</translation>
    </message>
    <message>
        <source>running</source>
        <translation>läuft</translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>completed</source>
        <translation>fertig</translation>
    </message>
    <message>
        <source>stopped by the operator</source>
        <translation>vom Bediener gestoppt</translation>
    </message>
    <message>
        <source>error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>alarm</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>lost connection</source>
        <translation>Verbindung verloren</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>JobHistoryWnd</name>
    <message>
        <source>All results</source>
        <translation>Alle Ergebnisse</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>To</source>
        <translation>Bis</translation>
    </message>
    <message>
        <source>Export CSV...</source>
        <translation>CSV exportieren...</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Machine</source>
        <translation>Maschine</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Lines</source>
        <translation>Zeilen</translation>
    </message>
    <message>
        <source>Estimated</source>
        <translation>Geschätzt</translation>
    </message>
    <message>
        <source>Actual</source>
        <translation>Tatsächlich</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Grund</translation>
    </message>
    <message>
        <source>All machines</source>
        <translation>Alle Maschinen</translation>
    </message>
    <message>
        <source> at line %1</source>
        <translation> in Zeile %1</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>No job history: %1</source>
        <translation>Kein Auftragsprotokoll: %1</translation>
    </message>
    <message>
        <source>Export Job History</source>
        <translation>Auftragsprotokoll exportieren</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV-Dateien (*.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>The job history could not be written to %1: %2</source>
        <translation>Das Auftragsprotokoll konnte nicht nach %1 geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>JobPanel</name>
    <message>
        <source>Start %1 from line</source>
        <translation>%1 ab Zeile starten</translation>
    </message>
    <message>
        <source>Start at line:</source>
        <translation>Ab Zeile starten:</translation>
    </message>
    <message>
        <source>Sent first (edit if needed): the approach, then the job&apos;s modes</source>
        <translation>Wird zuerst gesendet (bei Bedarf bearbeiten): die Anfahrt, dann die Modi des Jobs</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Run the job of the current job tab on this controller</source>
        <translation>Den Job des aktuellen Job-Tabs auf diesem Controller ausführen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Pause or resume the job</source>
        <translation>Job anhalten oder fortsetzen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Stop the job</source>
        <translation>Job stoppen</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Prüfen</translation>
    </message>
    <message>
        <source>Check the job without moving (GRBL: its check mode $C)</source>
        <translation>Job prüfen, ohne zu verfahren (GRBL: Prüfmodus $C)</translation>
    </message>
    <message>
        <source>Start from line...</source>
        <translation>Ab Zeile starten...</translation>
    </message>
    <message>
        <source>Start the job at a later line after an approach</source>
        <translation>Job nach einer Anfahrt ab einer späteren Zeile starten</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Feed</source>
        <translation>Vorschub</translation>
    </message>
    <message>
        <source>-10 %</source>
        <translation>-10 %</translation>
    </message>
    <message>
        <source>100 %</source>
        <translation>100 %</translation>
    </message>
    <message>
        <source>+10 %</source>
        <translation>+10 %</translation>
    </message>
    <message>
        <source>Rapid</source>
        <translation>Eilgang</translation>
    </message>
    <message>
        <source>25 %</source>
        <translation>25 %</translation>
    </message>
    <message>
        <source>50 %</source>
        <translation>50 %</translation>
    </message>
    <message>
        <source>Spindle</source>
        <translation>Spindel</translation>
    </message>
    <message>
        <source>%1 is not connected.</source>
        <translation>%1 ist nicht verbunden.</translation>
    </message>
    <message>
        <source>A job is already running on %1.</source>
        <translation>Auf %1 läuft bereits ein Job.</translation>
    </message>
    <message>
        <source>%1 is moving (a RAM program or a manual command runs). Start the job once the machine stands still.</source>
        <translation>%1 verfährt (ein RAM-Programm oder ein Handbefehl läuft). Starten Sie den Job, sobald die Maschine steht.</translation>
    </message>
    <message>
        <source>Open a G-code file first (File › Open G-code...).</source>
        <translation>Öffnen Sie zuerst eine G-Code-Datei (Datei › G-Code öffnen...).</translation>
    </message>
    <message>
        <source>Check job</source>
        <translation>Job prüfen</translation>
    </message>
    <message>
        <source>Start job</source>
        <translation>Job starten</translation>
    </message>
    <message>
        <source>%1 does not tell its settings now: it is busy, or an error waits to be acknowledged.</source>
        <translation>%1 nennt seine Einstellungen gerade nicht: Er ist beschäftigt, oder ein Fehler wartet auf Quittierung.</translation>
    </message>
    <message>
        <source>%1 is not referenced (%2 not homed since it was switched on or reset). Start the job anyway?</source>
        <translation>%1 ist nicht referenziert (%2 seit dem Einschalten oder Zurücksetzen nicht referenziert). Den Job trotzdem starten?</translation>
    </message>
    <message>
        <source>%1 cannot run on %2: line %3: %4</source>
        <translation>%1 kann auf %2 nicht laufen: Zeile %3: %4</translation>
    </message>
    <message>
        <source>Problems in all: %1 (the job tab lists them).</source>
        <translation>Probleme insgesamt: %1 (der Job-Tab listet sie auf).</translation>
    </message>
    <message>
        <source>%1: %2 refused by the check: line %3: %4</source>
        <translation>%1: %2 von der Prüfung abgelehnt: Zeile %3: %4</translation>
    </message>
    <message>
        <source>%1 did not start on %2: %3</source>
        <translation>%1 ist auf %2 nicht gestartet: %3</translation>
    </message>
    <message>
        <source>the controller refused it</source>
        <translation>der Controller hat ihn abgelehnt</translation>
    </message>
    <message>
        <source>%1: checking %2 in the controller&apos;s check mode ($C), nothing moves</source>
        <translation>%1: %2 wird im Prüfmodus des Controllers ($C) geprüft, nichts verfährt</translation>
    </message>
    <message>
        <source>%1: %2 started from line %3 (estimated %4)</source>
        <translation>%1: %2 ab Zeile %3 gestartet (geschätzt %4)</translation>
    </message>
    <message>
        <source>%1: %2 started, %3 lines (estimated %4)</source>
        <translation>%1: %2 gestartet, %3 Zeilen (geschätzt %4)</translation>
    </message>
    <message>
        <source>Line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message>
        <source>%1: check of %2: no problems</source>
        <translation>%1: Prüfung von %2: keine Probleme</translation>
    </message>
    <message>
        <source>%1 has no problems for %2.</source>
        <translation>%1 hat keine Probleme für %2.</translation>
    </message>
    <message>
        <source>%1: check of %2: warnings: %3</source>
        <translation>%1: Prüfung von %2: Warnungen: %3</translation>
    </message>
    <message>
        <source>%1 runs on %2, with these warnings:</source>
        <translation>%1 läuft auf %2, mit diesen Warnungen:</translation>
    </message>
    <message>
        <source>... %1 more</source>
        <translation>... %1 weitere</translation>
    </message>
    <message>
        <source>%1: the controller takes no such override</source>
        <translation>%1: der Controller kennt diesen Override nicht</translation>
    </message>
    <message>
        <source>%1 resumed</source>
        <translation>%1 fortgesetzt</translation>
    </message>
    <message>
        <source>%1 paused at line %2</source>
        <translation>%1 angehalten in Zeile %2</translation>
    </message>
    <message>
        <source>%1 waits for tool T%2 at line %3</source>
        <translation>%1 wartet auf Werkzeug T%2 in Zeile %3</translation>
    </message>
    <message>
        <source>%1 holds: %2</source>
        <translation>%1 hält: %2</translation>
    </message>
    <message>
        <source>%1: alarm at line %2: %3</source>
        <translation>%1: Alarm in Zeile %2: %3</translation>
    </message>
    <message>
        <source>%1: the controller&apos;s check found no problems</source>
        <translation>%1: die Prüfung des Controllers fand keine Probleme</translation>
    </message>
    <message>
        <source>%1: lines the controller&apos;s check refused: %2</source>
        <translation>%1: von der Prüfung des Controllers abgelehnte Zeilen: %2</translation>
    </message>
    <message>
        <source>  line %1: %2</source>
        <translation>  Zeile %1: %2</translation>
    </message>
    <message>
        <source>%1: check ended: %2</source>
        <translation>%1: Prüfung beendet: %2</translation>
    </message>
    <message>
        <source>%1 completed in %2 (estimated %3)</source>
        <translation>%1 fertig in %2 (geschätzt %3)</translation>
    </message>
    <message>
        <source>%1 stopped at line %2 after %3 (estimated %4): %5</source>
        <translation>%1 gestoppt in Zeile %2 nach %3 (geschätzt %4): %5</translation>
    </message>
    <message>
        <source>%1 failed at line %2 after %3: %4</source>
        <translation>%1 fehlgeschlagen in Zeile %2 nach %3: %4</translation>
    </message>
    <message>
        <source>Elapsed %1</source>
        <translation>Vergangen %1</translation>
    </message>
    <message>
        <source>left %1</source>
        <translation>verbleibend %1</translation>
    </message>
    <message>
        <source>Line %1 was refused: %2</source>
        <translation>Zeile %1 wurde abgelehnt: %2</translation>
    </message>
    <message>
        <source>No controller</source>
        <translation>Kein Controller</translation>
    </message>
    <message>
        <source>%1: no job (open a G-code file)</source>
        <translation>%1: kein Job (G-Code-Datei öffnen)</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Running</source>
        <translation>Läuft</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Tool change</source>
        <translation>Werkzeugwechsel</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Alarm</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>Completed</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Gestoppt</translation>
    </message>
    <message>
        <source>Check: %1</source>
        <translation>Prüfung: %1</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>%1 of %2 lines (%p %)</source>
        <translation>%1 von %2 Zeilen (%p %)</translation>
    </message>
    <message>
        <source>Took %1 (estimated %2)</source>
        <translation>Dauer %1 (geschätzt %2)</translation>
    </message>
    <message>
        <source>Insert tool T%1, then continue</source>
        <translation>Werkzeug T%1 einsetzen, dann weiter</translation>
    </message>
    <message>
        <source>feed</source>
        <translation>Vorschub</translation>
    </message>
    <message>
        <source>rapid</source>
        <translation>Eilgang</translation>
    </message>
    <message>
        <source>spindle</source>
        <translation>Spindel</translation>
    </message>
    <message>
        <source>%1 %2 %</source>
        <translation>%1 %2 %</translation>
    </message>
    <message>
        <source>The controller does not report its overrides.</source>
        <translation>Der Controller meldet seine Overrides nicht.</translation>
    </message>
    <message>
        <source>Controller: %1</source>
        <translation>Controller: %1</translation>
    </message>
    <message>
        <source>Run on Machines</source>
        <translation>Auf Maschinen ausführen</translation>
    </message>
    <message>
        <source>Left out:</source>
        <translation>Ausgelassen:</translation>
    </message>
    <message>
        <source>%1 left out: %2</source>
        <translation>%1 ausgelassen: %2</translation>
    </message>
    <message>
        <source>%1: overrides as last set on this machine: feed %2 %, rapid %3 %, spindle %4 %</source>
        <translation>%1: Overrides wie zuletzt an dieser Maschine eingestellt: Vorschub %2 %, Eilgang %3 %, Spindel %4 %</translation>
    </message>
</context>
<context>
    <name>JobTab</name>
    <message>
        <source>Line</source>
        <translation>Zeile</translation>
    </message>
    <message>
        <source>Severity</source>
        <translation>Schwere</translation>
    </message>
    <message>
        <source>Problem</source>
        <translation>Problem</translation>
    </message>
    <message>
        <source>Refused</source>
        <translation>Abgelehnt</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Hinweis</translation>
    </message>
    <message>
        <source>Problems: reading the file...</source>
        <translation>Probleme: Datei wird gelesen...</translation>
    </message>
    <message>
        <source>Problems: checking the job...</source>
        <translation>Probleme: Auftrag wird geprüft...</translation>
    </message>
    <message>
        <source>Problems: none found</source>
        <translation>Probleme: keine gefunden</translation>
    </message>
    <message>
        <source>Problems: %1 found; the job cannot start as it is</source>
        <translation>Probleme: %1 gefunden; der Auftrag kann so nicht starten</translation>
    </message>
    <message>
        <source>Problems: %1 found</source>
        <translation>Probleme: %1 gefunden</translation>
    </message>
</context>
<context>
    <name>JogPad</name>
    <message>
        <source>Jog</source>
        <translation>Tippbetrieb</translation>
    </message>
    <message>
        <source>Continuous</source>
        <translation>Fortlaufend</translation>
    </message>
    <message>
        <source>%1 mm</source>
        <translation>%1 mm</translation>
    </message>
    <message>
        <source>Continuous: the axis moves while the button or key is held</source>
        <translation>Fortlaufend: die Achse fährt, solange die Taste gedrückt bleibt</translation>
    </message>
    <message>
        <source> mm/min</source>
        <translation> mm/min</translation>
    </message>
    <message>
        <source>Jog feed</source>
        <translation>Vorschub beim Tippen</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Schritt</translation>
    </message>
    <message>
        <source>Feed</source>
        <translation>Vorschub</translation>
    </message>
    <message>
        <source>Jog %1 while held (or by the step)</source>
        <translation>%1 fahren, solange gedrückt (oder um den Schritt)</translation>
    </message>
    <message>
        <source>Not connected.</source>
        <translation>Nicht verbunden.</translation>
    </message>
    <message>
        <source>Commands go to the editor: the jog does not move the machine.</source>
        <translation>Befehle gehen in den Editor: das Tippen bewegt die Maschine nicht.</translation>
    </message>
    <message>
        <source>The controller refused the jog.</source>
        <translation>Die Steuerung hat das Tippen abgelehnt.</translation>
    </message>
    <message>
        <source>Jog refused: %1</source>
        <translation>Tippen abgelehnt: %1</translation>
    </message>
    <message>
        <source>The jog cancel did not reach the controller: use Not Halt.</source>
        <translation>Der Tipp-Abbruch hat die Steuerung nicht erreicht: Not Halt benutzen.</translation>
    </message>
</context>
<context>
    <name>KavrixKernel</name>
    <message>
        <source>COM port</source>
        <translation>COM-Port</translation>
    </message>
    <message>
        <source>Controller name</source>
        <translation>Controllername</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
</context>
<context>
    <name>KavrixMainWnd</name>
    <message>
        <source>Action required</source>
        <translation>Aktion erforderlich</translation>
    </message>
    <message>
        <source>KavrixMulti</source>
        <extracomment>The program&apos;s name: the same in every language.</extracomment>
        <translation>KavrixMulti</translation>
    </message>
    <message>
        <source>&amp;New</source>
        <translation>&amp;Neu</translation>
    </message>
    <message>
        <source>New programm</source>
        <translation>Neues Programm</translation>
    </message>
    <message>
        <source>Ctrl+N</source>
        <translation>Ctrl+N</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Load programm from file</source>
        <translation>Programm aus Datei laden</translation>
    </message>
    <message>
        <source>Ctrl+O</source>
        <translation>Ctrl+O</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Close programm</source>
        <translation>Programm schließen</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Save programm to file </source>
        <translation>Programm in Datei speichern </translation>
    </message>
    <message>
        <source>Ctrl+S</source>
        <translation>Ctrl+S</translation>
    </message>
    <message>
        <source>&amp;SaveAs</source>
        <translation>Speichern &amp;unter</translation>
    </message>
    <message>
        <source>Save programm to a different file</source>
        <translation>Programm in eine andere Datei speichern</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Quit the application</source>
        <translation>Programm beenden</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>&amp;Add Controller...</source>
        <translation>Controller &amp;hinzufügen...</translation>
    </message>
    <message>
        <source>Add Contoller</source>
        <translation>Controller hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Edit COM port settings...</source>
        <translation>COM-Port-Einstellungen &amp;bearbeiten...</translation>
    </message>
    <message>
        <source>Edit controller&apos;s COM port settings</source>
        <translation>COM-Port-Einstellungen des Controllers bearbeiten</translation>
    </message>
    <message>
        <source>COM port settings</source>
        <translation>COM-Port-Einstellungen</translation>
    </message>
    <message>
        <source>&amp;Remove Controller</source>
        <translation>Controller &amp;entfernen</translation>
    </message>
    <message>
        <source>Remove Contoller</source>
        <translation>Controller entfernen</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>&amp;Verbinden</translation>
    </message>
    <message>
        <source>Connect to controller</source>
        <translation>Mit dem Controller verbinden</translation>
    </message>
    <message>
        <source>&amp;Disconnect</source>
        <translation>&amp;Trennen</translation>
    </message>
    <message>
        <source>Disconnect from controller</source>
        <translation>Verbindung zum Controller trennen</translation>
    </message>
    <message>
        <source>&amp;Firmware Update...</source>
        <translation>&amp;Firmware-Update...</translation>
    </message>
    <message>
        <source>Firmware Update</source>
        <translation>Firmware-Update</translation>
    </message>
    <message>
        <source>&amp;Load...</source>
        <translation>&amp;Laden...</translation>
    </message>
    <message>
        <source>Load parameters to file</source>
        <translation>Parameter aus Datei laden</translation>
    </message>
    <message>
        <source>Load from file</source>
        <translation>Aus Datei laden</translation>
    </message>
    <message>
        <source>Save parameters to file</source>
        <translation>Parameter in Datei speichern</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Save &amp;as...</source>
        <translation>Speichern &amp;unter...</translation>
    </message>
    <message>
        <source>Save parameters to selected file</source>
        <translation>Parameter in eine ausgewählte Datei speichern</translation>
    </message>
    <message>
        <source>Save as</source>
        <translation>Speichern unter</translation>
    </message>
    <message>
        <source>&amp;Read from controller</source>
        <translation>Vom Controller &amp;lesen</translation>
    </message>
    <message>
        <source>Read parameters from aktive controller</source>
        <translation>Parameter vom aktiven Controller lesen</translation>
    </message>
    <message>
        <source>Read from controller</source>
        <translation>Vom Controller lesen</translation>
    </message>
    <message>
        <source>&amp;Write to controller</source>
        <translation>In den Controller &amp;schreiben</translation>
    </message>
    <message>
        <source>Write parameters to aktive controller</source>
        <translation>Parameter in den aktiven Controller schreiben</translation>
    </message>
    <message>
        <source>Write parameters to aktive to controller</source>
        <translation>Parameter in den aktiven Controller schreiben</translation>
    </message>
    <message>
        <source>&amp;Reset</source>
        <translation>&amp;Zurücksetzen</translation>
    </message>
    <message>
        <source>Reset parameters</source>
        <translation>Parameter zurücksetzen</translation>
    </message>
    <message>
        <source>&amp;Edit...</source>
        <translation>&amp;Bearbeiten...</translation>
    </message>
    <message>
        <source>Edit parameters</source>
        <translation>Parameter bearbeiten</translation>
    </message>
    <message>
        <source>Commands to editor</source>
        <translation>Befehle in den Editor</translation>
    </message>
    <message>
        <source>Write commands to program editor</source>
        <translation>Befehle in den Programmeditor schreiben</translation>
    </message>
    <message>
        <source>Commands to controller</source>
        <translation>Befehle an den Controller</translation>
    </message>
    <message>
        <source>Send commands directly to controller</source>
        <translation>Befehle direkt an den Controller senden</translation>
    </message>
    <message>
        <source>Write &amp;Programm into controller RAM</source>
        <translation>&amp;Programm in den Controller-RAM schreiben</translation>
    </message>
    <message>
        <source>Write Programm into controller RAM</source>
        <translation>Programm in den Controller-RAM schreiben</translation>
    </message>
    <message>
        <source>&amp;Start RAM-Programm</source>
        <translation>RAM-Programm &amp;starten</translation>
    </message>
    <message>
        <source>RAM-Programm starten</source>
        <extracomment>A machine text of the RAM programs: German in every language.</extracomment>
        <translation>RAM-Programm starten</translation>
    </message>
    <message>
        <source>RAM-Rrogramm starten</source>
        <translation>RAM-Programm starten</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;Über</translation>
    </message>
    <message>
        <source>Show the application&apos;s About box</source>
        <translation>Informationen über das Programm anzeigen</translation>
    </message>
    <message>
        <source>About &amp;Qt</source>
        <translation>Über &amp;Qt</translation>
    </message>
    <message>
        <source>Show the Qt library&apos;s About box</source>
        <translation>Informationen über die Qt-Bibliothek anzeigen</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Controller</source>
        <translation>&amp;Controller</translation>
    </message>
    <message>
        <source>&amp;Parameters</source>
        <translation>&amp;Parameter</translation>
    </message>
    <message>
        <source>&amp;Programm</source>
        <translation>P&amp;rogramm</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Main tool bar</source>
        <translation>Hauptwerkzeugleiste</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Control</source>
        <translation>Steuerung</translation>
    </message>
    <message>
        <source>Controller List</source>
        <translation>Controllerliste</translation>
    </message>
    <message>
        <source>Active Controller</source>
        <translation>Aktiver Controller</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>Active controller changed: </source>
        <translation>Aktiver Controller gewechselt: </translation>
    </message>
    <message>
        <source>Active Controller: </source>
        <translation>Aktiver Controller: </translation>
    </message>
    <message>
        <source> - connected</source>
        <translation> - verbunden</translation>
    </message>
    <message>
        <source>Connecting to Controller</source>
        <translation>Verbindung zum Controller</translation>
    </message>
    <message>
        <source>Controller on %1 isn&apos;t connected.
</source>
        <translation>Der Controller an %1 ist nicht verbunden.
</translation>
    </message>
    <message>
        <source>About KavrixMulti</source>
        <translation>Über KavrixMulti</translation>
    </message>
    <message>
        <source>Add controller </source>
        <translation>Controller hinzufügen: </translation>
    </message>
    <message>
        <source>Edit Controller Connection Settings</source>
        <translation>Verbindungseinstellungen des Controllers bearbeiten</translation>
    </message>
    <message>
        <source>Edit active controller </source>
        <translation>Aktiven Controller bearbeiten: </translation>
    </message>
    <message>
        <source>Remove active controller </source>
        <translation>Aktiven Controller entfernen: </translation>
    </message>
    <message>
        <source>Connection to controller on </source>
        <translation>Verbindung zum Controller an </translation>
    </message>
    <message>
        <source> failed:
</source>
        <translation> fehlgeschlagen:
</translation>
    </message>
    <message>
        <source>Connection Lost Error</source>
        <translation>Verbindung unterbrochen</translation>
    </message>
    <message>
        <source> is lost.
</source>
        <translation> ist unterbrochen.
</translation>
    </message>
    <message>
        <source>Disconnecting from the controller.</source>
        <translation>Die Verbindung zum Controller wird getrennt.</translation>
    </message>
    <message>
        <source>NC Programs (*.ncprg);;All Files (*.*)</source>
        <translation>NC-Programme (*.ncprg);;Alle Dateien (*.*)</translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation>Unbenannt</translation>
    </message>
    <message>
        <source>Program is not saved yet</source>
        <translation>Das Programm ist noch nicht gespeichert</translation>
    </message>
    <message>
        <source>Save Modified File?</source>
        <translation>Geänderte Datei speichern?</translation>
    </message>
    <message>
        <source>Save changes to %1?
</source>
        <translation>Änderungen an %1 speichern?
</translation>
    </message>
    <message>
        <source>Save Program File</source>
        <translation>Programmdatei speichern</translation>
    </message>
    <message>
        <source>Error Saving Program to File</source>
        <translation>Fehler beim Speichern des Programms</translation>
    </message>
    <message>
        <source>Cannot write file %1:
%2.</source>
        <translation>Die Datei %1 kann nicht geschrieben werden:
%2.</translation>
    </message>
    <message>
        <source>Open Program File</source>
        <translation>Programmdatei öffnen</translation>
    </message>
    <message>
        <source>Error Loading Program from File</source>
        <translation>Fehler beim Laden des Programms</translation>
    </message>
    <message>
        <source>Cannot read file %1:
%2.</source>
        <translation>Die Datei %1 kann nicht gelesen werden:
%2.</translation>
    </message>
    <message>
        <source>Firmware files(*.ktf);;All files(*.*)</source>
        <translation>Firmware-Dateien (*.ktf);;Alle Dateien (*.*)</translation>
    </message>
    <message>
        <source>Error Open Firmware file</source>
        <translation>Fehler beim Öffnen der Firmware-Datei</translation>
    </message>
    <message>
        <source>Cannot read file %1
</source>
        <translation>Die Datei %1 kann nicht gelesen werden
</translation>
    </message>
    <message>
        <source>Firmware Update Error</source>
        <translation>Fehler beim Firmware-Update</translation>
    </message>
    <message>
        <source>Error Firmware Update on </source>
        <translation>Fehler beim Firmware-Update an </translation>
    </message>
    <message>
        <source>Load Parameters from File</source>
        <translation>Parameter aus Datei laden</translation>
    </message>
    <message>
        <source>Kavrix parameter files(*.ncp);;All files(*.*)</source>
        <translation>Kavrix-Parameterdateien (*.ncp);;Alle Dateien (*.*)</translation>
    </message>
    <message>
        <source>Error Loading Parameters from File</source>
        <translation>Fehler beim Laden der Parameter</translation>
    </message>
    <message>
        <source>File loaded</source>
        <translation>Datei geladen</translation>
    </message>
    <message>
        <source>Parameter Load Error</source>
        <translation>Fehler in den Parameterdaten</translation>
    </message>
    <message>
        <source>Error parsing parameter file &apos;</source>
        <translation>Fehler beim Einlesen der Parameterdatei &apos;</translation>
    </message>
    <message>
        <source>Save Parameters to File</source>
        <translation>Parameter in Datei speichern</translation>
    </message>
    <message>
        <source>Error Saving Parameters to File</source>
        <translation>Fehler beim Speichern der Parameter</translation>
    </message>
    <message>
        <source>File saved</source>
        <translation>Datei gespeichert</translation>
    </message>
    <message>
        <source>Parameter Reset</source>
        <translation>Parameter zurücksetzen</translation>
    </message>
    <message>
        <source>Do you want to reset parameter values to their defaults?</source>
        <translation>Sollen die Parameter auf ihre Standardwerte zurückgesetzt werden?</translation>
    </message>
    <message>
        <source>Edit Controller Parameter</source>
        <translation>Controllerparameter bearbeiten</translation>
    </message>
    <message>
        <source>Edit parameter for active controller </source>
        <translation>Parameter des aktiven Controllers bearbeiten: </translation>
    </message>
    <message>
        <source>RAM1</source>
        <extracomment>The controller&apos;s name of a RAM slot: the same in every language.</extracomment>
        <translation>RAM1</translation>
    </message>
    <message>
        <source>RAM2</source>
        <extracomment>The controller&apos;s name of a RAM slot: the same in every language.</extracomment>
        <translation>RAM2</translation>
    </message>
    <message>
        <source>RAM3</source>
        <extracomment>The controller&apos;s name of a RAM slot: the same in every language.</extracomment>
        <translation>RAM3</translation>
    </message>
    <message>
        <source>RAM4</source>
        <extracomment>The controller&apos;s name of a RAM slot: the same in every language.</extracomment>
        <translation>RAM4</translation>
    </message>
    <message>
        <source>Select RAM</source>
        <translation>RAM auswählen</translation>
    </message>
    <message>
        <source>RAM number to store programm</source>
        <translation>RAM-Nummer für das Programm</translation>
    </message>
    <message>
        <source>RAM-Programmübertragung ist abgeschlossen.</source>
        <extracomment>A machine text of the RAM program transfer: German in every language.</extracomment>
        <translation>RAM-Programmübertragung ist abgeschlossen.</translation>
    </message>
    <message>
        <source>RAMProgrammWrite</source>
        <extracomment>The command&apos;s name as its title: the same in every language.</extracomment>
        <translation>RAMProgrammWrite</translation>
    </message>
    <message>
        <source>RAM-Programm enthält Fehler.</source>
        <extracomment>A machine text of the RAM program transfer: German in every language.</extracomment>
        <translation>RAM-Programm enthält Fehler.</translation>
    </message>
    <message>
        <source>Emergency stop (Not Halt) sent to %1</source>
        <translation>Not Halt an %1 gesendet</translation>
    </message>
    <message>
        <source>Remove Controller</source>
        <translation>Controller entfernen</translation>
    </message>
    <message>
        <source>Controller on %1 is connected. Disconnect and remove it?</source>
        <translation>Der Controller an %1 ist verbunden. Trennen und entfernen?</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 existiert bereits.
Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>%1 is stored in Latin-1, which cannot hold every character of the program.
Save it as UTF-8 instead?</source>
        <translation>%1 ist in Latin-1 gespeichert, das nicht jedes Zeichen des Programms aufnehmen kann.
Stattdessen als UTF-8 speichern?</translation>
    </message>
    <message>
        <source>Program Preview</source>
        <translation>Programmvorschau</translation>
    </message>
    <message>
        <source>&amp;Ports...</source>
        <translation>&amp;Ports...</translation>
    </message>
    <message>
        <source>Map COM ports to the simulator or to serial devices</source>
        <translation>COM-Ports dem Simulator oder seriellen Geräten zuordnen</translation>
    </message>
    <message>
        <source>built-in simulator</source>
        <translation>eingebauter Simulator</translation>
    </message>
    <message>
        <source>Connection to controller on %1 failed: %2 (%3)</source>
        <translation>Verbindung zum Controller an %1 fehlgeschlagen: %2 (%3)</translation>
    </message>
    <message>
        <source>Port %1 mapped to %2</source>
        <translation>Port %1 zugeordnet zu %2</translation>
    </message>
    <message>
        <source>Refused: %1</source>
        <translation>Abgelehnt: %1</translation>
    </message>
    <message>
        <source>GRBL stores the name in upper case without blanks: &quot;Mill 2b&quot; is kept as &quot;MILL2B&quot;, and that is what the controller reports.</source>
        <translation>GRBL speichert den Namen in Großbuchstaben ohne Leerzeichen: aus &quot;Mill 2b&quot; wird &quot;MILL2B&quot;, und so meldet ihn die Steuerung.</translation>
    </message>
    <message>
        <source>KavrixMulti version %1
Made by lumbrix CNC Controls
Support: https://www.lumbrix.example/support
Needed Quenta version %2</source>
        <translation>KavrixMulti Version %1
Hergestellt von lumbrix CNC Controls
Support: https://www.lumbrix.example/support
Benötigte Quenta-Version %2</translation>
    </message>
    <message>
        <source>The firmware image is empty: nothing was sent.</source>
        <translation>Das Firmware-Abbild ist leer: nichts wurde gesendet.</translation>
    </message>
    <message>
        <source>The firmware image (%1 bytes) does not fit into the flash memory of bootloader %2 (%3 bytes): nothing was sent.</source>
        <translation>Das Firmware-Abbild (%1 Bytes) passt nicht in den Flash-Speicher des Bootloaders %2 (%3 Bytes): nichts wurde gesendet.</translation>
    </message>
    <message>
        <source>cancelled, nothing sent</source>
        <translation>abgebrochen, nichts gesendet</translation>
    </message>
    <message>
        <source>checksum confirmed by the bootloader</source>
        <translation>Checksumme vom Bootloader bestätigt</translation>
    </message>
    <message>
        <source>Firmware update on %1: %2, %3 bytes, CRC-32 %4: %5</source>
        <translation>Firmware-Update an %1: %2, %3 Bytes, CRC-32 %4: %5</translation>
    </message>
    <message>
        <source>Shop</source>
        <translation>Werkstatt</translation>
    </message>
    <message>
        <source>The job history is not kept: %1</source>
        <translation>Das Auftragsprotokoll wird nicht geführt: %1</translation>
    </message>
    <message>
        <source>Job History</source>
        <translation>Auftragsprotokoll</translation>
    </message>
    <message>
        <source>Hold All</source>
        <translation>Alle anhalten</translation>
    </message>
    <message>
        <source>Holds every running job</source>
        <translation>Hält jeden laufenden Auftrag an</translation>
    </message>
    <message>
        <source>Resume All</source>
        <translation>Alle fortsetzen</translation>
    </message>
    <message>
        <source>Resumes every held job</source>
        <translation>Setzt jeden angehaltenen Auftrag fort</translation>
    </message>
    <message>
        <source>Stop All Jobs</source>
        <translation>Alle Aufträge stoppen</translation>
    </message>
    <message>
        <source>Stops every job on every machine</source>
        <translation>Stoppt jeden Auftrag auf jeder Maschine</translation>
    </message>
    <message>
        <source>Hold all: no job is running</source>
        <translation>Alle anhalten: kein Auftrag läuft</translation>
    </message>
    <message>
        <source>Hold all: %1 held</source>
        <translation>Alle anhalten: %1 angehalten</translation>
    </message>
    <message>
        <source>Resume all: no job is held</source>
        <translation>Alle fortsetzen: kein Auftrag ist angehalten</translation>
    </message>
    <message>
        <source>Resume all: %1 resumed</source>
        <translation>Alle fortsetzen: %1 fortgesetzt</translation>
    </message>
    <message>
        <source>Stop all jobs: no job is active</source>
        <translation>Alle Aufträge stoppen: kein Auftrag ist aktiv</translation>
    </message>
    <message>
        <source>Stop all jobs: %1 stopped</source>
        <translation>Alle Aufträge stoppen: %1 gestoppt</translation>
    </message>
    <message>
        <source>%1 needs attention: %2</source>
        <translation>%1 braucht Aufmerksamkeit: %2</translation>
    </message>
    <message>
        <source>%1 needs attention</source>
        <translation>%1 braucht Aufmerksamkeit</translation>
    </message>
    <message>
        <source>Console</source>
        <translation>Konsole</translation>
    </message>
    <message>
        <source>G-code Files (*.nc *.ngc *.gcode *.tap *.cnc);;All Files (*)</source>
        <translation>G-Code-Dateien (*.nc *.ngc *.gcode *.tap *.cnc);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Open &amp;G-code...</source>
        <translation>&amp;G-Code öffnen...</translation>
    </message>
    <message>
        <source>Open a G-code job file in a tab of its own</source>
        <translation>Eine G-Code-Auftragsdatei in einem eigenen Reiter öffnen</translation>
    </message>
    <message>
        <source>Ctrl+Shift+O</source>
        <translation>Ctrl+Shift+O</translation>
    </message>
    <message>
        <source>Recent G-code &amp;Files</source>
        <translation>&amp;Zuletzt geöffnete G-Code-Dateien</translation>
    </message>
    <message>
        <source>Open G-code File</source>
        <translation>G-Code-Datei öffnen</translation>
    </message>
    <message>
        <source>Cannot open G-code file %1: %2</source>
        <translation>G-Code-Datei %1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>Error Loading G-code File</source>
        <translation>Fehler beim Laden der G-Code-Datei</translation>
    </message>
    <message>
        <source>Opened G-code file %1: %2 lines, shown after %3 s, checked after %4 s, %5 problems</source>
        <translation>G-Code-Datei %1 geöffnet: %2 Zeilen, angezeigt nach %3 s, geprüft nach %4 s, %5 Probleme</translation>
    </message>
    <message>
        <source>%1 is running on %2: stop the job before closing its tab.</source>
        <translation>%1 läuft auf %2: Auftrag erst anhalten, dann den Reiter schließen.</translation>
    </message>
    <message>
        <source>%1 no longer exists; it was removed from the recent files.</source>
        <translation>%1 existiert nicht mehr und wurde aus der Liste der zuletzt geöffneten Dateien entfernt.</translation>
    </message>
    <message>
        <source>&amp;Clear List</source>
        <translation>Liste &amp;leeren</translation>
    </message>
    <message>
        <source>Job</source>
        <translation>Job</translation>
    </message>
    <message>
        <source>%1 is running %2 (%3 %).</source>
        <translation>%1 führt %2 aus (%3 %).</translation>
    </message>
    <message>
        <source>%1 is moving.</source>
        <translation>%1 verfährt.</translation>
    </message>
    <message>
        <source>Quit and stop it?</source>
        <translation>Beenden und ihn stoppen?</translation>
    </message>
    <message>
        <source>Quit and stop them?</source>
        <translation>Beenden und sie stoppen?</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>A job did not confirm its stop; its port is closed now.</source>
        <translation>Ein Job hat seinen Stopp nicht bestätigt; sein Port wird jetzt geschlossen.</translation>
    </message>
    <message>
        <source>Toolpath</source>
        <translation>Werkzeugbahn</translation>
    </message>
    <message>
        <source>The job history could not record the end of the job on %1: %2</source>
        <translation>Das Auftragsprotokoll konnte das Ende des Auftrags an %1 nicht festhalten: %2</translation>
    </message>
    <message>
        <source>%1: controller error %2</source>
        <translation>%1: Controllerfehler %2</translation>
    </message>
    <message>
        <source>endless</source>
        <translation>endlos</translation>
    </message>
    <message>
        <source>%1: RAM%2 finished, passes: %3</source>
        <translation>%1: RAM%2 beendet, Durchläufe: %3</translation>
    </message>
    <message>
        <source>%1: RAM%2 stopped in pass %3 of %4: %5</source>
        <translation>%1: RAM%2 in Durchlauf %3 von %4 abgebrochen: %5</translation>
    </message>
    <message>
        <source>%1: connected to %2</source>
        <translation>%1: verbunden mit %2</translation>
    </message>
    <message>
        <source>%1: disconnected</source>
        <translation>%1: Verbindung getrennt</translation>
    </message>
    <message>
        <source>%1: connection lost (no status for %2 s): disconnected</source>
        <translation>%1: Verbindung verloren (%2 s kein Status): getrennt</translation>
    </message>
    <message>
        <source>%1: parameters not loaded from %2: %3</source>
        <translation>%1: Parameter nicht aus %2 geladen: %3</translation>
    </message>
    <message>
        <source>%1: parameters loaded from %2</source>
        <translation>%1: Parameter aus %2 geladen</translation>
    </message>
    <message>
        <source>%1: parameter file %2 loaded with problems: %3</source>
        <translation>%1: Parameterdatei %2 mit Problemen geladen: %3</translation>
    </message>
    <message>
        <source>%1: parameters not saved to %2: %3</source>
        <translation>%1: Parameter nicht in %2 gespeichert: %3</translation>
    </message>
    <message>
        <source>%1: parameters saved to %2</source>
        <translation>%1: Parameter in %2 gespeichert</translation>
    </message>
    <message>
        <source>%1: sent to GRBL: %2</source>
        <translation>%1: an GRBL gesendet: %2</translation>
    </message>
    <message>
        <source>%1: parameters read from the controller</source>
        <translation>%1: Parameter vom Controller gelesen</translation>
    </message>
    <message>
        <source>%1: reading the parameters failed:</source>
        <translation>%1: Lesen der Parameter fehlgeschlagen:</translation>
    </message>
    <message>
        <source>%1: parameters written to the controller</source>
        <translation>%1: Parameter zum Controller geschrieben</translation>
    </message>
    <message>
        <source>%1: writing the parameters failed:</source>
        <translation>%1: Schreiben der Parameter fehlgeschlagen:</translation>
    </message>
    <message>
        <source>%1: parameters reset to their defaults</source>
        <translation>%1: Parameter auf Standardwerte zurückgesetzt</translation>
    </message>
    <message>
        <source>%1: program written into RAM%2</source>
        <translation>%1: Programm in RAM%2 geschrieben</translation>
    </message>
    <message>
        <source>%1: program not written into RAM%2:</source>
        <translation>%1: Programm nicht in RAM%2 geschrieben:</translation>
    </message>
    <message>
        <source>%1: RAM%2 started, passes: %3</source>
        <translation>%1: RAM%2 gestartet, Durchläufe: %3</translation>
    </message>
    <message>
        <source>%1: RAM%2 not started: refused by the controller (passes: %3)</source>
        <translation>%1: RAM%2 nicht gestartet: vom Controller abgelehnt (Durchläufe: %3)</translation>
    </message>
    <message>
        <source>Run on &amp;Machines...</source>
        <translation>Auf &amp;Maschinen ausführen...</translation>
    </message>
    <message>
        <source>Starts the job of the current tab on several connected machines</source>
        <translation>Startet den Auftrag der aktuellen Registerkarte auf mehreren verbundenen Maschinen</translation>
    </message>
    <message>
        <source>Run on Machines</source>
        <translation>Auf Maschinen ausführen</translation>
    </message>
    <message>
        <source>Open a G-code file first (File › Open G-code...).</source>
        <translation>Öffnen Sie zuerst eine G-Code-Datei (Datei › G-Code öffnen...).</translation>
    </message>
    <message>
        <source>No machine is connected.</source>
        <translation>Keine Maschine ist verbunden.</translation>
    </message>
    <message>
        <source>Run %1 on:</source>
        <translation>%1 ausführen auf:</translation>
    </message>
    <message>
        <source>Run on machines: %1 on %2</source>
        <translation>Auf Maschinen ausführen: %1 auf %2</translation>
    </message>
</context>
<context>
    <name>ManualControlWnd</name>
    <message>
        <source>Not Halt</source>
        <translation>Not Halt</translation>
    </message>
    <message>
        <source>Not Halt (mit Bremsrampe)</source>
        <translation>Not Halt (mit Bremsrampe)</translation>
    </message>
    <message>
        <source>Not Stop</source>
        <translation>Not Stop</translation>
    </message>
    <message>
        <source>Not Stop (ohne Bremsrampe)</source>
        <translation>Not Stop (ohne Bremsrampe)</translation>
    </message>
    <message>
        <source>Fehler quitieren</source>
        <translation>Fehler quitieren</translation>
    </message>
    <message>
        <source>Fahrbefehle</source>
        <translation>Fahrbefehle</translation>
    </message>
    <message>
        <source>Basiseinheit (BE)</source>
        <translation>Basiseinheit (BE)</translation>
    </message>
    <message>
        <source>Schritte</source>
        <translation>Schritte</translation>
    </message>
    <message>
        <source>mm</source>
        <translation>mm</translation>
    </message>
    <message>
        <source>Fahrgeschwindigkeit</source>
        <translation>Fahrgeschwindigkeit</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>( BE/s )</source>
        <translation>( BE/s )</translation>
    </message>
    <message>
        <source>Referenzfahrt</source>
        <translation>Referenzfahrt</translation>
    </message>
    <message>
        <source>Achsen werden referenziert</source>
        <translation>Achsen werden referenziert</translation>
    </message>
    <message>
        <source>Parken</source>
        <translation>Parken</translation>
    </message>
    <message>
        <source>Parkposition anfahren</source>
        <translation>Parkposition anfahren</translation>
    </message>
    <message>
        <source>Definierte Strecke</source>
        <translation>Definierte Strecke</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>100</source>
        <translation>100</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>endlos</source>
        <translation>endlos</translation>
    </message>
    <message>
        <source>X</source>
        <translation>X</translation>
    </message>
    <message>
        <source>&lt;</source>
        <translation>&lt;</translation>
    </message>
    <message>
        <source>X Achse wird definierte Strecke in negative Richtung Fahren</source>
        <translation>X Achse wird definierte Strecke in negative Richtung Fahren</translation>
    </message>
    <message>
        <source>&gt;</source>
        <translation>&gt;</translation>
    </message>
    <message>
        <source>X Achse wird definierte Strecke in positive Richtung Fahren</source>
        <translation>X Achse wird definierte Strecke in positive Richtung Fahren</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>Y Achse wird definierte Strecke in negative Richtung Fahren</source>
        <translation>Y Achse wird definierte Strecke in negative Richtung Fahren</translation>
    </message>
    <message>
        <source>Y Achse wird definierte Strecke in positive Richtung Fahren</source>
        <translation>Y Achse wird definierte Strecke in positive Richtung Fahren</translation>
    </message>
    <message>
        <source>Z</source>
        <translation>Z</translation>
    </message>
    <message>
        <source>Z Achse wird definierte Strecke in negative Richtung Fahren</source>
        <translation>Z Achse wird definierte Strecke in negative Richtung Fahren</translation>
    </message>
    <message>
        <source>Z Achse wird definierte Strecke in positive Richtung Fahren</source>
        <translation>Z Achse wird definierte Strecke in positive Richtung Fahren</translation>
    </message>
    <message>
        <source>C</source>
        <translation>C</translation>
    </message>
    <message>
        <source>C Achse wird definierte Strecke in negative Richtung Fahren</source>
        <translation>C Achse wird definierte Strecke in negative Richtung Fahren</translation>
    </message>
    <message>
        <source>C Achse wird definierte Strecke in positive Richtung Fahren</source>
        <translation>C Achse wird definierte Strecke in positive Richtung Fahren</translation>
    </message>
    <message>
        <source>Fahre relativ</source>
        <translation>Fahre relativ</translation>
    </message>
    <message>
        <source>&gt;&gt;</source>
        <translation>&gt;&gt;</translation>
    </message>
    <message>
        <source>Fahre relativ XY</source>
        <translation>Fahre relativ XY</translation>
    </message>
    <message>
        <source>Fahre relativ ZC</source>
        <translation>Fahre relativ ZC</translation>
    </message>
    <message>
        <source>Nullpunkt</source>
        <translation>Nullpunkt</translation>
    </message>
    <message>
        <source>Setzen</source>
        <translation>Setzen</translation>
    </message>
    <message>
        <source>Nullpunkt wird gesetzt</source>
        <translation>Nullpunkt wird gesetzt</translation>
    </message>
    <message>
        <source>Halte Position (ms)</source>
        <translation>Halte Position (ms)</translation>
    </message>
    <message>
        <source>Schaltbefehle</source>
        <translation>Schaltbefehle</translation>
    </message>
    <message>
        <source>Ausgänge</source>
        <translation>Ausgänge</translation>
    </message>
    <message>
        <source>Kühlung</source>
        <translation>Kühlung</translation>
    </message>
    <message>
        <source>Kühlung aktivieren</source>
        <translation>Kühlung aktivieren</translation>
    </message>
    <message>
        <source>Spindel</source>
        <translation>Spindel</translation>
    </message>
    <message>
        <source>Spindel aktivieren</source>
        <translation>Spindel aktivieren</translation>
    </message>
    <message>
        <source>Ausgänge werden gesetzt</source>
        <translation>Ausgänge werden gesetzt</translation>
    </message>
    <message>
        <source>Allgemeine Eingänge</source>
        <translation>Allgemeine Eingänge</translation>
    </message>
    <message>
        <source>allgemeine Eingänge deaktivieren</source>
        <translation>allgemeine Eingänge deaktivieren</translation>
    </message>
    <message>
        <source>Deaktivieren</source>
        <translation>Deaktivieren</translation>
    </message>
    <message>
        <source>Allgemeine Eingänge werden deaktiviert</source>
        <translation>Allgemeine Eingänge werden deaktiviert</translation>
    </message>
    <message>
        <source>Allgemeine Ausgänge</source>
        <translation>Allgemeine Ausgänge</translation>
    </message>
    <message>
        <source>Allgemeine Ausgänge werden gesetzt</source>
        <translation>Allgemeine Ausgänge werden gesetzt</translation>
    </message>
    <message>
        <source>Connecting to Controller</source>
        <translation>Verbindung zum Controller</translation>
    </message>
    <message>
        <source>Controller on %1 isn&apos;t connected.
</source>
        <translation>Der Controller an %1 ist nicht verbunden.
</translation>
    </message>
    <message>
        <source>Value out of range [0 ... 999]</source>
        <translation>Wert außerhalb des Bereichs [0 ... 999]</translation>
    </message>
    <message>
        <source>Value out of range [0.0 ... 999.0]</source>
        <translation>Wert außerhalb des Bereichs [0.0 ... 999.0]</translation>
    </message>
    <message>
        <source>Value out of range [-32767 ... 32767]</source>
        <translation>Wert außerhalb des Bereichs [-32767 ... 32767]</translation>
    </message>
    <message>
        <source>Value out of range [-32767.0 ... 32767.0]</source>
        <translation>Wert außerhalb des Bereichs [-32767.0 ... 32767.0]</translation>
    </message>
    <message>
        <source>Value out of range [0 ... 12000000]</source>
        <translation>Wert außerhalb des Bereichs [0 ... 12000000]</translation>
    </message>
    <message>
        <source>Refused: %1</source>
        <translation>Abgelehnt: %1</translation>
    </message>
    <message>
        <source>GRBL has no general outputs: nothing was switched on %1.</source>
        <translation>GRBL hat keine allgemeinen Ausgänge: an %1 wurde nichts geschaltet.</translation>
    </message>
    <message>
        <source>%1: %2 refused by the controller</source>
        <translation>%1: %2 vom Controller abgelehnt</translation>
    </message>
    <message>
        <source>%1: %2 sent</source>
        <translation>%1: %2 gesendet</translation>
    </message>
    <message>
        <source>%1: sent to GRBL: %2</source>
        <translation>%1: an GRBL gesendet: %2</translation>
    </message>
    <message>
        <source>Reference run failed: %1</source>
        <translation>Referenzfahrt fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Reference run finished</source>
        <translation>Referenzfahrt beendet</translation>
    </message>
    <message>
        <source>Reference run refused by the controller</source>
        <translation>Referenzfahrt vom Controller abgelehnt</translation>
    </message>
</context>
<context>
    <name>ParameterDlgClass</name>
    <message>
        <source>ParameterDlg</source>
        <translation>ParameterDlg</translation>
    </message>
    <message>
        <source>Parameter category:</source>
        <translation>Parameterkategorie:</translation>
    </message>
    <message>
        <source>Geschwindigkeiten</source>
        <translation>Geschwindigkeiten</translation>
    </message>
    <message>
        <source>Mechanik</source>
        <translation>Mechanik</translation>
    </message>
    <message>
        <source>Motortest</source>
        <translation>Motortest</translation>
    </message>
    <message>
        <source>Referenzfahrt</source>
        <translation>Referenzfahrt</translation>
    </message>
    <message>
        <source>Schnittstelle</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>Sonstige</source>
        <translation>Sonstige</translation>
    </message>
    <message>
        <source>Stop Geschwindigkeit ( mm/s )</source>
        <translation>Stop Geschwindigkeit ( mm/s )</translation>
    </message>
    <message>
        <source>[0.01 ... 999.0]</source>
        <translation>[0.01 ... 999.0]</translation>
    </message>
    <message>
        <source>Fahrgeschwindigkeit ( mm/s )</source>
        <translation>Fahrgeschwindigkeit ( mm/s )</translation>
    </message>
    <message>
        <source>Eilgang ( mm/s )</source>
        <translation>Eilgang ( mm/s )</translation>
    </message>
    <message>
        <source>Manuelles Fahren langsam ( mm/s )</source>
        <translation>Manuelles Fahren langsam ( mm/s )</translation>
    </message>
    <message>
        <source>Manuelles Fahren schnell ( mm/s )</source>
        <translation>Manuelles Fahren schnell ( mm/s )</translation>
    </message>
    <message>
        <source>Referenzfahrt ( mm/s )</source>
        <translation>Referenzfahrt ( mm/s )</translation>
    </message>
    <message>
        <source>Referenzfahrt (frei fahren) ( mm/s )</source>
        <translation>Referenzfahrt (frei fahren) ( mm/s )</translation>
    </message>
    <message>
        <source>Beschleunigung  ( mm/s*s )</source>
        <translation>Beschleunigung  ( mm/s*s )</translation>
    </message>
    <message>
        <source>[1 ... 999]</source>
        <translation>[1 ... 999]</translation>
    </message>
    <message>
        <source>Noch nicht verwendet</source>
        <translation>Noch nicht verwendet</translation>
    </message>
    <message>
        <source>Bremswinkel  ( grad )</source>
        <translation>Bremswinkel  ( grad )</translation>
    </message>
    <message>
        <source>[0 ...45]</source>
        <translation>[0 ...45]</translation>
    </message>
    <message>
        <source>Umschaltzeit ( ms )</source>
        <translation>Umschaltzeit ( ms )</translation>
    </message>
    <message>
        <source>[0 ... 1000]</source>
        <translation>[0 ... 1000]</translation>
    </message>
    <message>
        <source>Auflösung</source>
        <translation>Auflösung</translation>
    </message>
    <message>
        <source>X ( Schritte/mm ) :</source>
        <translation>X ( Schritte/mm ) :</translation>
    </message>
    <message>
        <source>Y ( Schritte/mm ) :</source>
        <translation>Y ( Schritte/mm ) :</translation>
    </message>
    <message>
        <source>Z ( Schritte/mm ) :</source>
        <translation>Z ( Schritte/mm ) :</translation>
    </message>
    <message>
        <source>C ( Schritte/mm ) :</source>
        <translation>C ( Schritte/mm ) :</translation>
    </message>
    <message>
        <source>[0.1 ... 999.0]</source>
        <translation>[0.1 ... 999.0]</translation>
    </message>
    <message>
        <source>Umkehrspiel</source>
        <translation>Umkehrspiel</translation>
    </message>
    <message>
        <source>X ( Schritte ) :</source>
        <translation>X ( Schritte ) :</translation>
    </message>
    <message>
        <source>Y ( Schritte ) :</source>
        <translation>Y ( Schritte ) :</translation>
    </message>
    <message>
        <source>Z ( Schritte ) :</source>
        <translation>Z ( Schritte ) :</translation>
    </message>
    <message>
        <source>C ( Schritte ) :</source>
        <translation>C ( Schritte ) :</translation>
    </message>
    <message>
        <source>[0 ... 500]</source>
        <translation>[0 ... 500]</translation>
    </message>
    <message>
        <source>Achsenconfig</source>
        <translation>Achsenconfig</translation>
    </message>
    <message>
        <source>X :</source>
        <translation>X :</translation>
    </message>
    <message>
        <source>linear</source>
        <translation>linear</translation>
    </message>
    <message>
        <source>rotativ</source>
        <translation>rotativ</translation>
    </message>
    <message>
        <source>deaktiv</source>
        <translation>deaktiv</translation>
    </message>
    <message>
        <source>Y :</source>
        <translation>Y :</translation>
    </message>
    <message>
        <source>Z :</source>
        <translation>Z :</translation>
    </message>
    <message>
        <source>C :</source>
        <translation>C :</translation>
    </message>
    <message>
        <source>Verfahrbereich</source>
        <translation>Verfahrbereich</translation>
    </message>
    <message>
        <source>von</source>
        <translation>von</translation>
    </message>
    <message>
        <source>bis</source>
        <translation>bis</translation>
    </message>
    <message>
        <source>X ( mm ) :</source>
        <translation>X ( mm ) :</translation>
    </message>
    <message>
        <source>Y ( mm ) :</source>
        <translation>Y ( mm ) :</translation>
    </message>
    <message>
        <source>Z ( mm ) :</source>
        <translation>Z ( mm ) :</translation>
    </message>
    <message>
        <source>C ( mm ) :</source>
        <translation>C ( mm ) :</translation>
    </message>
    <message>
        <source>[-32767 ... 32767]</source>
        <translation>[-32767 ... 32767]</translation>
    </message>
    <message>
        <source>Nullpunkt</source>
        <translation>Nullpunkt</translation>
    </message>
    <message>
        <source>Parkposition</source>
        <translation>Parkposition</translation>
    </message>
    <message>
        <source>Richtungsumkehr</source>
        <translation>Richtungsumkehr</translation>
    </message>
    <message>
        <source>Weglaenge ( Schritte )</source>
        <translation>Weglaenge ( Schritte )</translation>
    </message>
    <message>
        <source>[0 ... 65535]</source>
        <translation>[0 ... 65535]</translation>
    </message>
    <message>
        <source>Start/Stop Geschwindigkeit ( mm/s )</source>
        <translation>Start/Stop Geschwindigkeit ( mm/s )</translation>
    </message>
    <message>
        <source>Richtung und Reihenfolge</source>
        <translation>Richtung und Reihenfolge</translation>
    </message>
    <message>
        <source>1.</source>
        <translation>1.</translation>
    </message>
    <message>
        <source>2.</source>
        <translation>2.</translation>
    </message>
    <message>
        <source>3.</source>
        <translation>3.</translation>
    </message>
    <message>
        <source>4.</source>
        <translation>4.</translation>
    </message>
    <message>
        <source>X:</source>
        <translation>X:</translation>
    </message>
    <message>
        <source>positive</source>
        <translation>positive</translation>
    </message>
    <message>
        <source>negative</source>
        <translation>negative</translation>
    </message>
    <message>
        <source>wird nicht referenziert</source>
        <translation>wird nicht referenziert</translation>
    </message>
    <message>
        <source>Y:</source>
        <translation>Y:</translation>
    </message>
    <message>
        <source>Z:</source>
        <translation>Z:</translation>
    </message>
    <message>
        <source>C:</source>
        <translation>C:</translation>
    </message>
    <message>
        <source>Endschalteraktivierung</source>
        <translation>Endschalteraktivierung</translation>
    </message>
    <message>
        <source>Referenzpunkt</source>
        <translation>Referenzpunkt</translation>
    </message>
    <message>
        <source>Endschalter</source>
        <translation>Endschalter</translation>
    </message>
    <message>
        <source>Zusatzsignal Spindel</source>
        <translation>Zusatzsignal Spindel</translation>
    </message>
    <message>
        <source>Low aktiv</source>
        <translation>Low aktiv</translation>
    </message>
    <message>
        <source>High aktiv</source>
        <translation>High aktiv</translation>
    </message>
    <message>
        <source>Zusatzsignal Kühlung</source>
        <translation>Zusatzsignal Kühlung</translation>
    </message>
    <message>
        <source>Zusatzsignal Stromabsenkung</source>
        <translation>Zusatzsignal Stromabsenkung</translation>
    </message>
    <message>
        <source>Zusatzsignal Boost</source>
        <translation>Zusatzsignal Boost</translation>
    </message>
    <message>
        <source>Werkzeugwechsel</source>
        <translation>Werkzeugwechsel</translation>
    </message>
    <message>
        <source>ignorieren</source>
        <translation>ignorieren</translation>
    </message>
    <message>
        <source>an Parkposition</source>
        <translation>an Parkposition</translation>
    </message>
    <message>
        <source>an aktueller Position</source>
        <translation>an aktueller Position</translation>
    </message>
    <message>
        <source>nur Parameter übernehmen</source>
        <translation>nur Parameter übernehmen</translation>
    </message>
    <message>
        <source>Referenzfahrt Zeitpunkt</source>
        <translation>Referenzfahrt Zeitpunkt</translation>
    </message>
    <message>
        <source>nur Manuell</source>
        <translation>nur Manuell</translation>
    </message>
    <message>
        <source>nur beim Einschalten</source>
        <translation>nur beim Einschalten</translation>
    </message>
    <message>
        <source>zusätzlich vor Programmstart</source>
        <translation>zusätzlich vor Programmstart</translation>
    </message>
    <message>
        <source>Spindelhochlauf ( Zeit in ms )</source>
        <translation>Spindelhochlauf ( Zeit in ms )</translation>
    </message>
    <message>
        <source>[0 ... 5000]</source>
        <translation>[0 ... 5000]</translation>
    </message>
    <message>
        <source>Werkzeuganschnitt ( Zeit in ms )</source>
        <translation>Werkzeuganschnitt ( Zeit in ms )</translation>
    </message>
    <message>
        <source>Unbekannte Programmbefele</source>
        <translation>Unbekannte Programmbefele</translation>
    </message>
    <message>
        <source>abbrechen</source>
        <translation>abbrechen</translation>
    </message>
    <message>
        <source>fragen</source>
        <translation>fragen</translation>
    </message>
    <message>
        <source>Sicherheitsabstand ( mm )</source>
        <translation>Sicherheitsabstand ( mm )</translation>
    </message>
    <message>
        <source>[0 ... 255]</source>
        <translation>[0 ... 255]</translation>
    </message>
    <message>
        <source>Weitere</source>
        <translation>Weitere</translation>
    </message>
    <message>
        <source>Controllername</source>
        <translation>Controllername</translation>
    </message>
    <message>
        <source>Value out of range</source>
        <translation>Wert außerhalb des Bereichs</translation>
    </message>
</context>
<context>
    <name>PortsDlg</name>
    <message>
        <source>Ports</source>
        <translation>Ports</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Controller</source>
        <translation>Controller</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Built-in simulator</source>
        <translation>Eingebauter Simulator</translation>
    </message>
    <message>
        <source>Kavro controller on a device</source>
        <translation>Kavro-Controller an einem Gerät</translation>
    </message>
    <message>
        <source>GRBL controller on a device</source>
        <translation>GRBL-Controller an einem Gerät</translation>
    </message>
    <message>
        <source>device path</source>
        <translation>Gerätepfad</translation>
    </message>
    <message>
        <source>device not found</source>
        <translation>Gerät nicht gefunden</translation>
    </message>
    <message>
        <source>Unmapped ports are served by the built-in simulator. A connected controller keeps its device until it is reconnected.</source>
        <translation>Nicht zugeordnete Ports bedient der eingebaute Simulator. Ein verbundener Controller behält sein Gerät, bis er neu verbunden wird.</translation>
    </message>
    <message>
        <source>Enter the device path for %1</source>
        <translation>Geben Sie den Gerätepfad für %1 ein</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>VID:PID</source>
        <translation>VID:PID</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>Use Adapter</source>
        <translation>Adapter verwenden</translation>
    </message>
    <message>
        <source>Detect</source>
        <translation>Erkennen</translation>
    </message>
    <message>
        <source>Asks the selected device for a GRBL controller&apos;s welcome</source>
        <translation>Fragt das gewählte Gerät nach der Begrüßung einer GRBL-Steuerung</translation>
    </message>
    <message>
        <source>Selected device for</source>
        <translation>Gewähltes Gerät für</translation>
    </message>
    <message>
        <source>Serial devices</source>
        <translation>Serielle Geräte</translation>
    </message>
    <message>
        <source>adapter not connected</source>
        <translation>Adapter nicht angeschlossen</translation>
    </message>
    <message>
        <source>Select a device in the list first</source>
        <translation>Zuerst ein Gerät in der Liste wählen</translation>
    </message>
    <message>
        <source>Asking %1 for a GRBL controller...</source>
        <translation>Frage %1 nach einer GRBL-Steuerung...</translation>
    </message>
    <message>
        <source>%1 answers: %2. %3 is mapped to it.</source>
        <translation>%1 antwortet: %2. %3 ist ihm zugeordnet.</translation>
    </message>
    <message>
        <source>No GRBL controller on %1: %2</source>
        <translation>Keine GRBL-Steuerung an %1: %2</translation>
    </message>
</context>
<context>
    <name>ProgramPreview</name>
    <message>
        <source>No program to preview.</source>
        <translation>Kein Programm für die Vorschau.</translation>
    </message>
    <message>
        <source>Z %1 to %2 mm</source>
        <translation>Z %1 bis %2 mm</translation>
    </message>
    <message>
        <source>Z %1 mm</source>
        <translation>Z %1 mm</translation>
    </message>
    <message>
        <source>%1 mm</source>
        <translation>%1 mm</translation>
    </message>
    <message>
        <source>(%1 more)</source>
        <translation>(%1 weitere)</translation>
    </message>
</context>
<context>
    <name>RamProgrammDlgClass</name>
    <message>
        <source>RamProgrammDlg</source>
        <translation>RamProgrammDlg</translation>
    </message>
    <message>
        <source>Programm Nummer</source>
        <translation>Programm Nummer</translation>
    </message>
    <message>
        <source>RAM1</source>
        <translation>RAM1</translation>
    </message>
    <message>
        <source>RAM2</source>
        <translation>RAM2</translation>
    </message>
    <message>
        <source>RAM3</source>
        <translation>RAM3</translation>
    </message>
    <message>
        <source>RAM4</source>
        <translation>RAM4</translation>
    </message>
    <message>
        <source>Anzahl Start</source>
        <translation>Anzahl Start</translation>
    </message>
    <message>
        <source>unendlich</source>
        <translation>unendlich</translation>
    </message>
</context>
<context>
    <name>ShopTile</name>
    <message>
        <source>Job</source>
        <translation>Auftrag</translation>
    </message>
    <message>
        <source>%1 of %2 lines</source>
        <translation>%1 von %2 Zeilen</translation>
    </message>
    <message>
        <source>, %1 left</source>
        <translation>, noch %1</translation>
    </message>
</context>
<context>
    <name>ShopView</name>
    <message>
        <source>Disconnected</source>
        <translation>Getrennt</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Läuft</translation>
    </message>
    <message>
        <source>Hold</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Tool change</source>
        <translation>Werkzeugwechsel</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Alarm</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>Completed</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Gestoppt</translation>
    </message>
    <message>
        <source>Insert tool T%1</source>
        <translation>Werkzeug T%1 einsetzen</translation>
    </message>
    <message>
        <source>Line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
</context>
<context>
    <name>StatusWnd</name>
    <message>
        <source>Aktuelle Position</source>
        <translation>Aktuelle Position</translation>
    </message>
    <message>
        <source>X:</source>
        <translation>X:</translation>
    </message>
    <message>
        <source>Y:</source>
        <translation>Y:</translation>
    </message>
    <message>
        <source>Z:</source>
        <translation>Z:</translation>
    </message>
    <message>
        <source>C:</source>
        <translation>C:</translation>
    </message>
    <message>
        <source>Allgemeine Ausgänge</source>
        <translation>Allgemeine Ausgänge</translation>
    </message>
    <message>
        <source>Allgemeine Eingänge</source>
        <translation>Allgemeine Eingänge</translation>
    </message>
    <message>
        <source>Ausgänge</source>
        <translation>Ausgänge</translation>
    </message>
    <message>
        <source>Kühlung</source>
        <translation>Kühlung</translation>
    </message>
    <message>
        <source>Spindel</source>
        <translation>Spindel</translation>
    </message>
    <message>
        <source>Eingänge</source>
        <translation>Eingänge</translation>
    </message>
    <message>
        <source>J3</source>
        <translation>J3</translation>
    </message>
    <message>
        <source>J2</source>
        <translation>J2</translation>
    </message>
    <message>
        <source>J1</source>
        <translation>J1</translation>
    </message>
    <message>
        <source>Joystick 1 Ausgang</source>
        <translation>Joystick 1 Ausgang</translation>
    </message>
    <message>
        <source>Not</source>
        <translation>Not</translation>
    </message>
    <message>
        <source>EndC</source>
        <translation>EndC</translation>
    </message>
    <message>
        <source>EndZ</source>
        <translation>EndZ</translation>
    </message>
    <message>
        <source>EndY</source>
        <translation>EndY</translation>
    </message>
    <message>
        <source>EndX</source>
        <translation>EndX</translation>
    </message>
    <message>
        <source>Befehlspuffer Füllstand</source>
        <translation>Befehlspuffer Füllstand</translation>
    </message>
    <message>
        <source>Befehlspufferfüllstand</source>
        <translation>Befehlspufferfüllstand</translation>
    </message>
    <message>
        <source>RAM%1, pass %2, %3</source>
        <translation>RAM%1, Durchlauf %2, %3</translation>
    </message>
    <message>
        <source>endless</source>
        <translation>endlos</translation>
    </message>
    <message>
        <source>RAM%1, pass %2 of %3</source>
        <translation>RAM%1, Durchlauf %2 von %3</translation>
    </message>
</context>
<context>
    <name>TarvoController</name>
    <message>
        <source>Error open COM port</source>
        <translation>Fehler beim Öffnen des COM-Ports</translation>
    </message>
    <message>
        <source>Device is not recognized as controller</source>
        <translation>Das Gerät wird nicht als Controller erkannt</translation>
    </message>
    <message>
        <source>No controller found</source>
        <translation>Kein Controller gefunden</translation>
    </message>
    <message>
        <source>No controller with given name is found</source>
        <translation>Kein Controller mit dem angegebenen Namen gefunden</translation>
    </message>
</context>
<context>
    <name>WorkCoordsPanel</name>
    <message>
        <source>Work coordinates</source>
        <translation>Werkstückkoordinaten</translation>
    </message>
    <message>
        <source>Machine</source>
        <translation>Maschine</translation>
    </message>
    <message>
        <source>Work</source>
        <translation>Werkstück</translation>
    </message>
    <message>
        <source>Zero X</source>
        <translation>X nullen</translation>
    </message>
    <message>
        <source>Zero Y</source>
        <translation>Y nullen</translation>
    </message>
    <message>
        <source>Zero Z</source>
        <translation>Z nullen</translation>
    </message>
    <message>
        <source>Zero all</source>
        <translation>Alle nullen</translation>
    </message>
    <message>
        <source>The current position becomes the work zero</source>
        <translation>Die aktuelle Position wird zum Werkstücknullpunkt</translation>
    </message>
    <message>
        <source>Go to zero</source>
        <translation>Nullpunkt anfahren</translation>
    </message>
    <message>
        <source>Rapid to the work zero: X and Y, then Z (Z first when it stands below zero)</source>
        <translation>Eilgang zum Werkstücknullpunkt: X und Y, dann Z (Z zuerst, wenn es unter null steht)</translation>
    </message>
    <message>
        <source>%1 steps</source>
        <translation>%1 Schritte</translation>
    </message>
    <message>
        <source>%1 offset: X %2  Y %3  Z %4</source>
        <translation>%1-Versatz: X %2  Y %3  Z %4</translation>
    </message>
    <message>
        <source>Work system %1</source>
        <translation>Koordinatensystem %1</translation>
    </message>
    <message>
        <source>Zero point: %1</source>
        <translation>Nullpunkt: %1</translation>
    </message>
    <message>
        <source>%1 refused: the machine must be at rest, without an error, and no job may run.</source>
        <translation>%1 abgelehnt: die Maschine muss stillstehen, ohne Fehler, und kein Job darf laufen.</translation>
    </message>
    <message>
        <source>%1 refused: %2</source>
        <translation>%1 abgelehnt: %2</translation>
    </message>
    <message>
        <source>Zeroing</source>
        <translation>Nullen</translation>
    </message>
    <message>
        <source>Work: %1</source>
        <translation>Werkstück: %1</translation>
    </message>
</context>
<context>
    <name>toolpath::ToolpathPanel</name>
    <message>
        <source>Top</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Front</source>
        <translation>Vorne</translation>
    </message>
    <message>
        <source>Side</source>
        <translation>Seite</translation>
    </message>
    <message>
        <source>Iso</source>
        <translation>Iso</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>Einpassen</translation>
    </message>
    <message>
        <source>Building the toolpath...</source>
        <translation>Werkzeugbahn wird aufgebaut...</translation>
    </message>
    <message>
        <source>No job</source>
        <translation>Kein Auftrag</translation>
    </message>
    <message>
        <source>%L1 feed moves, %L2 rapid moves</source>
        <translation>%L1 Vorschubbewegungen, %L2 Eilgangbewegungen</translation>
    </message>
    <message>
        <source>The 3D view needs OpenGL, which is not available on this display.</source>
        <translation>Die 3D-Ansicht braucht OpenGL, das auf dieser Anzeige nicht verfügbar ist.</translation>
    </message>
</context>
</TS>
