// Load errors the DevTools protocol names, as the numbers the panel's rules use.
#include "NetErrors.h"

#include <gtest/gtest.h>

namespace {

TEST(NetErrorsTest, NamesBecomeChromiumNumbers)
{
    struct Case {
        const char* name;
        int number;
    } cases[] = {
        {"net::ERR_ABORTED", -3},           {"net::ERR_FAILED", -2},
        {"net::ERR_NAME_NOT_RESOLVED", -105}, {"net::ERR_CONNECTION_REFUSED", -102},
        {"net::ERR_UNKNOWN_URL_SCHEME", -302}, {"net::ERR_CERT_AUTHORITY_INVALID", -202},
        {"net::ERR_INTERNET_DISCONNECTED", -106}, {"net::ERR_EMPTY_RESPONSE", -324},
        {"ERR_TIMED_OUT", -7},              {"CONNECTION_RESET", -101},
        {"net::ERR_SOMETHING_NEW", -2},     {"", -2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.number, NetErrorNumber(c.name)) << c.name;
}

TEST(NetErrorsTest, AbortOfASchemeTheEngineCannotShowIsAnUnknownScheme)
{
    struct Case {
        const char* error;
        const char* url;
        int number;
    } cases[] = {
        {"net::ERR_ABORTED", "tunes:play?id=3", -302},
        {"net::ERR_ABORTED", "TUNES:play", -302},
        {"net::ERR_ABORTED", "mailto:a@b", -302},
        {"net::ERR_ABORTED", "http://page/x", -3},
        {"net::ERR_ABORTED", "about:blank", -3},
        {"net::ERR_ABORTED", "no scheme here", -3},
        {"net::ERR_NAME_NOT_RESOLVED", "tunes:x", -105},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.number, PanelLoadErrorNumber(c.error, c.url)) << c.url;
}

}  // namespace
