#include "foundation/pURLUtils.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

TEST(URLUtils, TakeUserInformationApart) {
    const struct {
        const char* URL;
        const char* UserInfo;
        const char* UserName;
        const char* Password;
        const char* Stripped;
    } cases[] = {
        {"http://ann:pw@host/a.tif", "ann:pw@", "ann", "pw", "http://host/a.tif"},
        {"ftp://ann@host/a.tif", "ann@", "ann", "", "ftp://host/a.tif"},
        {"https://host/a.tif", "", "", "", "https://host/a.tif"},
        {"http://host/mail@box.tif", "host/mail@", "host/mail", "", "http://box.tif"},  // first "@" anywhere
        {"http://:pw@host/", ":pw@", "", "pw", "http://host/"},
        {"no-scheme@host", "", "", "", "no-scheme@host"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.URL);
        EXPECT_EQ(URLUserInfo(c.URL), c.UserInfo);
        EXPECT_EQ(URLUserName(c.URL), c.UserName);
        EXPECT_EQ(URLPassword(c.URL), c.Password);
        EXPECT_EQ(StripURLCredentials(c.URL), c.Stripped);
    }
}

TEST(URLUtils, NormalizeLowerCasesSchemeAndHostOnly) {
    const struct {
        const char* URL;
        const char* Expected;
    } cases[] = {
        {"HTTP://Example.ORG/Path/To/File.TIF", "http://example.org/Path/To/File.TIF"},
        {"HTTP://Example.ORG", "http://Example.ORG"},  // no "/" after the host: kept as written
        {"FtP://HOST/", "ftp://host/"},
        {"C:\\no\\url.tif", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.URL);
        EXPECT_EQ(NormalizeURL(c.URL), c.Expected);
    }
}

TEST(URLUtils, RedactionRemovesEveryUserInformationFromAText) {
    const struct {
        const char* Text;
        const char* Expected;
    } cases[] = {
        {"Location=http://ann:pw@host/a", "Location=http://host/a"},
        {"a https://u:p@ss@h/x and ftp://v:q@g/y", "a https://h/x and ftp://g/y"},
        {"slash in password http://u:pa/ss@host/x", "slash in password http://host/x"},
        {"mail in path http://host/a@b", "mail in path http://host/a@b"},
        {"user only http://ann@host", "user only http://host"},
        {"plain text", "plain text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        std::string text = c.Text;
        RedactURLCredentials(text);
        EXPECT_EQ(text, c.Expected);
    }
}

}  // namespace
}  // namespace paxid
