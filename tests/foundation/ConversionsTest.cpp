#include "foundation/pConversions.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

TEST(Conversions, LocaleNamesBecomeWindowsLocaleNumbers) {
    const struct {
        const char* Name;
        std::uint32_t LCID;
    } cases[] = {
        {"en_US.UTF-8", 1033}, {"sl_SI.UTF-8", 1060}, {"de_AT", 3079},    {"de_LU.UTF-8", 1031},
        {"fr_FR@euro", 1036},  {"C", 1033},           {"POSIX", 1033},    {"xx_YY", 1033},
        {"", 1033},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(LocaleNameToLCID(c.Name), c.LCID);
    }
}

TEST(Conversions, UserLocaleComesFromTheEnvironment) {
    const test::TScopedEnv all("LC_ALL", "sl_SI.UTF-8");
    EXPECT_EQ(UserLCIDText(), "1060");
    const test::TScopedEnv none("LC_ALL", std::nullopt);
    const test::TScopedEnv ctype("LC_CTYPE", std::nullopt);
    const test::TScopedEnv lang("LANG", std::nullopt);
    EXPECT_EQ(UserLCIDText(), "1033");
}

TEST(Conversions, Rectangles) {
    EXPECT_TRUE(IsEmptyRect(TRect{}));
    EXPECT_FALSE(IsEmptyRect(TRect{0, 0, 0, 1}));
    EXPECT_FALSE(IsEmptyRect(TRect{-1, 0, 0, 0}));
    EXPECT_EQ(RectToText(TRect{10, -20, 300, 400}), "10 / -20 / 300 / 400");
}

}  // namespace
}  // namespace paxid
