// The status page's side of vesk-api: its files with the headers that keep other sites' script
// and frames out, the login that exchanges a key for a session cookie once, and forms that need
// the page's CSRF token.
#include "ApiProcess.h"

using namespace vesk;
using nlohmann::json;
using vesk::testing::Http;
using vesk::testing::HttpAnswer;

namespace {

class StatusPageTest : public vesk::testing::ApiTest
{
protected:
    HttpAnswer browser(const std::string& method, const std::string& path, const std::string& cookie,
        const std::string& body = "", std::vector<std::string> headers = {})
    {
        headers.push_back("Cookie: " + cookie);
        if (!body.empty())
            headers.push_back("Content-Type: application/json");
        return Http(method, api->url(path), body, headers);
    }
};

TEST_P(StatusPageTest, FilesCarryTheirPolicyAndAKeyBecomesACookieOnce)
{
    start();
    for (const char* path : {"/", "/page.js", "/style.css", "/v1/consoles"}) {
        SCOPED_TRACE(path);
        const auto page = Http("GET", api->url(path));
        const std::string policy = page.header("content-security-policy");
        EXPECT_NE(policy.find("script-src 'self'"), std::string::npos) << policy;
        EXPECT_NE(policy.find("frame-ancestors 'none'"), std::string::npos) << policy;
        EXPECT_EQ(policy.find("unsafe-inline"), std::string::npos) << policy;
        EXPECT_EQ(page.header("x-content-type-options"), "nosniff");
    }
    const auto page = Http("GET", api->url("/"));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.header("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(page.body.find("<script>"), std::string::npos); // no inline script to allow

    const std::string looker = makeKey("looker", "inbound:read");
    EXPECT_EQ(call("POST", "/v1/session", "", {}, &looker).status, 403);
    const std::string wrong = "vk_not-a-key";
    EXPECT_EQ(call("POST", "/v1/session", "", {}, &wrong).status, 401);

    const auto login = call("POST", "/v1/session");
    ASSERT_EQ(login.status, 201) << login.body;
    const std::string setCookie = login.header("set-cookie");
    for (const char* part : {"HttpOnly", "SameSite=Strict", "Max-Age=43200", "Path=/"})
        EXPECT_NE(setCookie.find(part), std::string::npos) << setCookie;
    EXPECT_EQ(setCookie.find("Secure"), std::string::npos) << "plain HTTP: " << setCookie;
    const std::string cookie = setCookie.substr(0, setCookie.find(';'));
    const std::string csrf = login.json()["csrf"];

    EXPECT_EQ(browser("GET", "/v1/consoles", cookie).status, 200);
    EXPECT_EQ(browser("GET", "/v1/session", cookie).json()["csrf"], csrf);
    const std::string message = R"({"to": "+447700900123", "text": "from the page"})";
    const auto forged = browser("POST", "/v1/messages", cookie, message);
    EXPECT_EQ(forged.status, 403);
    EXPECT_EQ(browser("POST", "/v1/messages", cookie, message, {"X-CSRF-Token: " + csrf + "0"}).status, 403);
    EXPECT_EQ(count("msgText = 'from the page'"), 0);
    EXPECT_EQ(browser("POST", "/v1/messages", cookie, message, {"X-CSRF-Token: " + csrf}).status, 202);
    EXPECT_EQ(count("msgText = 'from the page'"), 1);

    // Logged out, and a revoked key ends every session it opened.
    EXPECT_EQ(browser("DELETE", "/v1/session", cookie, "", {"X-CSRF-Token: " + csrf}).status, 200);
    EXPECT_EQ(browser("GET", "/v1/consoles", cookie).status, 401);
    const auto again = call("POST", "/v1/session");
    const std::string second = again.header("set-cookie").substr(0, again.header("set-cookie").find(';'));
    EXPECT_EQ(keyCommand({"revoke", "all"}).first, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // the key cache's life
    EXPECT_EQ(browser("GET", "/v1/consoles", second).status, 401);
}

INSTANTIATE_TEST_SUITE_P(
    , StatusPageTest, ::testing::Values(::vesk::store::EngineKind::Sqlite), ::vesk::testing::EngineName);

} // namespace
