#include "catalogue/program_texts.h"

#include <array>

#include "catalogue/text_tables.h"

namespace flashwell::catalogue {

namespace {

using T = ProgramText;

// One text in the order of the package's tables: English, Italian, German, French, Spanish,
// Dutch. The other languages name the key "MEMPOD", as the package's own texts do, and write
// "firmware" as they do (French: "logiciel").
struct Row {
  ProgramText id;
  std::array<std::string_view, kProgramLanguages> text;
};

constexpr std::array<Row, kProgramTextCount> kRows{{
    {T::questionLabel, {"question:", "domanda:", "Frage:", "demande :", "pregunta:", "vraag:"}},
    {T::answerLabel, {"answer:", "risposta:", "Antwort:", "réponse :", "respuesta:", "antwoord:"}},
    {T::yes, {"Yes", "Sì", "Ja", "Oui", "Sí", "Ja"}},
    {T::no, {"No", "No", "Nein", "Non", "No", "Nee"}},
    {T::statusLabel, {"status:", "stato:", "Zustand:", "état :", "estado:", "toestand:"}},
    {T::messageLabel, {"message:", "messaggio:", "Meldung:", "avis :", "mensaje:", "melding:"}},
    {T::keyInfoLine,
     {"key: %1, %2, mark %3", "MEMPOD: %1, %2, marcatore %3", "MEMPOD: %1, %2, Merker %3",
      "MEMPOD : %1, %2, marque %3", "MEMPOD: %1, %2, marca %3", "MEMPOD: %1, %2, kenmerk %3"}},
    {T::firmwareRunning,
     {"firmware running", "firmware in esecuzione", "Firmware läuft", "logiciel actif",
      "firmware en ejecución", "firmware actief"}},
    {T::booterRunning,
     {"booter running", "BOOTER in esecuzione", "BOOTER läuft", "BOOTER actif",
      "BOOTER en ejecución", "BOOTER actief"}},
    {T::programRunning,
     {"program %1 running", "programma %1 in esecuzione", "Programm %1 läuft", "programme %1 actif",
      "programa %1 en ejecución", "programma %1 actief"}},
    {T::largePacketKey,
     {"large-packet key", "pacchetti grandi", "große Pakete", "grands paquets", "paquetes grandes",
      "grote pakketten"}},
    {T::smallPacketKey,
     {"small-packet key", "pacchetti piccoli", "kleine Pakete", "petits paquets",
      "paquetes pequeños", "kleine pakketten"}},
    {T::consoleAccessDenied,
     {"no access to the key at %1 (is the udev rule for the key installed?)",
      "nessun accesso alla MEMPOD in %1 (la regola udev per la MEMPOD è installata?)",
      "kein Zugriff auf den MEMPOD unter %1 (ist die udev-Regel für den MEMPOD installiert?)",
      "pas d'accès à la MEMPOD sur %1 (la règle udev de la MEMPOD est-elle installée ?)",
      "sin acceso a la MEMPOD en %1 (¿está instalada la regla udev de la MEMPOD?)",
      "geen toegang tot de MEMPOD op %1 (is de udev-regel voor de MEMPOD geïnstalleerd?)"}},
    {T::windowAccessDenied,
     {"The MEMPOD key was found, but this user may not open it:\n%1\n\n"
      "Install the udev rule %2 (the flashwell package puts it into /usr/lib/udev/rules.d; a "
      "copy in /etc/udev/rules.d serves as well), run \"udevadm control --reload\", then unplug "
      "the key and plug it in again.",
      "La MEMPOD è stata trovata, ma questo utente non può aprirla:\n%1\n\n"
      "Installare la regola udev %2 (il pacchetto flashwell la mette in /usr/lib/udev/rules.d; "
      "va bene anche una copia in /etc/udev/rules.d), eseguire \"udevadm control --reload\", "
      "poi scollegare la MEMPOD e ricollegarla.",
      "Der MEMPOD wurde gefunden, aber dieser Benutzer darf ihn nicht öffnen:\n%1\n\n"
      "Die udev-Regel %2 installieren (das Paket flashwell legt sie in /usr/lib/udev/rules.d "
      "ab; eine Kopie in /etc/udev/rules.d geht auch), \"udevadm control --reload\" ausführen, "
      "dann den MEMPOD abziehen und wieder anschließen.",
      "La MEMPOD a été trouvée, mais cet utilisateur ne peut pas l'ouvrir :\n%1\n\n"
      "Installez la règle udev %2 (le paquet flashwell la place dans /usr/lib/udev/rules.d ; une "
      "copie dans /etc/udev/rules.d convient aussi), lancez « udevadm control --reload », puis "
      "débranchez la MEMPOD et rebranchez-la.",
      "Se ha encontrado la MEMPOD, pero este usuario no puede abrirla:\n%1\n\n"
      "Instale la regla udev %2 (el paquete flashwell la pone en /usr/lib/udev/rules.d; también "
      "sirve una copia en /etc/udev/rules.d), ejecute \"udevadm control --reload\" y después "
      "desconecte la MEMPOD y vuelva a conectarla.",
      "De MEMPOD is gevonden, maar deze gebruiker mag hem niet openen:\n%1\n\n"
      "Installeer de udev-regel %2 (het pakket flashwell zet die in /usr/lib/udev/rules.d; een "
      "kopie in /etc/udev/rules.d werkt ook), voer \"udevadm control --reload\" uit, koppel de "
      "MEMPOD daarna los en sluit hem opnieuw aan."}},
    {T::windowsAccessDenied,
     {"ACCESS TO USB DENIED:\n%1", "ACCESSO USB NEGATO:\n%1", "USB-ZUGRIFF VERWEIGERT:\n%1",
      "ACCÈS USB REFUSÉ :\n%1", "ACCESO USB DENEGADO:\n%1", "USB-TOEGANG GEWEIGERD:\n%1"}},
    {T::keyNotConfigured,
     {"the key is not configured and could not be configured: %1",
      "la MEMPOD non è configurata e non è stato possibile configurarla: %1",
      "der MEMPOD ist nicht konfiguriert und ließ sich nicht konfigurieren: %1",
      "la MEMPOD n'est pas configurée et n'a pas pu l'être : %1",
      "la MEMPOD no está configurada y no se ha podido configurar: %1",
      "de MEMPOD is niet geconfigureerd en kon niet worden geconfigureerd: %1"}},
    {T::kernelDriverHoldsKey,
     {"a kernel driver holds the key's interface and could not be detached: %1",
      "un driver del kernel occupa l'interfaccia della MEMPOD e non è stato possibile "
      "staccarlo: %1",
      "ein Kernel-Treiber belegt die Schnittstelle des MEMPOD und ließ sich nicht lösen: %1",
      "un pilote du noyau occupe l'interface de la MEMPOD et n'a pas pu être détaché : %1",
      "un controlador del núcleo ocupa la interfaz de la MEMPOD y no se ha podido "
      "desvincular: %1",
      "een kernelstuurprogramma bezet de interface van de MEMPOD en kon niet worden "
      "losgekoppeld: %1"}},
    {T::replayDiffers,
     {"the replay differs from the log", "la riproduzione si discosta dal registro",
      "die Wiedergabe weicht vom Protokoll ab", "la relecture diffère du journal",
      "la reproducción difiere del registro", "de herhaling wijkt af van het logboek"}},
    {T::replayDiffersAtLine,
     {"the replay differs from the log at line %1",
      "la riproduzione si discosta dal registro alla riga %1",
      "die Wiedergabe weicht in Zeile %1 vom Protokoll ab",
      "la relecture diffère du journal à la ligne %1",
      "la reproducción difiere del registro en la línea %1",
      "de herhaling wijkt op regel %1 af van het logboek"}},
    {T::replayRecorded,
     {"recorded:", "registrato:", "aufgezeichnet:", "enregistré :", "registrado:", "opgenomen:"}},
    {T::replaySent, {"sent:", "inviato:", "gesendet:", "envoyé :", "enviado:", "verzonden:"}},
    {T::signalHeld,
     {"The key's firmware is being written: Flashwell will exit as soon as it is safe.",
      "Il firmware della MEMPOD è in scrittura: Flashwell terminerà non appena sarà sicuro.",
      "Die Firmware des MEMPOD wird geschrieben: Flashwell beendet sich, sobald es gefahrlos "
      "möglich ist.",
      "Le logiciel de la MEMPOD est en cours d'écriture : Flashwell se fermera dès que ce sera "
      "sans danger.",
      "Se está escribiendo el firmware de la MEMPOD: Flashwell terminará en cuanto sea seguro.",
      "De firmware van de MEMPOD wordt geschreven: Flashwell sluit af zodra dat veilig kan."}},
    {T::signalRepeated,
     {"Already exiting as soon as it is safe.",
      "Uscita già richiesta: avverrà non appena sarà sicuro.",
      "Wird bereits beendet, sobald es gefahrlos möglich ist.",
      "Fermeture déjà demandée : elle aura lieu dès que ce sera sans danger.",
      "Salida ya solicitada: se hará en cuanto sea seguro.",
      "Wordt al afgesloten zodra dat veilig kan."}},
    {T::shutdownBlocked,
     {"Writing the firmware of the MEMPOD key", "Scrittura del firmware della MEMPOD",
      "Firmware des MEMPOD wird geschrieben", "Écriture du logiciel de la MEMPOD",
      "Escribiendo el firmware de la MEMPOD", "Firmware van de MEMPOD wordt geschreven"}},
    {T::noKeyFound,
     {"No key found.", "Nessuna MEMPOD trovata.", "Kein MEMPOD gefunden.", "Aucune MEMPOD trouvée.",
      "No se ha encontrado ninguna MEMPOD.", "Geen MEMPOD gevonden."}},
    {T::waitingForKey,
     {"Waiting for the key: plug it in, or press Ctrl-C to stop.",
      "In attesa della MEMPOD: collegarla o premere Ctrl-C per interrompere.",
      "Warten auf den MEMPOD: bitte anschließen oder Strg-C zum Abbrechen drücken.",
      "En attente de la MEMPOD : branchez-la ou appuyez sur Ctrl-C pour arrêter.",
      "Esperando la MEMPOD: conéctela o pulse Ctrl-C para detener.",
      "Wachten op de MEMPOD: sluit hem aan of druk op Ctrl-C om te stoppen."}},
    {T::readBackDiffers,
     {"The key holds other bytes than were written for: %1",
      "La MEMPOD contiene byte diversi da quelli scritti per: %1",
      "Der MEMPOD enthält andere Bytes als geschrieben für: %1",
      "La MEMPOD contient d'autres octets que ceux écrits pour : %1",
      "La MEMPOD contiene bytes distintos de los escritos para: %1",
      "De MEMPOD bevat andere bytes dan geschreven voor: %1"}},
}};

constexpr bool rowsInOrder() {
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    if (static_cast<std::size_t>(kRows[i].id) != i) return false;
    for (std::string_view text : kRows[i].text) {
      if (text.empty()) return false;
    }
  }
  return true;
}
static_assert(rowsInOrder(), "one row per ProgramText, in the enum's order, every language set");

constexpr std::array<std::uint16_t, kProgramLanguages> kLanguages{
    kLanguageEnglish, kLanguageItalian, kLanguageGerman,
    kLanguageFrench,  kLanguageSpanish, kLanguageDutch};
constexpr std::array<std::string_view, kProgramLanguages> kCodes{"en", "it", "de",
                                                                 "fr", "es", "nl"};

// The column of a language number: the package's table index, English for the seventh table.
std::size_t columnOf(std::uint16_t languageNumber) {
  const std::size_t index = textTableIndex(languageNumber);
  return index < kProgramLanguages ? index : 0;
}

}  // namespace

std::uint16_t chosenLanguage(std::span<const std::uint8_t> localeTable, std::uint32_t lcid) {
  const std::uint16_t n = languageOfLcid(localeTable, lcid);
  const bool ownTable = n == kLanguageItalian || n == kLanguageGerman || n == kLanguageSpanish ||
                        n == kLanguageFrench || n == kLanguageDutch;
  return ownTable ? n : kLanguageEnglish;
}

std::string_view programText(ProgramText id, std::uint16_t languageNumber) {
  const auto row = static_cast<std::size_t>(id);
  if (row >= kRows.size()) return kNoString;
  return kRows[row].text[columnOf(languageNumber)];
}

std::string fillIn(std::string_view text, std::initializer_list<std::string_view> values) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const auto n = static_cast<std::size_t>(text[i + 1] - '1');
      if (n < values.size()) {
        out.append(*(values.begin() + n));
        ++i;
        continue;
      }
    }
    out.push_back(c);
  }
  return out;
}

std::string_view languageCode(std::uint16_t languageNumber) {
  return kCodes[columnOf(languageNumber)];
}

std::span<const std::uint16_t, kProgramLanguages> programLanguages() {
  return kLanguages;
}

}  // namespace flashwell::catalogue
