#include "foundation/pConversions.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace paxid {

namespace {

struct TLocaleNumber {
    std::string_view Name;  // language, or language_TERRITORY
    std::uint32_t LCID;
};

// Languages alone map to their main territory's number.
constexpr std::array<TLocaleNumber, 64> kLocaleNumbers{{
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105}, {"en_NZ", 5129}, {"en_IE", 6153},
    {"en_ZA", 7177}, {"en", 1033},    {"de_DE", 1031}, {"de_CH", 2055}, {"de_AT", 3079}, {"de", 1031},
    {"fr_FR", 1036}, {"fr_BE", 2060}, {"fr_CA", 3084}, {"fr_CH", 4108}, {"fr", 1036},    {"it_IT", 1040},
    {"it_CH", 2064}, {"it", 1040},    {"es_ES", 3082}, {"es_MX", 2058}, {"es", 3082},    {"pt_BR", 1046},
    {"pt_PT", 2070}, {"pt", 2070},    {"nl_NL", 1043}, {"nl_BE", 2067}, {"nl", 1043},    {"sl_SI", 1060},
    {"sl", 1060},    {"hr_HR", 1050}, {"hr", 1050},    {"sr_RS", 9242}, {"sr", 9242},    {"bs_BA", 5146},
    {"bs", 5146},    {"mk_MK", 1071}, {"mk", 1071},    {"cs_CZ", 1029}, {"cs", 1029},    {"sk_SK", 1051},
    {"sk", 1051},    {"pl_PL", 1045}, {"pl", 1045},    {"hu_HU", 1038}, {"hu", 1038},    {"ro_RO", 1048},
    {"ro", 1048},    {"bg_BG", 1026}, {"bg", 1026},    {"ru_RU", 1049}, {"ru", 1049},    {"uk_UA", 1058},
    {"uk", 1058},    {"da_DK", 1030}, {"sv_SE", 1053}, {"nb_NO", 1044}, {"fi_FI", 1035}, {"el_GR", 1032},
    {"tr_TR", 1055}, {"ja_JP", 1041}, {"zh_CN", 2052}, {"ko_KR", 1042},
}};

constexpr std::uint32_t kDefaultLCID = 1033;

const TLocaleNumber* FindLocale(std::string_view name) {
    const auto found = std::find_if(kLocaleNumbers.begin(), kLocaleNumbers.end(),
                                    [name](const TLocaleNumber& entry) { return entry.Name == name; });
    return found == kLocaleNumbers.end() ? nullptr : &*found;
}

}  // namespace

std::string LowerASCII(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

bool IsEmptyRect(const TRect& rect) {
    return rect.Left == 0 && rect.Top == 0 && rect.Right == 0 && rect.Bottom == 0;
}

std::string RectToText(const TRect& rect) {
    return std::to_string(rect.Left) + " / " + std::to_string(rect.Top) + " / " + std::to_string(rect.Right) +
           " / " + std::to_string(rect.Bottom);
}

std::uint32_t LocaleNameToLCID(std::string_view localeName) {
    // "sl_SI.UTF-8@euro" -> "sl_SI"
    const std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    if (const TLocaleNumber* exact = FindLocale(name)) {
        return exact->LCID;
    }
    if (const TLocaleNumber* language = FindLocale(name.substr(0, name.find('_')))) {
        return language->LCID;
    }
    return kDefaultLCID;
}

std::string UserLCIDText() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return std::to_string(LocaleNameToLCID(value));
        }
    }
    return std::to_string(kDefaultLCID);
}

}  // namespace paxid
