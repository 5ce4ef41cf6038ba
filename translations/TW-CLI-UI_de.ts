<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>Accessibility</name>
    <message>
        <source>Countdown</source>
        <translation>Countdown</translation>
    </message>
    <message>
        <source>Wallet program</source>
        <translation>Wallet-Programm</translation>
    </message>
    <message>
        <source>Daemon program</source>
        <translation>Daemon-Programm</translation>
    </message>
    <message>
        <source>Client program</source>
        <translation>Client-Programm</translation>
    </message>
    <message>
        <source>External file</source>
        <translation>Externe Datei</translation>
    </message>
    <message>
        <source>Command to run</source>
        <translation>Auszuführender Befehl</translation>
    </message>
    <message>
        <source>Path separator</source>
        <translation>Pfadtrenner</translation>
    </message>
    <message>
        <source>Blank</source>
        <translation>Leerzeichen</translation>
    </message>
    <message>
        <source>Quote</source>
        <translation>Anführungszeichen</translation>
    </message>
    <message>
        <source>Call</source>
        <translation>Aufruf</translation>
    </message>
    <message>
        <source>Configuration option</source>
        <translation>Konfigurationsoption</translation>
    </message>
    <message>
        <source>Stop command</source>
        <translation>Stoppbefehl</translation>
    </message>
    <message>
        <source>Block-count command and log redirection</source>
        <translation>Blockzahl-Befehl und Umleitung ins Protokoll</translation>
    </message>
    <message>
        <source>Connection-count command and log redirection</source>
        <translation>Verbindungszahl-Befehl und Umleitung ins Protokoll</translation>
    </message>
    <message>
        <source>Daemon option</source>
        <translation>Daemon-Option</translation>
    </message>
    <message>
        <source>Stop batch file name</source>
        <translation>Name der Stopp-Batchdatei</translation>
    </message>
    <message>
        <source>Block-count batch file name</source>
        <translation>Name der Blockzahl-Batchdatei</translation>
    </message>
    <message>
        <source>Connection-count batch file name</source>
        <translation>Name der Verbindungszahl-Batchdatei</translation>
    </message>
    <message>
        <source>Block-count log file name</source>
        <translation>Name des Blockzahl-Protokolls</translation>
    </message>
    <message>
        <source>Connection-count log file name</source>
        <translation>Name des Verbindungszahl-Protokolls</translation>
    </message>
    <message>
        <source>Stop batch file path</source>
        <translation>Pfad der Stopp-Batchdatei</translation>
    </message>
    <message>
        <source>Block-count batch file path</source>
        <translation>Pfad der Blockzahl-Batchdatei</translation>
    </message>
    <message>
        <source>Connection-count batch file path</source>
        <translation>Pfad der Verbindungszahl-Batchdatei</translation>
    </message>
    <message>
        <source>Block-count log file path</source>
        <translation>Pfad des Blockzahl-Protokolls</translation>
    </message>
    <message>
        <source>Connection-count log file path</source>
        <translation>Pfad des Verbindungszahl-Protokolls</translation>
    </message>
</context>
<context>
    <name>AlertsDialog</name>
    <message>
        <source>TW-CLI-UI – Alerts and monitoring – %1</source>
        <translation>TW-CLI-UI – Alarme und Überwachung – %1</translation>
    </message>
    <message>
        <source>Alert me when the node stalls or its queries fail</source>
        <translation>Alarm geben, wenn der Knoten steht oder seine Abfragen fehlschlagen</translation>
    </message>
    <message>
        <source> min</source>
        <translation> min</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keiner</translation>
    </message>
    <message>
        <source>off, e.g. 127.0.0.1:9333</source>
        <translation>aus, z. B. 127.0.0.1:9333</translation>
    </message>
    <message>
        <source>off, e.g. /var/lib/prometheus/node-exporter</source>
        <translation>aus, z. B. /var/lib/prometheus/node-exporter</translation>
    </message>
    <message>
        <source>off, e.g. https://ntfy.sh/my-node-alerts</source>
        <translation>aus, z. B. https://ntfy.sh/my-node-alerts</translation>
    </message>
    <message>
        <source>off, e.g. http://127.0.0.1:9093</source>
        <translation>aus, z. B. http://127.0.0.1:9093</translation>
    </message>
    <message>
        <source>Block count unchanged for</source>
        <translation>Blockzahl unverändert seit</translation>
    </message>
    <message>
        <source>Not while the node is catching up (headers ahead, or its initial download).</source>
        <translation>Nicht, solange der Knoten aufholt (Header voraus oder erste Synchronisation).</translation>
    </message>
    <message>
        <source>Failed queries in a row</source>
        <translation>Fehlgeschlagene Abfragen in Folge</translation>
    </message>
    <message>
        <source>Alert command</source>
        <translation>Alarmbefehl</translation>
    </message>
    <message>
        <source>Started like the command of “Also Run Command When BlockCount Changes”. Empty: no command.</source>
        <translation>Wird wie der Befehl von „Bei neuem Block auch Befehl ausführen“ gestartet. Leer: kein Befehl.</translation>
    </message>
    <message>
        <source>Alert webhook</source>
        <translation>Alarm-Webhook</translation>
    </message>
    <message>
        <source>Each alert and all-clear is posted there as JSON (http or https): a phone push service or a chat relay. Empty: off.</source>
        <translation>Jeder Alarm und jede Entwarnung wird dorthin als JSON gesendet (http oder https): an einen Push-Dienst fürs Telefon oder ein Chat-Relay. Leer: aus.</translation>
    </message>
    <message>
        <source>Alertmanager</source>
        <translation>Alertmanager</translation>
    </message>
    <message>
        <source>Alertmanager&apos;s address: alerts are sent to its /api/v2/alerts and re-sent every minute while they last. Empty: off.</source>
        <translation>Adresse des Alertmanagers: Alarme gehen an dessen /api/v2/alerts und werden jede Minute erneut gesendet, solange sie andauern. Leer: aus.</translation>
    </message>
    <message>
        <source>&lt;b&gt;Monitoring&lt;/b&gt; (whether or not alerts are on)</source>
        <translation>&lt;b&gt;Überwachung&lt;/b&gt; (ob Alarme an sind oder nicht)</translation>
    </message>
    <message>
        <source>Metrics endpoint</source>
        <translation>Metrik-Endpunkt</translation>
    </message>
    <message>
        <source>host:port where Prometheus scrapes /metrics; each configuration needs a port of its own. Empty: off.</source>
        <translation>host:port, an dem Prometheus /metrics abruft; jede Konfiguration braucht einen eigenen Port. Leer: aus.</translation>
    </message>
    <message>
        <source>Metrics file folder</source>
        <translation>Ordner der Metrikdatei</translation>
    </message>
    <message>
        <source>After each answer the panel writes &lt;name&gt;.prom there, for node_exporter&apos;s textfile collector. Empty: off.</source>
        <translation>Nach jeder Antwort schreibt das Panel dort &lt;name&gt;.prom für den Textfile-Collector von node_exporter. Leer: aus.</translation>
    </message>
    <message>
        <source>Stop the node when I log off or shut down</source>
        <translation>Knoten beim Abmelden oder Herunterfahren stoppen</translation>
    </message>
    <message>
        <source>&lt;b&gt;When the session ends&lt;/b&gt;</source>
        <translation>&lt;b&gt;Am Ende der Sitzung&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Runs the stop batch file, then waits up to 10 minutes for the wallet and the daemon named in the settings to exit before the session or the machine ends. Not when the machine goes to sleep.</source>
        <translation>Führt die Stopp-Batchdatei aus und wartet dann bis zu 10 Minuten, bis das Wallet und der Daemon aus den Einstellungen beendet sind, bevor die Sitzung oder der Rechner endet. Nicht, wenn der Rechner in den Energiesparmodus geht.</translation>
    </message>
</context>
<context>
    <name>Automation</name>
    <message>
        <source>cycle fired</source>
        <translation>Zyklus ausgelöst</translation>
    </message>
    <message>
        <source>sending the stop command</source>
        <translation>Stoppbefehl wird gesendet</translation>
    </message>
    <message>
        <source>stop command sent</source>
        <translation>Stoppbefehl gesendet</translation>
    </message>
    <message>
        <source>closing</source>
        <translation>wird geschlossen</translation>
    </message>
    <message>
        <source>counting down</source>
        <translation>Countdown läuft</translation>
    </message>
    <message>
        <source>waiting for the wallet and the daemon to exit</source>
        <translation>wartet, bis Wallet und Daemon beendet sind</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>running</source>
        <translation>läuft</translation>
    </message>
    <message>
        <source>not running</source>
        <translation>läuft nicht</translation>
    </message>
    <message>
        <source>finished, closing</source>
        <translation>fertig, wird geschlossen</translation>
    </message>
</context>
<context>
    <name>ChainPoll</name>
    <message>
        <source>the answer was not a number</source>
        <translation>die Antwort war keine Zahl</translation>
    </message>
    <message>
        <source>batch file not started</source>
        <translation>Batch-Datei nicht gestartet</translation>
    </message>
    <message>
        <source>log unreadable</source>
        <translation>Protokoll nicht lesbar</translation>
    </message>
    <message>
        <source>log missing</source>
        <translation>Protokoll fehlt</translation>
    </message>
    <message>
        <source>log not updated by the query</source>
        <translation>Protokoll von der Abfrage nicht aktualisiert</translation>
    </message>
    <message>
        <source>log empty</source>
        <translation>Protokoll leer</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>keine Antwort</translation>
    </message>
    <message>
        <source>query requested</source>
        <translation>Abfrage angefordert</translation>
    </message>
    <message>
        <source>query running</source>
        <translation>Abfrage läuft</translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>fehlgeschlagen: %1</translation>
    </message>
</context>
<context>
    <name>HealthMonitor</name>
    <message>
        <source>1 minute</source>
        <translation>1 Minute</translation>
    </message>
    <message>
        <source>%L1 minutes</source>
        <translation>%L1 Minuten</translation>
    </message>
    <message>
        <source>Block count: %L1 (%2)</source>
        <translation>Blockzahl: %L1 (%2)</translation>
    </message>
    <message>
        <source>Block count: – (no answer yet)</source>
        <translation>Blockzahl: – (noch keine Antwort)</translation>
    </message>
    <message>
        <source>Connections: %L1 (%2)</source>
        <translation>Verbindungen: %L1 (%2)</translation>
    </message>
    <message>
        <source>Block-count query failed: </source>
        <translation>Blockzahl-Abfrage fehlgeschlagen: </translation>
    </message>
    <message>
        <source>Connection-count query failed: </source>
        <translation>Verbindungszahl-Abfrage fehlgeschlagen: </translation>
    </message>
    <message>
        <source>No new block since </source>
        <translation>Kein neuer Block seit </translation>
    </message>
    <message>
        <source>Node warning: </source>
        <translation>Knotenwarnung: </translation>
    </message>
    <message>
        <source>Node moving again</source>
        <translation>Knoten läuft wieder</translation>
    </message>
    <message>
        <source>The block count rose to %L1 after %2 at %L3.</source>
        <translation>Die Blockzahl stieg nach %2 von %L3 auf %L1.</translation>
    </message>
    <message>
        <source>Node stalled</source>
        <translation>Knoten steht</translation>
    </message>
    <message>
        <source>The block count has stayed at %L1 (the node&apos;s tip is %2).</source>
        <translation>Die Blockzahl bleibt bei %L1 (die Kettenspitze des Knotens ist %2).</translation>
    </message>
    <message>
        <source>The block count has stayed at %L1 for %2.</source>
        <translation>Die Blockzahl bleibt seit %2 bei %L1.</translation>
    </message>
    <message>
        <source>The node is catching up (block %L1).</source>
        <translation>Der Knoten holt auf (Block %L1).</translation>
    </message>
    <message>
        <source>The node&apos;s tip is recent again (block %L1).</source>
        <translation>Die Kettenspitze des Knotens ist wieder aktuell (Block %L1).</translation>
    </message>
    <message>
        <source>Node warning</source>
        <translation>Knotenwarnung</translation>
    </message>
    <message>
        <source>Node warning gone</source>
        <translation>Knotenwarnung aufgehoben</translation>
    </message>
    <message>
        <source>The node no longer warns.</source>
        <translation>Der Knoten warnt nicht mehr.</translation>
    </message>
    <message>
        <source>Node not answering</source>
        <translation>Knoten antwortet nicht</translation>
    </message>
    <message>
        <source>The last query got no answer (%1).</source>
        <translation>Die letzte Abfrage blieb ohne Antwort (%1).</translation>
    </message>
    <message>
        <source>The last %L1 queries got no answer (the last: %2).</source>
        <translation>Die letzten %L1 Abfragen blieben ohne Antwort (die letzte: %2).</translation>
    </message>
    <message>
        <source>Node answering again</source>
        <translation>Knoten antwortet wieder</translation>
    </message>
    <message>
        <source>The node answered again after 1 failed query.</source>
        <translation>Der Knoten antwortet wieder nach einer fehlgeschlagenen Abfrage.</translation>
    </message>
    <message>
        <source>The node answered again after %L1 failed queries.</source>
        <translation>Der Knoten antwortet wieder nach %L1 fehlgeschlagenen Abfragen.</translation>
    </message>
</context>
<context>
    <name>HealthPanel</name>
    <message>
        <source>Start at login not switched on: %1</source>
        <translation>Start bei der Anmeldung nicht eingeschaltet: %1</translation>
    </message>
    <message>
        <source>Start at login not switched off: %1</source>
        <translation>Start bei der Anmeldung nicht ausgeschaltet: %1</translation>
    </message>
</context>
<context>
    <name>HistoryChart</name>
    <message>
        <source>ddd d MMM</source>
        <comment>date format of the axis</comment>
        <translation>ddd d. MMM</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>%1 d %2 h</source>
        <translation>%1 d %2 h</translation>
    </message>
    <message>
        <source>Verification %1 %</source>
        <translation>Verifizierung %1 %</translation>
    </message>
    <message>
        <source>level with the headers</source>
        <translation>gleichauf mit den Headern</translation>
    </message>
    <message>
        <source>1 block behind the headers</source>
        <translation>1 Block hinter den Headern</translation>
    </message>
    <message>
        <source>%L1 blocks behind the headers</source>
        <translation>%L1 Blöcke hinter den Headern</translation>
    </message>
    <message>
        <source>initial download</source>
        <translation>erste Synchronisation</translation>
    </message>
    <message>
        <source>tip %1 old</source>
        <translation>Kettenspitze %1 alt</translation>
    </message>
    <message>
        <source>about %1 left</source>
        <translation>noch etwa %1</translation>
    </message>
    <message>
        <source>No block count in this range.</source>
        <translation>Keine Blockzahl in diesem Zeitraum.</translation>
    </message>
    <message>
        <source>The block count did not change in this range.</source>
        <translation>Die Blockzahl hat sich in diesem Zeitraum nicht geändert.</translation>
    </message>
    <message>
        <source>Last change %1 (%2 ago)</source>
        <translation>Letzte Änderung %1 (vor %2)</translation>
    </message>
    <message>
        <source>; one change, no interval yet.</source>
        <translation>; eine Änderung, noch kein Abstand.</translation>
    </message>
    <message>
        <source> · median interval %1 · longest %2 (ended %3)</source>
        <translation> · Median-Abstand %1 · längster %2 (endete %3)</translation>
    </message>
    <message>
        <source>Block count</source>
        <translation>Blockzahl</translation>
    </message>
    <message>
        <source>No block-count answers in this range</source>
        <translation>Keine Blockzahl-Antworten in diesem Zeitraum</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>Verbindungen</translation>
    </message>
    <message>
        <source>No connection answers in this range</source>
        <translation>Keine Verbindungs-Antworten in diesem Zeitraum</translation>
    </message>
    <message>
        <source>Time between block-count changes (hours)</source>
        <translation>Zeit zwischen Blockzahl-Änderungen (Stunden)</translation>
    </message>
    <message>
        <source>Time between block-count changes (minutes)</source>
        <translation>Zeit zwischen Blockzahl-Änderungen (Minuten)</translation>
    </message>
    <message>
        <source>Fewer than two block-count changes</source>
        <translation>Weniger als zwei Blockzahl-Änderungen</translation>
    </message>
    <message>
        <source>Verification progress (%)</source>
        <translation>Verifizierungsfortschritt (%)</translation>
    </message>
    <message>
        <source>·  blocks behind the headers (right)</source>
        <translation>·  Blöcke hinter den Headern (rechts)</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>TW-CLI-UI – History – %1</source>
        <translation>TW-CLI-UI – Verlauf – %1</translation>
    </message>
    <message>
        <source>Last 24 hours</source>
        <translation>Letzte 24 Stunden</translation>
    </message>
    <message>
        <source>Last 7 days</source>
        <translation>Letzte 7 Tage</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>%1, read at %2</source>
        <translation>%1, gelesen um %2</translation>
    </message>
    <message>
        <source>Not read: %1</source>
        <translation>Nicht gelesen: %1</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>Zeitraum</translation>
    </message>
    <message>
        <source>History chart</source>
        <translation>Verlaufsdiagramm</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Auto Start</source>
        <translation>Autostart</translation>
    </message>
    <message>
        <source>Always On Top</source>
        <translation>Immer oben</translation>
    </message>
    <message>
        <source>AutoSend STOP Command</source>
        <translation>STOP-Befehl automatisch</translation>
    </message>
    <message>
        <source>Auto Close</source>
        <translation>Auto-Ende</translation>
    </message>
    <message>
        <source>Auto GetBlockCount Every 60 Seconds</source>
        <translation>GetBlockCount automatisch alle 60 Sekunden</translation>
    </message>
    <message>
        <source>Auto GetConnectionCount Every 60 Seconds</source>
        <translation>GetConnectionCount automatisch alle 60 Sekunden</translation>
    </message>
    <message>
        <source>Current Block:</source>
        <translation>Aktueller Block:</translation>
    </message>
    <message>
        <source>Connections:</source>
        <translation>Verbindungen:</translation>
    </message>
    <message>
        <source>!!! NOT MONITORING !!!</source>
        <translation>!!! KEINE ÜBERWACHUNG !!!</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einrichten</translation>
    </message>
    <message>
        <source>SHUTDOWN DAEMON / QT</source>
        <translation>DAEMON / QT BEENDEN</translation>
    </message>
    <message>
        <source>START- STOP</source>
        <translation>START- STOPP</translation>
    </message>
    <message>
        <source>&quot;P-4-P&quot; Before Exit</source>
        <translation>&quot;P-4-P&quot; vor Ende</translation>
    </message>
    <message>
        <source>Also Update External File When BlockCount Changes</source>
        <translation>Bei neuem Block auch externe Datei aktualisieren</translation>
    </message>
    <message>
        <source>Also Run Command When BlockCount Changes</source>
        <translation>Bei neuem Block auch Befehl ausführen</translation>
    </message>
    <message>
        <source>Last failure: </source>
        <translation>Letzter Fehler: </translation>
    </message>
    <message>
        <source>!!! CLI RUNNING !!!</source>
        <translation>!!! CLI LÄUFT !!!</translation>
    </message>
    <message>
        <source>!!! CLI NOT RUNNING !!!</source>
        <translation>!!! CLI LÄUFT NICHT !!!</translation>
    </message>
    <message>
        <source>!!! QT STILL RUNNING !!!</source>
        <translation>!!! QT LÄUFT NOCH !!!</translation>
    </message>
    <message>
        <source>!!! DAEMON STILL RUNNING !!!</source>
        <translation>!!! DAEMON LÄUFT NOCH !!!</translation>
    </message>
    <message>
        <source>!!! FINISHED - AUTOCLOSING !!!</source>
        <translation>!!! FERTIG - WIRD GESCHLOSSEN !!!</translation>
    </message>
    <message>
        <source>START</source>
        <translation>START</translation>
    </message>
    <message>
        <source>STOP</source>
        <translation>STOPP</translation>
    </message>
    <message>
        <source>Saved setting, copied here from the settings window by Save To Registry</source>
        <translation>Gespeicherte Einstellung, von „In Registry sichern“ aus dem Einstellungsfenster hierher übernommen</translation>
    </message>
    <message>
        <source>counting down</source>
        <translation>Countdown läuft</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>angehalten</translation>
    </message>
</context>
<context>
    <name>NodeCheck</name>
    <message>
        <source>no answer: %1</source>
        <translation>keine Antwort: %1</translation>
    </message>
    <message>
        <source>the client wrote no block count</source>
        <translation>der Client schrieb keine Blockzahl</translation>
    </message>
    <message>
        <source>initial download</source>
        <translation>erste Synchronisation</translation>
    </message>
    <message>
        <source>catching up</source>
        <translation>holt auf</translation>
    </message>
    <message>
        <source>stalled</source>
        <translation>steht</translation>
    </message>
    <message>
        <source>no peers</source>
        <translation>keine Gegenstellen</translation>
    </message>
    <message>
        <source>block %1 of %2</source>
        <translation>Block %1 von %2</translation>
    </message>
    <message>
        <source>block %1</source>
        <translation>Block %1</translation>
    </message>
    <message>
        <source>, 1 peer</source>
        <translation>, 1 Gegenstelle</translation>
    </message>
    <message>
        <source>, %1 peers</source>
        <translation>, %1 Gegenstellen</translation>
    </message>
    <message>
        <source>, tip %1</source>
        <translation>, Kettenspitze %1</translation>
    </message>
    <message>
        <source>no block-count batch file is configured (Settings, Save To .BAT Files)</source>
        <translation>keine Batch-Datei für die Blockzahl eingerichtet (Einrichten, In .BAT sichern)</translation>
    </message>
    <message>
        <source>unknown argument %1 (usage: %2 --check)</source>
        <translation>unbekanntes Argument %1 (Aufruf: %2 --check)</translation>
    </message>
</context>
<context>
    <name>NodeCommand</name>
    <message>
        <source>%1 is there and is no link to the program; left alone</source>
        <translation>%1 ist vorhanden und kein Link auf das Programm; bleibt unberührt</translation>
    </message>
    <message>
        <source>there is no node &quot;%1&quot; (--list-nodes shows the names made)</source>
        <translation>es gibt keinen Knoten „%1“ (--list-nodes zeigt die angelegten Namen)</translation>
    </message>
    <message>
        <source>TW-CLI-UI-%1 is ready: %2 and its menu entry</source>
        <translation>TW-CLI-UI-%1 ist bereit: %2 und sein Menüeintrag</translation>
    </message>
    <message>
        <source>note: %1 is a copy, as its drive takes no hard link: add the node again after each update of the program</source>
        <translation>Hinweis: %1 ist eine Kopie, da sein Laufwerk keine festen Links kennt: legen Sie den Knoten nach jedem Update des Programms neu an</translation>
    </message>
    <message>
        <source>note: %1 is not on your PATH; the menu entry works all the same</source>
        <translation>Hinweis: %1 ist nicht in Ihrem PATH; der Menüeintrag funktioniert trotzdem</translation>
    </message>
    <message>
        <source>TW-CLI-UI-%1 removed (its settings stay, under the name TW-CLI-UI-%1)</source>
        <translation>TW-CLI-UI-%1 entfernt (seine Einstellungen bleiben, unter dem Namen TW-CLI-UI-%1)</translation>
    </message>
    <message>
        <source>%1 (starts at login)</source>
        <translation>%1 (startet bei der Anmeldung)</translation>
    </message>
    <message>
        <source>there is no TW-CLI-UI-%1 at %2 (--add-node %1 makes it)</source>
        <translation>es gibt kein TW-CLI-UI-%1 unter %2 (--add-node %1 legt es an)</translation>
    </message>
    <message>
        <source>TW-CLI-UI-%1 starts at login</source>
        <translation>TW-CLI-UI-%1 startet bei der Anmeldung</translation>
    </message>
    <message>
        <source>TW-CLI-UI-%1 no longer starts at login</source>
        <translation>TW-CLI-UI-%1 startet nicht mehr bei der Anmeldung</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no usable name: letters, digits, &quot;.&quot;, &quot;_&quot; and &quot;-&quot; only, starting with a letter or digit, at most %2 characters</source>
        <translation>„%1“ ist kein brauchbarer Name: nur Buchstaben, Ziffern, „.“, „_“ und „-“, am Anfang ein Buchstabe oder eine Ziffer, höchstens %2 Zeichen</translation>
    </message>
</context>
<context>
    <name>NodeText</name>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nein</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 h</translation>
    </message>
    <message>
        <source>%1 days</source>
        <translation>%1 Tage</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>initial download</source>
        <translation>erste Synchronisation</translation>
    </message>
    <message>
        <source>about %1 left</source>
        <translation>noch etwa %1</translation>
    </message>
    <message>
        <source>%1 old</source>
        <translation>%1 alt</translation>
    </message>
    <message>
        <source>%1 peers (%2 in, %3 out)</source>
        <translation>%1 Gegenstellen (%2 eingehend, %3 ausgehend)</translation>
    </message>
    <message>
        <source>%1 peers</source>
        <translation>%1 Gegenstellen</translation>
    </message>
    <message>
        <source>%1 tx</source>
        <translation>%1 Tx</translation>
    </message>
    <message>
        <source>block %1</source>
        <translation>Block %1</translation>
    </message>
    <message>
        <source>tip %1</source>
        <translation>Kettenspitze %1</translation>
    </message>
    <message>
        <source>mempool %1</source>
        <translation>Mempool %1</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>%1 (%2 in, %3 out)</source>
        <translation>%1 (%2 eingehend, %3 ausgehend)</translation>
    </message>
    <message>
        <source>Chain: </source>
        <translation>Kette: </translation>
    </message>
    <message>
        <source>Blocks: </source>
        <translation>Blöcke: </translation>
    </message>
    <message>
        <source>Headers: </source>
        <translation>Header: </translation>
    </message>
    <message>
        <source>Verification progress: </source>
        <translation>Verifizierungsfortschritt: </translation>
    </message>
    <message>
        <source>Initial block download: </source>
        <translation>Erste Synchronisation: </translation>
    </message>
    <message>
        <source>Tip time: </source>
        <translation>Zeit der Kettenspitze: </translation>
    </message>
    <message>
        <source>Size on disk: </source>
        <translation>Größe auf dem Datenträger: </translation>
    </message>
    <message>
        <source>Pruned: </source>
        <translation>Gekürzt: </translation>
    </message>
    <message>
        <source>Peers: </source>
        <translation>Gegenstellen: </translation>
    </message>
    <message>
        <source>Network active: </source>
        <translation>Netzwerk aktiv: </translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>Mempool: </source>
        <translation>Mempool: </translation>
    </message>
    <message>
        <source>Warnings: </source>
        <translation>Warnungen: </translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
</context>
<context>
    <name>NodeWindow</name>
    <message>
        <source>TW-CLI-UI - %1 - Node</source>
        <translation>TW-CLI-UI - %1 - Knoten</translation>
    </message>
    <message>
        <source>Node state</source>
        <translation>Knotenzustand</translation>
    </message>
    <message>
        <source>Node: </source>
        <translation>Knoten: </translation>
    </message>
    <message>
        <source>State as of: </source>
        <translation>Stand: </translation>
    </message>
    <message>
        <source>State as of: the node has not said yet</source>
        <translation>Stand: der Knoten hat noch nichts gemeldet</translation>
    </message>
    <message>
        <source>Sync: </source>
        <translation>Synchronisation: </translation>
    </message>
    <message>
        <source>Last failure: </source>
        <translation>Letzter Fehler: </translation>
    </message>
    <message>
        <source>none</source>
        <translation>keiner</translation>
    </message>
    <message>
        <source>State calls: </source>
        <translation>Zustandsabfragen: </translation>
    </message>
</context>
<context>
    <name>NodesWindow</name>
    <message>
        <source>no answers yet</source>
        <translation>noch keine Antworten</translation>
    </message>
    <message>
        <source>failing: </source>
        <translation>schlägt fehl: </translation>
    </message>
    <message>
        <source>syncing</source>
        <translation>synchronisiert</translation>
    </message>
    <message>
        <source>stalled %1</source>
        <translation>steht seit %1</translation>
    </message>
    <message>
        <source>answering</source>
        <translation>antwortet</translation>
    </message>
    <message>
        <source>TW-CLI-UI - Nodes</source>
        <translation>TW-CLI-UI - Alle Knoten</translation>
    </message>
    <message>
        <source>Configuration</source>
        <translation>Konfiguration</translation>
    </message>
    <message>
        <source>Block</source>
        <translation>Block</translation>
    </message>
    <message>
        <source>Headers</source>
        <translation>Header</translation>
    </message>
    <message>
        <source>Peers</source>
        <translation>Gegenstellen</translation>
    </message>
    <message>
        <source>Tip age</source>
        <translation>Alter der Kettenspitze</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Panel</source>
        <translation>Panel</translation>
    </message>
    <message>
        <source>Nodes</source>
        <translation>Alle Knoten</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Double-click a node (or press Enter) to bring its panel up or start it.</source>
        <translation>Doppelklicken Sie auf einen Knoten (oder drücken Sie die Eingabetaste), um sein Panel nach vorn zu holen oder es zu starten.</translation>
    </message>
    <message>
        <source>this panel</source>
        <translation>dieses Panel</translation>
    </message>
    <message>
        <source>asking…</source>
        <translation>wird abgefragt…</translation>
    </message>
    <message>
        <source>running</source>
        <translation>läuft</translation>
    </message>
    <message>
        <source>not running</source>
        <translation>läuft nicht</translation>
    </message>
    <message>
        <source>%1 is running: brought to the front.</source>
        <translation>%1 läuft: nach vorn geholt.</translation>
    </message>
    <message>
        <source>No program named %1 was found beside this one, in ~/.local/bin or on PATH (tw-cli-ui-node add NAME makes one).</source>
        <translation>Kein Programm namens %1 neben diesem, in ~/.local/bin oder im PATH gefunden (tw-cli-ui-node add NAME legt eines an).</translation>
    </message>
    <message>
        <source>%1 started.</source>
        <translation>%1 gestartet.</translation>
    </message>
    <message>
        <source>%1 could not be started.</source>
        <translation>%1 konnte nicht gestartet werden.</translation>
    </message>
</context>
<context>
    <name>SessionEnd</name>
    <message>
        <source>Stopping the node…</source>
        <translation>Der Knoten wird gestoppt …</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>TW-CLI-UI  FOLDER - eg C:\TARN-WICK\TW-CLI-UI\BTC</source>
        <translation>TW-CLI-UI-ORDNER - z. B. C:\TARN-WICK\TW-CLI-UI\BTC</translation>
    </message>
    <message>
        <source>CLI Folder- eg C:\Program Files\Bitcoin\Daemon</source>
        <translation>CLI-Ordner - z. B. C:\Program Files\Bitcoin\Daemon</translation>
    </message>
    <message>
        <source>WALLET.CONF - File Location - eg C:\BC-CONF\BTC\bitcoin.conf</source>
        <translation>WALLET.CONF - Dateipfad - z. B. C:\BC-CONF\BTC\bitcoin.conf</translation>
    </message>
    <message>
        <source>CLI Filename - eg bitcoin-cli.exe</source>
        <translation>CLI-Dateiname - z. B. bitcoin-cli.exe</translation>
    </message>
    <message>
        <source>Daemon</source>
        <translation>Daemon</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>!!! DISABLES ALL WALLET FUNCTIONALITY !!!</source>
        <translation>!!! SCHALTET ALLE WALLET-FUNKTIONEN AB !!!</translation>
    </message>
    <message>
        <source>Also Update External File When BlockCount Changes</source>
        <translation>Bei neuem Block auch externe Datei aktualisieren</translation>
    </message>
    <message>
        <source>Also Run Command When BlockCount Changes</source>
        <translation>Bei neuem Block auch Befehl ausführen</translation>
    </message>
    <message>
        <source>&quot;Pause-4-Process&quot; - QT / DAEMON - Before Exit</source>
        <translation>&quot;Pause-4-Process&quot; - QT / DAEMON - vor dem Beenden</translation>
    </message>
    <message>
        <source>QT - &quot;.exe&quot; FILENAME</source>
        <translation>QT - &quot;.exe&quot;-DATEINAME</translation>
    </message>
    <message>
        <source>DAEMON -  &quot;.exe&quot; FILENAME</source>
        <translation>DAEMON -  &quot;.exe&quot;-DATEINAME</translation>
    </message>
    <message>
        <source>!!! GENERATED RUN COMMAND -  CLI-UI-STOP.BAT  !!!</source>
        <translation>!!! ERZEUGTER BEFEHL -  CLI-UI-STOP.BAT  !!!</translation>
    </message>
    <message>
        <source>!!! GENERATED RUN COMMAND -  CLI-UI-GBC.BAT !!!</source>
        <translation>!!! ERZEUGTER BEFEHL -  CLI-UI-GBC.BAT !!!</translation>
    </message>
    <message>
        <source>!!! GENERATED RUN COMMAND - CLI-UI-GCC.BAT !!!</source>
        <translation>!!! ERZEUGTER BEFEHL - CLI-UI-GCC.BAT !!!</translation>
    </message>
    <message>
        <source>FOR MULTIPLE CONFIGURATIONS, COPY TO A NEW FOLDER AND NEW FILENAME, RUN, AND CONFIGURE.</source>
        <translation>FÜR MEHRERE KONFIGURATIONEN IN EINEN NEUEN ORDNER UNTER NEUEM DATEINAMEN KOPIEREN, STARTEN UND EINRICHTEN.</translation>
    </message>
    <message>
        <source>Save To Registry</source>
        <translation>In Registry sichern</translation>
    </message>
    <message>
        <source>Save To .BAT Files</source>
        <translation>In .BAT sichern</translation>
    </message>
    <message>
        <source>Always On Top</source>
        <translation>Immer oben</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>!!! ALWAYS TRY TO SAFELY SHUTDOWN DAEMON BEFORE CLOSING OUTPUT WINDOW OR YOUR BLOCKCHAIN MAY GET CORRUPTED !!!</source>
        <translation>!!! DAEMON STETS SAUBER BEENDEN, BEVOR DAS AUSGABEFENSTER SCHLIESST, SONST KANN DIE BLOCKCHAIN BESCHÄDIGT WERDEN !!!</translation>
    </message>
    <message>
        <source>TARN-WICK - TW-CLI-UI - SETTINGS</source>
        <translation>TARN-WICK - TW-CLI-UI - EINSTELLUNGEN</translation>
    </message>
    <message>
        <source>By the TW-CLI-UI contributors</source>
        <translation>Von den Mitwirkenden an TW-CLI-UI</translation>
    </message>
    <message>
        <source>MIT Licence</source>
        <translation>MIT-Lizenz</translation>
    </message>
    <message>
        <source>NOT ALL WRITTEN: %1</source>
        <translation>NICHT ALLES GESCHRIEBEN: %1</translation>
    </message>
    <message>
        <source>NOTHING WRITTEN: FILL IN THE TW-CLI-UI FOLDER, THEN SAVE TO .BAT FILES AGAIN.</source>
        <translation>NICHTS GESCHRIEBEN: ERST DEN TW-CLI-UI-ORDNER EINTRAGEN, DANN ERNEUT IN .BAT SICHERN.</translation>
    </message>
    <message>
        <source>NOTHING WRITTEN: %1</source>
        <translation>NICHTS GESCHRIEBEN: %1</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>Node…</source>
        <translation>Knoten…</translation>
    </message>
    <message>
        <source>Nodes…</source>
        <translation>Alle Knoten…</translation>
    </message>
    <message>
        <source>History…</source>
        <translation>Verlauf…</translation>
    </message>
    <message>
        <source>Alerts…</source>
        <translation>Alarme…</translation>
    </message>
    <message>
        <source>Show TW-CLI-UI</source>
        <translation>TW-CLI-UI anzeigen</translation>
    </message>
    <message>
        <source>Start at login</source>
        <translation>Bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Stop the node when I log off or shut down</source>
        <translation>Knoten beim Abmelden oder Herunterfahren stoppen</translation>
    </message>
</context>
</TS>
