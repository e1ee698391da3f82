// The language a person reads. The program's own texts are Russian: they are
// the message ids of the gettext catalogues (text domain "torvo") and the
// default wherever no catalogue answers (the C/POSIX locale, a language we do
// not carry). The core composes its display texts in Russian; the edges (the
// command line's report, messages and help, the window) render them through
// Tr() and Localise(). Machine output (JSON, --fields, --inform, export files)
// is never rendered through them, so it reads the same under every locale.
#pragma once

#include <string>
#include <string_view>

// Marks a Russian original for the catalogue (xgettext --keyword=N_) where it
// is not translated on the spot: the core keeps it as composed.
#define N_(text) text

namespace torvo {

enum class Language { kSystem, kRussian, kEnglish };

// Chooses the language before any output (a later call only while no other
// thread renders texts). kSystem follows gettext's rules (LANGUAGE unless the
// locale is C/POSIX, then LC_ALL, LC_MESSAGES, LANG), also where that locale
// is not generated on the machine. Binds the catalogues of the build tree, of
// an installation relative to the program or of the installed prefix;
// TORVO_LOCALEDIR names another folder. Never touches LC_NUMERIC or any other
// category than LC_MESSAGES, and that only for a language other than Russian.
// A language whose catalogue is missing stays Russian: a new language is a
// catalogue, found by its code.
void UseLanguage(Language language);

// The language chosen by UseLanguage(): kRussian (also before it), kEnglish,
// or kSystem for another language whose catalogue the locale chose.
Language CurrentLanguage();

// Parses a --language value: "ru", "en" (or "system"); false for anything else.
bool ParseLanguage(std::string_view name, Language& language);

// The catalogue's text for one marked original, else the original.
std::string Tr(const char* original);

// A text the core composed, in the current language: the whole text as one
// catalogue entry when there is one, else piece by piece (the marked Russian
// pieces it was composed from, printf-style ones with their numbers filled
// in); numbers and Latin parts are kept. Russian is the identity.
std::string Localise(std::string_view shown);

}  // namespace torvo
