#include "texts.h"

// The tables, one file each in texts/.
extern const Language ENGLISH;
extern const Language GERMAN;
extern const Language FRENCH;
extern const Language SPANISH;
extern const Language ITALIAN;
extern const Language PORTUGUESE_BRAZIL;
extern const Language POLISH;
extern const Language JAPANESE;
extern const Language CHINESE_SIMPLIFIED;
extern const Language KOREAN;

namespace {

const std::vector<const Language*> LANGUAGES = {
    &ENGLISH, &GERMAN,   &FRENCH,
    &SPANISH, &ITALIAN,  &PORTUGUESE_BRAZIL,
    &POLISH,  &JAPANESE, &CHINESE_SIMPLIFIED,
    &KOREAN,
};

// A LANGID: the primary language in its low 10 bits, the sublanguage above.
constexpr std::uint16_t PRIMARY_LANGUAGE_MASK = 0x3FF;
constexpr int SUBLANGUAGE_SHIFT = 10;

bool islanguage(const Language& language, std::uint16_t langid) {
    if ((langid & PRIMARY_LANGUAGE_MASK) != language.primary) {
        return false;
    }
    const std::uint16_t sublanguage = langid >> SUBLANGUAGE_SHIFT;
    if (language.sublanguages.empty()) {
        return true;
    }
    for (std::uint16_t listed : language.sublanguages) {
        if (listed == sublanguage) {
            return true;
        }
    }
    return false;
}

}  // namespace

const std::vector<const Language*>& languages() {
    return LANGUAGES;
}

const Language& english() {
    return ENGLISH;
}

const Language& languagefor(std::uint16_t langid) {
    for (const Language* language : LANGUAGES) {
        if (islanguage(*language, langid)) {
            return *language;
        }
    }
    return ENGLISH;
}

std::string textof(const Language& language, Text id) {
    for (const TextEntry& entry : language.texts) {
        if (entry.id != id || entry.text == nullptr) {
            continue;
        }
        // The tables end lines with "\n"; Windows' controls want CR LF.
        std::string text;
        for (const char* c = entry.text; *c != '\0'; ++c) {
            text += *c == '\n' ? "\r\n" : std::string(1, *c);
        }
        return text;
    }
    return "";
}

std::string fill(std::string text, const Fills& fills) {
    for (const auto& [name, value] : fills) {
        const std::string placeholder = "{" + name + "}";
        // Values are put in once, never searched again: a value may hold braces.
        for (std::size_t at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at + value.size())) {
            text.replace(at, placeholder.size(), value);
        }
    }
    return text;
}

std::vector<std::string> placeholders(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t open = text.find('{'); open != std::string::npos;
         open = text.find('{', open + 1)) {
        const std::size_t close = text.find('}', open);
        if (close == std::string::npos) {
            break;
        }
        found.push_back(text.substr(open, close - open + 1));
    }
    return found;
}
