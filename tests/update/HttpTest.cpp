#include "update/Http.h"

#include "update/LoopbackServer.h"

#include <chrono>
#include <gtest/gtest.h>

namespace {

using Reply = TLoopbackServer::TReply;

const std::string Path = "/net/Parvaneversion.TXT";

std::string Url(const TLoopbackServer& server) {
    return "http://" + server.Address() + Path;
}

// Fetches body from a server that answers 200 and cuts it down to the version section.
void Fetch(THttp& http, const std::string& body) {
    TLoopbackServer server(Reply{TLoopbackServer::Response("200 OK", body)});
    EXPECT_TRUE(http.GetPage(Url(server)));
    http.SelectSection("version");
}

int Compare(const std::string& fileVersion, const std::string& productVersion) {
    THttp http;
    Fetch(http, "[version]\r\nFileVersion=" + fileVersion + "\r\nProductVersion=" + productVersion +
                    "\r\n");
    return http.CompareVersions("1.11.5.1", "1.0.0.1");
}

double SecondsFailing(const Reply& reply) {
    TLoopbackServer server(reply);
    THttp http;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(http.GetPage(Url(server)));
    EXPECT_EQ(http.GetValue("FileVersion"), "0");
    EXPECT_TRUE(http.Body.empty());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(Http, SendsAPlainGetWithItsAgentAndAccept) {
    TLoopbackServer server(Reply{TLoopbackServer::Response("200 OK", "x")});
    THttp http;
    http.SetAgent("Parvane version check 1.11.5.1");
    ASSERT_TRUE(http.GetPage(Url(server)));
    EXPECT_TRUE(http.Ok);
    EXPECT_EQ(http.Body, "x");
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET " + Path + " HTTP/1.1");
    EXPECT_EQ(TLoopbackServer::Header(request, "User-Agent"), "Parvane version check 1.11.5.1");
    EXPECT_EQ(TLoopbackServer::Header(request, "Accept"), "text/html, */*");
}

TEST(Http, SplitsTheBodyAtEveryKindOfLineEnd) {
    TLoopbackServer server(Reply{TLoopbackServer::Response("200 OK", "a\r\nb\nc\rd\r\n\r\ne\n")});
    THttp http;
    ASSERT_TRUE(http.GetPage(Url(server)));
    EXPECT_EQ(http.Lines, (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
}

// The header matches without regard to case; what comes before it and the next section go.
TEST(Http, SelectsTheVersionSectionAlone) {
    THttp http;
    Fetch(http, "FileVersion=0.0.0.1\r\n[versions]\r\n[VERSION]\r\n"
                "fileversion=1.11.6.0\r\nPRODUCTVERSION=1.0.0.1\r\n"
                "[other]\r\nFileVersion=9.9.9.9\r\n");
    EXPECT_EQ(http.Lines, (std::vector<std::string>{"[VERSION]", "fileversion=1.11.6.0",
                                                    "PRODUCTVERSION=1.0.0.1"}));
    EXPECT_EQ(http.GetValue("FileVersion"), "1.11.6.0");
    EXPECT_EQ(http.GetValue("productversion"), "1.0.0.1");
    EXPECT_EQ(http.GetValue("Comment"), "");
}

// A header is a line whose first ']' ends it; "[a]b" is an ordinary line. A blank line in the
// section leaves every value unreadable.
TEST(Http, EndsTheSectionOnlyAtARealHeader) {
    THttp http;
    Fetch(http, "[version]\n[a]b\nFileVersion=1=2\n[next] \n[last]\nx=1\n");
    EXPECT_EQ(http.Lines,
              (std::vector<std::string>{"[version]", "[a]b", "FileVersion=1=2", "[next] "}));
    EXPECT_EQ(http.GetValue("FileVersion"), "1=2");
    Fetch(http, "[version]\nFileVersion=1.11.6.0\n\nProductVersion=1.1.0.0\n[next]\n\n");
    EXPECT_EQ(http.GetValue("FileVersion"), "");
    EXPECT_EQ(http.CompareVersions("1.11.5.1", "1.0.0.1"), 0);
    Fetch(http, "[version]\nFileVersion=1.11.6.0\n[next]\n\n");
    EXPECT_EQ(http.GetValue("FileVersion"), "1.11.6.0");
}

TEST(Http, WithoutTheSectionNothingIsLeft) {
    THttp http;
    Fetch(http, "[other]\nFileVersion=2.0.0.0\nProductVersion=2.0.0.0\n");
    EXPECT_TRUE(http.Lines.empty());
    EXPECT_EQ(http.GetValue("FileVersion"), "");
    EXPECT_EQ(http.CompareVersions("1.11.5.1", "1.0.0.1"), 0);
}

TEST(Http, RatesANewerFileVersionMinorAndANewerProductAsWellMajor) {
    EXPECT_EQ(Compare("1.11.6.0", "1.0.0.1"), 1);
    EXPECT_EQ(Compare("1.11.6.0", "1.1.0.0"), 2);
    EXPECT_EQ(Compare("1.11.5.1", "1.1.0.0"), 0);
    EXPECT_EQ(Compare("1.11.5.0", "9.0.0.0"), 0);
    EXPECT_EQ(Compare("1.11.6", "1.1.0.0"), 0);
    EXPECT_EQ(Compare("1.11.6.0a", "1.1.0.0"), 0);
    // Remote versions that cannot be read still lose against a local one that cannot either.
    THttp http;
    Fetch(http, "[version]\nFileVersion=1.11.6.0\nProductVersion=1.1.0.0\n");
    EXPECT_EQ(http.CompareVersions("!.!", "!.!"), 2);
}

TEST(Http, PacksFourIntegerPartsAndNothingElse) {
    EXPECT_EQ(THttp::PackVersion("1.11.5.1"), (1 << 23) + (11 << 15) + (5 << 7) + 1);
    EXPECT_EQ(THttp::PackVersion(" 1. 11 .5.1 "), THttp::PackVersion("1.11.5.1"));
    EXPECT_EQ(THttp::PackVersion("0.0.0.0"), 0);
    for (const char* bad :
         {"", "0", "!.!", "1.11.5", "1.11.5.1.0", "1.11.5.1a", "1.x.5.1", "1.11.5.99999999999"})
        EXPECT_EQ(THttp::PackVersion(bad), -1) << bad;
    // Fields overflow into each other and the sum wraps, but never into undefined behaviour.
    EXPECT_EQ(THttp::PackVersion("0.0.0.128"), THttp::PackVersion("0.0.1.0"));
    EXPECT_LT(THttp::PackVersion("256.0.0.0"), 0);
    EXPECT_EQ(THttp::PackVersion("512.0.0.0"), 0);
}

TEST(Http, AnErrorStatusOrARedirectIsAFailedFetch) {
    SecondsFailing(Reply{TLoopbackServer::Response("404 Not Found", "[version]\nFileVersion=9\n")});
    TLoopbackServer redirect(Reply{TLoopbackServer::Response(
        "302 Found", "", "Location: http://127.0.0.1:1" + Path + "\r\n")});
    THttp http;
    EXPECT_FALSE(http.GetPage(Url(redirect)));
    EXPECT_EQ(redirect.Requests().size(), 1u);
}

TEST(Http, ARefusedConnectionFailsAtOnce) {
    THttp http;
    EXPECT_FALSE(http.GetPage("http://" + TLoopbackServer::RefusingAddress() + Path));
    EXPECT_FALSE(http.Ok);
}

TEST(Http, AServerThatNeverAnswersIsGivenUpAfterFiveSeconds) {
    const double seconds = SecondsFailing(Reply{"", true});
    EXPECT_GE(seconds, 4.0);
    EXPECT_LT(seconds, 11.0);
}

TEST(Http, AServerThatStopsHalfWayFails) {
    const std::string whole = TLoopbackServer::Response("200 OK", std::string(1000, 'x'));
    const std::string half = whole.substr(0, whole.size() - 500);
    EXPECT_LT(SecondsFailing(Reply{half, true}), 11.0);
    SecondsFailing(Reply{half, false});
}

// The body is capped: a version file is a few lines, and the window waits for the fetch.
TEST(Http, ABodyOverSixtyFourKibibytesFails) {
    THttp http;
    const std::string cap(THttp::MaxBody, 'x');
    TLoopbackServer fits(Reply{TLoopbackServer::Response("200 OK", cap)});
    EXPECT_TRUE(http.GetPage(Url(fits)));
    EXPECT_EQ(http.Body.size(), THttp::MaxBody);

    SecondsFailing(Reply{TLoopbackServer::Response("200 OK", cap + "x")});
    SecondsFailing(Reply{TLoopbackServer::Response("200 OK", std::string(10 << 20, 'x'))});
    // Without a length the cap is met while reading.
    SecondsFailing(Reply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + cap + "x"});
}
