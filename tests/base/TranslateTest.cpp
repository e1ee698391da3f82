#include "base/Translate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace torvo {
namespace {

// The locale variables of one case; an empty value is unset.
struct Environment {
    const char* language;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
};

void Use(const Environment& e, Language language = Language::kSystem) {
    const auto put = [](const char* name, const char* value) {
        if (*value) setenv(name, value, 1);
        else unsetenv(name);
    };
    put("LANGUAGE", e.language);
    put("LC_ALL", e.lcAll);
    put("LC_MESSAGES", e.lcMessages);
    put("LANG", e.lang);
    setenv("TORVO_LOCALEDIR", TORVO_BUILD_LOCALEDIR, 1);
    UseLanguage(language);
}

TEST(Translate, ChoosesTheLanguageAsGettextDoes) {
    const struct {
        Environment environment;
        Language language;
        Language chosen;
    } cases[] = {
        {{"", "", "", ""}, Language::kSystem, Language::kRussian},
        {{"", "", "", "C.UTF-8"}, Language::kSystem, Language::kRussian},
        {{"en", "", "", "C.UTF-8"}, Language::kSystem, Language::kRussian},  // LANGUAGE is ignored in C
        {{"", "", "", "POSIX"}, Language::kSystem, Language::kRussian},
        {{"", "", "", "en_US.UTF-8"}, Language::kSystem, Language::kEnglish},
        {{"", "", "", "ru_RU.UTF-8"}, Language::kSystem, Language::kRussian},
        {{"", "", "", "de_DE.UTF-8"}, Language::kSystem, Language::kRussian},  // no catalogue
        {{"", "en_GB.UTF-8", "", "ru_RU.UTF-8"}, Language::kSystem, Language::kEnglish},
        {{"", "", "en_US.UTF-8", "ru_RU.UTF-8"}, Language::kSystem, Language::kEnglish},
        {{"", "ru_RU.UTF-8", "en_US.UTF-8", ""}, Language::kSystem, Language::kRussian},
        {{"de:en", "", "", "de_DE.UTF-8"}, Language::kSystem, Language::kEnglish},
        {{"ru:en", "", "", "en_US.UTF-8"}, Language::kSystem, Language::kRussian},
        {{"", "", "", "en_US.UTF-8"}, Language::kRussian, Language::kRussian},
        {{"", "", "", "C.UTF-8"}, Language::kEnglish, Language::kEnglish},
    };
    for (const auto& c : cases) {
        Use(c.environment, c.language);
        EXPECT_EQ(CurrentLanguage(), c.chosen) << "LANGUAGE=" << c.environment.language << " LC_ALL="
                                               << c.environment.lcAll << " LC_MESSAGES=" << c.environment.lcMessages
                                               << " LANG=" << c.environment.lang;
    }
}

TEST(Translate, RussianIsTheIdentity) {
    Use({"", "", "", "C.UTF-8"});
    EXPECT_EQ(Tr("Длина файла верна  "), "Длина файла верна  ");
    EXPECT_EQ(Localise("Звук PCM 44100Гц 16 бит 1411 КБ/с (2 канал) "), "Звук PCM 44100Гц 16 бит 1411 КБ/с (2 канал) ");
}

TEST(Translate, LocalisesWholeTextsAndTheirPieces) {
    Use({"", "", "", "en_US.UTF-8"});
    const struct {
        const char* shown;
        const char* english;
    } cases[] = {
        // One catalogue entry, trailing blanks and all.
        {"Длина файла верна  ", "File length is correct  "},
        {"*без кодека", "*no codec"},
        // Pieces with their numbers; Latin parts and numbers kept.
        {" Звук PCM 44100Гц 16 бит 1411 КБ/с (2 канал) ", " PCM audio 44100Hz 16 bit 1411 kB/s (2 channels) "},
        {"48000Гц 192 КБ/с общ (6 [5.1] канал) ", "48000Hz 192 kB/s total (6 [5.1] channels) "},
        {"Файл поврежден: смещение 0x0000abcd", "File damaged: offset 0x0000abcd"},
        // A text conversion is localised in turn.
        {"Тип файла: Видеозапись Matroska(.MKV)", "File type: Matroska video (.MKV)"},
        // ...but a path put into a message is the user's name, whatever words it holds.
        {"Файл данных НеТот: /home/u/Видео/Звук.dat", "Wrong data file: /home/u/Видео/Звук.dat"},
        // A piece never starts or ends inside a word or a number.
        {"Звуковой", "Звуковой"},
        {"144100Гц ", "144100Hz "},
        {"no Russian at all", "no Russian at all"},
    };
    for (const auto& c : cases) EXPECT_EQ(Localise(c.shown), c.english) << c.shown;
    EXPECT_EQ(Tr("Кодек"), "Codec");
    EXPECT_EQ(Tr("not in the catalogue"), "not in the catalogue");
}

}  // namespace
}  // namespace torvo
