// The texts a user reads, as the product defines them, written out here independently of
// resources/ZyrelTexts.txt (from which the program's tables are generated), so that a
// mistake in the table or in its generation shows up as a difference.
#pragma once

#include <string>

namespace localized_test {

enum Language { English, German, French };

struct Expected {
    unsigned id;
    const char16_t* text[3]; // by Language
};

inline const Expected kStrings[] = {
    {3,
     {u"You don't have the necessary permissions to update. Please restart the patcher with administrator "
      u"privileges (error #6001).",
      u"F\u00FCr den Patch ben\u00F6tigte Berechtigungen fehlen. Bitte den Patcher mit Administrator-Rechten erneut "
      u"starten. (Fehler #6001)",
      u"Vous ne disposez pas des autorisations n\u00E9cessaires pour appliquer le correctif. Veuillez red\u00E9marrer "
      u"le correctif en tant qu\u2019administrateur (erreur #6001)."}},
    {4, {u"Download failed", u"Download fehlgeschlagen", u"Le t\u00E9l\u00E9chargement a \u00E9chou\u00E9."}},
    {5,
     {u"Cancel download?", u"Selbst\u00E4ndige Aktualisierung abbrechen?",
      u"Annuler la mise \u00E0 jour automatique ?"}},
    {6,
     {u"Downloaded file failed to execute (error #6003)",
      u"Heruntergeladene Datei kann nicht gestartet werden. (Fehler #6003)",
      u"Le t\u00E9l\u00E9chargement du fichier a \u00E9chou\u00E9 (erreur #6003)"}},
    {7, {u"Update failed", u"Aktualisierung fehlgeschlagen", u"La mise \u00E0 jour a \u00E9chou\u00E9"}},
    {8,
     {u"The digital signature of the update could not be verified (error #6005:%d). It is not recommended to install "
      u"this update, especially if you are on an untrusted network. Would you still like to proceed with installation?",
      u"The digital signature of the update could not be verified (error #6005:%d). It is not recommended to install "
      u"this update, especially if you are on an untrusted network. Would you still like to proceed with installation?",
      u"The digital signature of the update could not be verified (error #6005:%d). It is not recommended to install "
      u"this update, especially if you are on an untrusted network. Would you still like to proceed with installation?"}},
    {9,
     {u"Wine is needed to install Zyrel on Linux, and no wine program was found. Install the wine package of your distribution, or set the environment variable WINE to the wine program, then start the download again.",
      u"Zum Installieren von Zyrel unter Linux wird Wine ben\u00F6tigt, es wurde aber kein wine-Programm gefunden. Bitte das Paket wine der Distribution installieren oder die Umgebungsvariable WINE auf das wine-Programm setzen und den Download erneut starten.",
      u"Wine est n\u00E9cessaire pour installer Zyrel sous Linux, et aucun programme wine n\u2019a \u00E9t\u00E9 trouv\u00E9. Installez le paquet wine de votre distribution, ou indiquez le programme wine dans la variable d\u2019environnement WINE, puis relancez le t\u00E9l\u00E9chargement."}},
    {10, {u"%s of %s", u"%s von %s", u"%s sur %s"}},
    {11, {u"B KiB MiB GiB TiB", u"B KiB MiB GiB TiB", u"o Kio Mio Gio Tio"}},
    {12, {u".", u",", u","}},
};

// Ids of block 1 (and beyond) that hold no text.
inline const unsigned kEmptyIds[] = {0, 1, 2, 13, 14, 15, 16, 17, 101, 0xFFFF};

inline const Expected kTitles[] = {
    {101, {u"Downloading Zyrel", u"Zyrel Aktualisierung", u"Mise \u00E0 jour de Zyrel"}},
    {103,
     {u"Downloading Zyrel Update", u"Zyrel-Update wird heruntergeladen",
      u"T\u00E9l\u00E9chargement de la mise \u00E0 jour de Zyrel"}},
};

inline const Expected kCancelButton = {2, {u"Cancel", u"Abbrechen", u"Annuler"}};

inline const char* LanguageName(int language)
{
    return language == English ? "English" : language == German ? "German" : "French";
}

} // namespace localized_test
