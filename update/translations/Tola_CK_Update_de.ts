<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>DateText</name>
    <message>
        <source>Mo</source>
        <translation>Mo</translation>
    </message>
    <message>
        <source>Di</source>
        <translation>Di</translation>
    </message>
    <message>
        <source>Mi</source>
        <translation>Mi</translation>
    </message>
    <message>
        <source>Do</source>
        <translation>Do</translation>
    </message>
    <message>
        <source>Fr</source>
        <translation>Fr</translation>
    </message>
    <message>
        <source>Sa</source>
        <translation>Sa</translation>
    </message>
    <message>
        <source>So</source>
        <translation>So</translation>
    </message>
    <message>
        <source>Jan</source>
        <translation>Jan</translation>
    </message>
    <message>
        <source>Feb</source>
        <translation>Feb</translation>
    </message>
    <message>
        <source>Mär</source>
        <translation>Mär</translation>
    </message>
    <message>
        <source>Apr</source>
        <translation>Apr</translation>
    </message>
    <message>
        <source>Mai</source>
        <translation>Mai</translation>
    </message>
    <message>
        <source>Jun</source>
        <translation>Jun</translation>
    </message>
    <message>
        <source>Jul</source>
        <translation>Jul</translation>
    </message>
    <message>
        <source>Aug</source>
        <translation>Aug</translation>
    </message>
    <message>
        <source>Sep</source>
        <translation>Sep</translation>
    </message>
    <message>
        <source>Okt</source>
        <translation>Okt</translation>
    </message>
    <message>
        <source>Nov</source>
        <translation>Nov</translation>
    </message>
    <message>
        <source>Dez</source>
        <translation>Dez</translation>
    </message>
</context>
<context>
    <name>TfrmCkUpdate</name>
    <message>
        <source>Saving the present firmware</source>
        <translation>Bisherige Firmware wird gesichert</translation>
    </message>
    <message>
        <source>Firmware %1 saved in %2 (%3 KiB read in %4 s)</source>
        <translation>Firmware %1 gesichert in %2 (%3 KiB in %4 s gelesen)</translation>
    </message>
    <message>
        <source>Error: Missing data</source>
        <translation>Fehler: Daten fehlen</translation>
    </message>
    <message>
        <source>Update to V%1</source>
        <translation>Update auf V%1</translation>
    </message>
    <message>
        <source>Source file: </source>
        <translation>Quelldatei: </translation>
    </message>
    <message>
        <source>Target device: </source>
        <translation>Zielgerät: </translation>
    </message>
    <message>
        <source>Version number: </source>
        <translation>Versionsnummer: </translation>
    </message>
    <message>
        <source>Version date: </source>
        <translation>Versionsdatum: </translation>
    </message>
    <message>
        <source>Installed: </source>
        <translation>Installiert: </translation>
    </message>
    <message>
        <source>A %1 will be updated with %2 software.
<byte value="xd"/>Continue?</source>
        <translation>Ein %1 wird mit %2-Software aktualisiert.
<byte value="xd"/>Fortfahren?</translation>
    </message>
    <message>
        <source>PORTIVO</source>
        <translation>PORTIVO</translation>
    </message>
    <message>
        <source>SUPERNA</source>
        <translation>SUPERNA</translation>
    </message>
    <message>
        <source>Update cannot be processed.
<byte value="xd"/></source>
        <translation>Das Update kann nicht ausgeführt werden.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>The firmware image holds nothing after its header block.
<byte value="xd"/></source>
        <translation>Das Firmware-Abbild enthält nach seinem Kopfblock keine Daten.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>The firmware image holds no Chromatik® V application.
<byte value="xd"/></source>
        <translation>Das Firmware-Abbild enthält keine Chromatik® V-Anwendung.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>Error reading parameter</source>
        <translation>Fehler beim Lesen der Parameter</translation>
    </message>
    <message>
        <source>Updating</source>
        <translation>Update läuft</translation>
    </message>
    <message>
        <source>This release cannot be used for Chromatik® V.
<byte value="xd"/>Software version 503e or later is required.
<byte value="xd"/></source>
        <translation>Dieses Release kann nicht für Chromatik® V verwendet werden.
<byte value="xd"/>Softwareversion 503e oder neuer ist erforderlich.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>Update error</source>
        <translation>Update-Fehler</translation>
    </message>
    <message>
        <source>Error: Update canceled</source>
        <translation>Fehler: Update abgebrochen</translation>
    </message>
    <message>
        <source>Waiting for Chromatik reset</source>
        <translation>Warten auf den Neustart des Chromatik</translation>
    </message>
    <message>
        <source>Update completed</source>
        <translation>Update abgeschlossen</translation>
    </message>
    <message>
        <source>Reset done</source>
        <translation>Neustart erfolgt</translation>
    </message>
    <message>
        <source>Error: Verifying page %1, address 0x%2</source>
        <translation>Fehler: Prüfen von Seite %1, Adresse 0x%2</translation>
    </message>
    <message>
        <source>Error reading version.</source>
        <translation>Fehler beim Lesen der Version.</translation>
    </message>
    <message>
        <source>Error reading ROM values</source>
        <translation>Fehler beim Lesen der ROM-Werte</translation>
    </message>
    <message>
        <source>Error writing version.</source>
        <translation>Fehler beim Schreiben der Version.</translation>
    </message>
    <message>
        <source>Error writing parameter</source>
        <translation>Fehler beim Schreiben der Parameter</translation>
    </message>
    <message>
        <source>Error saving to EEPROM.</source>
        <translation>Fehler beim Speichern im EEPROM.</translation>
    </message>
    <message>
        <source>Reading setup</source>
        <translation>Setup wird gelesen</translation>
    </message>
    <message>
        <source>Read setup completed</source>
        <translation>Setup gelesen</translation>
    </message>
    <message>
        <source>Writing setup</source>
        <translation>Setup wird geschrieben</translation>
    </message>
    <message>
        <source>Write setup completed</source>
        <translation>Setup geschrieben</translation>
    </message>
    <message>
        <source>Error reading setup</source>
        <translation>Fehler beim Lesen des Setups</translation>
    </message>
    <message>
        <source>Error writing setup</source>
        <translation>Fehler beim Schreiben des Setups</translation>
    </message>
    <message>
        <source>Wrong Chromatik Processor Type.
<byte value="xd"/></source>
        <translation>Falscher Chromatik-Prozessortyp.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>This software can only be used for TOLA Chromatik® V.
<byte value="xd"/></source>
        <translation>Diese Software kann nur für TOLA Chromatik® V verwendet werden.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>Chromatik® V Updates only possible from firmware version 503e.
<byte value="xd"/></source>
        <translation>Updates des Chromatik® V sind erst ab Firmwareversion 503e möglich.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>No update required.
<byte value="xd"/>Firmware is up to date
<byte value="xd"/></source>
        <translation>Kein Update erforderlich.
<byte value="xd"/>Die Firmware ist aktuell
<byte value="xd"/></translation>
    </message>
    <message>
        <source>Release version %1 cannot be used to downdate für release Version %2.
<byte value="xd"/>Release version 504t or later is required.
<byte value="xd"/></source>
        <translation>Releaseversion %1 kann nicht für ein Downgrade von Releaseversion %2 verwendet werden.
<byte value="xd"/>Releaseversion 504t oder neuer ist erforderlich.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>Updates for Chromatik® V serial no. &gt; 58599 are only possible with firmware version 511oLE or later.
<byte value="xd"/></source>
        <translation>Updates für Chromatik® V mit Seriennr. &gt; 58599 sind nur mit Firmwareversion 511oLE oder neuer möglich.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>Updates for Chromatik® V serial no. &lt; 58600 are only possible with firmware version 509xx or lower.
<byte value="xd"/></source>
        <translation>Updates für Chromatik® V mit Seriennr. &lt; 58600 sind nur mit Firmwareversion 509xx oder älter möglich.
<byte value="xd"/></translation>
    </message>
    <message>
        <source>Remaining time: %1:%2</source>
        <translation>Restzeit: %1:%2</translation>
    </message>
    <message>
        <source>The instrument answers only as its boot loader. It may be the one of the interrupted %1: firmware %2 would be written to it and the settings of %3 restored.</source>
        <translation>Das Gerät meldet sich nur als Bootloader. Es kann das Gerät des unterbrochenen Updates sein (%1): Firmware %2 würde darauf geschrieben und die Einstellungen von %3 zurückgeschrieben.</translation>
    </message>
    <message>
        <source>The instrument answers only as its boot loader, and %1 interrupted updates could be its own.</source>
        <translation>Das Gerät meldet sich nur als Bootloader, und %1 unterbrochene Updates könnten seine eigenen sein.</translation>
    </message>
    <message>
        <source>The instrument answers only as its boot loader, and no interrupted update of a Chromatik V is known here: nothing was sent to it.</source>
        <translation>Das Gerät meldet sich nur als Bootloader, und hier ist kein unterbrochenes Update eines Chromatik V bekannt: es wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>The instrument answers only as its boot loader, and its controller (type %1) is not the one of a Chromatik V: nothing was sent to it.</source>
        <translation>Das Gerät meldet sich nur als Bootloader, und sein Controller (Typ %1) ist nicht der eines Chromatik V: es wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>instrument %1, update from %2 to %3 of %4 (%5)</source>
        <translation>Gerät %1, Update von %2 auf %3 vom %4 (%5)</translation>
    </message>
    <message>
        <source>without a serial number</source>
        <translation>ohne Seriennummer</translation>
    </message>
    <message>
        <source>an instrument without a serial number</source>
        <translation>ein Gerät ohne Seriennummer</translation>
    </message>
    <message>
        <source>Continue?</source>
        <translation>Fortfahren?</translation>
    </message>
    <message>
        <source>Which update was the instrument&apos;s own?</source>
        <translation>Welches Update war das des Geräts?</translation>
    </message>
    <message>
        <source>Nothing was sent to the instrument.</source>
        <translation>Es wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>No backup was chosen; nothing was sent to the instrument.</source>
        <translation>Keine Sicherung gewählt; es wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>The settings of instrument %1 were changed after the backup of %2, whose update to %3 stopped before anything was erased: the backup is older than the instrument&apos;s present settings.</source>
        <translation>Die Einstellungen des Geräts %1 wurden nach der Sicherung vom %2 geändert, deren Update auf %3 abbrach, bevor etwas gelöscht wurde: die Sicherung ist älter als die jetzigen Einstellungen des Geräts.</translation>
    </message>
    <message>
        <source>Keep the instrument&apos;s present settings (the backup is retired)</source>
        <translation>Die jetzigen Einstellungen des Geräts behalten (die Sicherung wird abgelegt)</translation>
    </message>
    <message>
        <source>Write the backup of %1 back</source>
        <translation>Die Sicherung vom %1 zurückschreiben</translation>
    </message>
    <message>
        <source>The instrument keeps its present settings; the older backup was retired to %1.</source>
        <translation>Das Gerät behält seine jetzigen Einstellungen; die ältere Sicherung wurde nach %1 abgelegt.</translation>
    </message>
    <message>
        <source>The settings of instrument %1 from the update of %2 (%3 to %4) are not restored yet: they are written back first.</source>
        <translation>Die Einstellungen des Geräts %1 aus dem Update vom %2 (%3 auf %4) sind noch nicht zurückgeschrieben: sie werden zuerst zurückgeschrieben.</translation>
    </message>
    <message>
        <source>The update of %1 to %2 (%3) stopped before anything was erased; the instrument still holds the settings of its backup.</source>
        <translation>Das Update von %1 auf %2 (%3) brach ab, bevor etwas gelöscht wurde; das Gerät hat noch die Einstellungen seiner Sicherung.</translation>
    </message>
    <message>
        <source>Completing the %1.</source>
        <translation>Das unterbrochene Update wird abgeschlossen: %1.</translation>
    </message>
    <message>
        <source>Another update is running (%1). Nothing was sent to the instrument.</source>
        <translation>Ein anderes Update läuft (%1). Es wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>Instrument %1 did not answer within %2 s after its restart.</source>
        <translation>Das Gerät %1 hat sich innerhalb von %2 s nach seinem Neustart nicht gemeldet.</translation>
    </message>
    <message>
        <source>Not taken for it, and nothing written to it: %1.</source>
        <translation>Nicht an seiner Stelle genommen und nichts darauf geschrieben: %1.</translation>
    </message>
    <message>
        <source>instrument %1 (device type %2) answered instead</source>
        <translation>statt dessen meldete sich Gerät %1 (Gerätetyp %2)</translation>
    </message>
</context>
<context>
    <name>TfrmDiscover</name>
    <message>
        <source>Cannot create file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht angelegt werden. %2</translation>
    </message>
</context>
<context>
    <name>U_CK_UpdateIf</name>
    <message>
        <source>Error: Deleting page %1</source>
        <translation>Fehler: Löschen von Seite %1</translation>
    </message>
    <message>
        <source>Error: Programming page %1, address 0x%2, lenth 0x%3</source>
        <translation>Fehler: Programmieren von Seite %1, Adresse 0x%2, Länge 0x%3</translation>
    </message>
    <message>
        <source>Error: Reading page %1, address 0x%2, lenth 0x%3</source>
        <translation>Fehler: Lesen von Seite %1, Adresse 0x%2, Länge 0x%3</translation>
    </message>
</context>
<context>
    <name>ckupdate::TDocumentViewer</name>
    <message>
        <source>TOLA Chromatik Updater</source>
        <translation>TOLA Chromatik Updater</translation>
    </message>
    <message>
        <source> - Display</source>
        <translation> - Anzeige</translation>
    </message>
</context>
<context>
    <name>ckupdate::TfrmAbout</name>
    <message>
        <source>TOLA Chromatik Updater</source>
        <translation>TOLA Chromatik Updater</translation>
    </message>
    <message>
        <source> - Info</source>
        <translation> - Info</translation>
    </message>
    <message>
        <source>Quality control in dentistry</source>
        <translation>Qualitätskontrolle in der Zahnmedizin</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>Copyright © 2024 %1. All rights reserved.</source>
        <translation>Copyright © 2024 %1. Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
</context>
<context>
    <name>ckupdate::TfrmCkUpdate</name>
    <message>
        <source>No instrument connected</source>
        <translation>Kein Gerät verbunden</translation>
    </message>
    <message>
        <source>unknown device</source>
        <translation>unbekanntes Gerät</translation>
    </message>
    <message>
        <source>Instrument: %1, serial number %2, firmware V%3</source>
        <translation>Gerät: %1, Seriennummer %2, Firmware V%3</translation>
    </message>
    <message>
        <source>Instrument: %1, no serial number, firmware V%2</source>
        <translation>Gerät: %1, keine Seriennummer, Firmware V%2</translation>
    </message>
    <message>
        <source>This firmware is already installed.</source>
        <translation>Diese Firmware ist bereits installiert.</translation>
    </message>
    <message>
        <source>Chromatik® V  - Update</source>
        <translation>Chromatik® V  - Update</translation>
    </message>
    <message>
        <source>Update Chromatik</source>
        <translation>Chromatik aktualisieren</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Read firmware file</source>
        <translation>Firmware-Datei lesen</translation>
    </message>
    <message>
        <source>Binary Files *.bin (*.bin)</source>
        <translation>Binärdateien *.bin (*.bin)</translation>
    </message>
    <message>
        <source>All Files *.* (*)</source>
        <translation>Alle Dateien *.* (*)</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Update completed</source>
        <translation>Update abgeschlossen</translation>
    </message>
    <message>
        <source>Update error</source>
        <translation>Update-Fehler</translation>
    </message>
    <message>
        <source>An update is running. Please wait until it has ended.</source>
        <translation>Ein Update läuft. Bitte warten Sie, bis es beendet ist.</translation>
    </message>
    <message>
        <source>An instrument that answers only as its boot loader: an update was interrupted. &quot;Run&quot; completes it.</source>
        <translation>Ein Gerät, das sich nur als Bootloader meldet: ein Update wurde unterbrochen. „Start“ schließt es ab.</translation>
    </message>
</context>
<context>
    <name>ckupdate::TfrmDiscover</name>
    <message>
        <source>Device name</source>
        <translation>Gerätename</translation>
    </message>
    <message>
        <source>BT address</source>
        <translation>BT-Adresse</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Clear list</source>
        <translation>Liste leeren</translation>
    </message>
    <message>
        <source> - known devices</source>
        <translation> - bekannte Geräte</translation>
    </message>
    <message>
        <source>Bluetooth</source>
        <translation>Bluetooth</translation>
    </message>
    <message>
        <source> - Searching for devices...</source>
        <translation> - Suche nach Geräten...</translation>
    </message>
    <message>
        <source> - search for devices failed</source>
        <translation> - Gerätesuche fehlgeschlagen</translation>
    </message>
    <message>
        <source> - no device found</source>
        <translation> - kein Gerät gefunden</translation>
    </message>
    <message>
        <source> - please select device</source>
        <translation> - bitte Gerät wählen</translation>
    </message>
</context>
<context>
    <name>ckupdate::TfrmHTMViewer</name>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht geöffnet werden. %2</translation>
    </message>
</context>
<context>
    <name>ckupdate::TfrmMain</name>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Extras</source>
        <translation>Extras</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>German</source>
        <translation>deutsch</translation>
    </message>
    <message>
        <source>English</source>
        <translation>englisch</translation>
    </message>
    <message>
        <source>French</source>
        <translation>französisch</translation>
    </message>
    <message>
        <source>CK connect</source>
        <translation>CK verbinden</translation>
    </message>
    <message>
        <source>Select/search Bluetooth device</source>
        <translation>Bluetooth-Gerät wählen/suchen</translation>
    </message>
    <message>
        <source>Via Bluetooth to </source>
        <translation>Über Bluetooth mit </translation>
    </message>
    <message>
        <source>Disconnect CK</source>
        <translation>CK trennen</translation>
    </message>
    <message>
        <source>Verify the firmware before completing an update</source>
        <translation>Firmware vor dem Abschluss eines Updates prüfen</translation>
    </message>
    <message>
        <source>Previous firmware...</source>
        <translation>Vorherige Firmware...</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Read firmware file</source>
        <translation>Firmware-Datei lesen</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>About...</source>
        <translation>Über...</translation>
    </message>
    <message>
        <source>License information (EULA)</source>
        <translation>Lizenzinformationen (EULA)</translation>
    </message>
    <message>
        <source>Connection check...</source>
        <translation>Verbindungsprüfung...</translation>
    </message>
    <message>
        <source>TOLA Chromatik Updater</source>
        <translation>TOLA Chromatik Updater</translation>
    </message>
    <message>
        <source>State: </source>
        <translation>Status: </translation>
    </message>
    <message>
        <source>not loaded</source>
        <translation>nicht geladen</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>Device:</source>
        <translation>Gerät:</translation>
    </message>
    <message>
        <source>Serial:</source>
        <translation>Seriennr.:</translation>
    </message>
    <message>
        <source>If-Version:</source>
        <translation>If-Version:</translation>
    </message>
    <message>
        <source>Firmware:</source>
        <translation>Firmware:</translation>
    </message>
    <message>
        <source>Chromatik Update</source>
        <translation>Chromatik Update</translation>
    </message>
    <message>
        <source>Open EULA file</source>
        <translation>EULA-Datei öffnen</translation>
    </message>
    <message>
        <source>EULA file *.rtf (*.rtf)</source>
        <translation>EULA-Datei *.rtf (*.rtf)</translation>
    </message>
    <message>
        <source>EULA file *.html (*.html)</source>
        <translation>EULA-Datei *.html (*.html)</translation>
    </message>
    <message>
        <source>EULA file *.htm (*.htm)</source>
        <translation>EULA-Datei *.htm (*.htm)</translation>
    </message>
    <message>
        <source>EULA file *.pdf (*.pdf)</source>
        <translation>EULA-Datei *.pdf (*.pdf)</translation>
    </message>
    <message>
        <source>All files *.* (*)</source>
        <translation>Alle Dateien *.* (*)</translation>
    </message>
    <message>
        <source>Error:</source>
        <translation>Fehler:</translation>
    </message>
    <message>
        <source>The system has no program to open this document.</source>
        <translation>Das System hat kein Programm, das dieses Dokument öffnen kann.</translation>
    </message>
    <message>
        <source>(4011) Please restart
<byte value="xd"/>%1
<byte value="xd"/>to activate the language setting.</source>
        <translation>(4011) Bitte starten Sie
<byte value="xd"/>%1
<byte value="xd"/>neu, um die Spracheinstellung zu aktivieren.</translation>
    </message>
    <message>
        <source>The instrument answers only as its boot loader: an update was interrupted. &quot;Run&quot; completes it.</source>
        <translation>Das Gerät meldet sich nur als Bootloader: ein Update wurde unterbrochen. „Start“ schließt es ab.</translation>
    </message>
    <message>
        <source>The instrument answers only as its boot loader, and no interrupted update is known here.</source>
        <translation>Das Gerät meldet sich nur als Bootloader, und hier ist kein unterbrochenes Update bekannt.</translation>
    </message>
    <message>
        <source>The settings of this instrument from the update of %1 (%2 to %3) are not written back yet: &quot;Run&quot; writes them back first.</source>
        <translation>Die Einstellungen dieses Geräts aus dem Update vom %1 (%2 auf %3) sind noch nicht zurückgeschrieben: „Start“ schreibt sie zuerst zurück.</translation>
    </message>
    <message>
        <source>A settings backup of this instrument is damaged: &quot;tolactl settings pending&quot; lists it.</source>
        <translation>Eine Sicherung der Einstellungen dieses Geräts ist beschädigt: „tolactl settings pending“ zeigt sie.</translation>
    </message>
    <message>
        <source>boot loader</source>
        <translation>Bootloader</translation>
    </message>
    <message>
        <source>boot loader (interrupted update)</source>
        <translation>Bootloader (unterbrochenes Update)</translation>
    </message>
    <message>
        <source>Choose instrument...</source>
        <translation>Gerät wählen...</translation>
    </message>
    <message>
        <source>no serial number</source>
        <translation>keine Seriennummer</translation>
    </message>
    <message>
        <source>Choose instrument</source>
        <translation>Gerät wählen</translation>
    </message>
    <message>
        <source>No instrument answers over USB.</source>
        <translation>Über USB meldet sich kein Gerät.</translation>
    </message>
    <message>
        <source>Which instrument shall be connected?</source>
        <translation>Welches Gerät soll verbunden werden?</translation>
    </message>
    <message>
        <source>Several instruments are attached over USB. Which one shall be connected?</source>
        <translation>Über USB sind mehrere Geräte angeschlossen. Welches soll verbunden werden?</translation>
    </message>
    <message>
        <source>Several instruments are attached over USB (%1) and none is chosen: &quot;Choose instrument...&quot; in the menu Extras &gt; CK connect connects one.</source>
        <translation>Über USB sind mehrere Geräte angeschlossen (%1), und keines ist gewählt: „Gerät wählen...“ im Menü Extras &gt; CK verbinden verbindet eines.</translation>
    </message>
</context>
<context>
    <name>ckupdate::TfrmRTFViewer</name>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht geöffnet werden. %2</translation>
    </message>
    <message>
        <source>Cannot read file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht gelesen werden. %2</translation>
    </message>
</context>
<context>
    <name>ckupdate::TConnectionReport</name>
    <message>
        <source>Connection check</source>
        <translation>Verbindungsprüfung</translation>
    </message>
    <message>
        <source>Check again</source>
        <translation>Erneut prüfen</translation>
    </message>
    <message>
        <source>Nothing blocks a connection to an instrument.</source>
        <translation>Einer Verbindung zu einem Gerät steht nichts im Weg.</translation>
    </message>
    <message>
        <source>Something blocks a connection to an instrument: see the fixes below.</source>
        <translation>Etwas verhindert die Verbindung zu einem Gerät: siehe die Abhilfen unten.</translation>
    </message>
</context>
<context>
    <name>ckupdate::TfrmChooseInstrument</name>
    <message>
        <source>Serial number</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>Instrument</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>USB socket</source>
        <translation>USB-Anschluss</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>no serial number</source>
        <translation>keine Seriennummer</translation>
    </message>
    <message>
        <source>boot loader only (interrupted update)</source>
        <translation>nur Bootloader (unterbrochenes Update)</translation>
    </message>
</context>
<context>
    <name>PreviousFirmware</name>
    <message>
        <source>Previous firmware</source>
        <translation>Vorherige Firmware</translation>
    </message>
    <message>
        <source>No instrument is connected.</source>
        <translation>Es ist kein Gerät verbunden.</translation>
    </message>
    <message>
        <source>No firmware backup of instrument %1 is kept in %2.</source>
        <translation>In %2 ist keine Firmware-Sicherung des Geräts %1 vorhanden.</translation>
    </message>
    <message>
        <source>%1   firmware %2 (%3)</source>
        <translation>%1   Firmware %2 (%3)</translation>
    </message>
    <message>
        <source>Write which firmware back to instrument %1?</source>
        <translation>Welche Firmware soll auf das Gerät %1 zurückgeschrieben werden?</translation>
    </message>
</context>
</TS>
