#include "MainFormAccess.h"
#include "ScriptedDialogs.h"
#include "app/Main.h"
#include "update/LoopbackServer.h"

#include <QCheckBox>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using Reply = TLoopbackServer::TReply;

const int Day = 46365;

std::string VersionFile(const std::string& fileVersion, const std::string& productVersion) {
    return TLoopbackServer::Response("200 OK", "[version]\r\nFileVersion=" + fileVersion +
                                                   "\r\nProductVersion=" + productVersion + "\r\n");
}

class UpdateCheck : public testing::Test {
protected:
    TScriptedDialogs Dialogs;
    std::unique_ptr<TMainForm> Form;
    const std::filesystem::path File =
        std::filesystem::path(qgetenv("XDG_CONFIG_HOME").toStdString()) / "Quillaby/ParvaneB.reg";

    void Start(int day = Day) {
        Form = std::make_unique<TMainForm>(Dialogs);
        Inside(*Form).Today = [day] { return day; };
    }
    void UseServer(const std::string& address) {
        qputenv("PARVANE_UPDATE_SERVER", QByteArray::fromStdString(address));
    }
    std::vector<TScriptedDialogs::TShown> Messages() const {
        std::vector<TScriptedDialogs::TShown> shown;
        for (const auto& box : Dialogs.Shown) {
            if (box.Kind == "information")
                shown.push_back(box);
        }
        return shown;
    }
    std::string Stored() const {
        std::ostringstream bytes;
        bytes << std::ifstream(File, std::ios::binary).rdbuf();
        return bytes.str();
    }
    // Whether the check against the server stayed silent, and how long it took.
    double SilentSeconds(const std::string& address) {
        UseServer(address);
        Start();
        // Earlier checks of this test stored today.
        Inside(*Form).StoredDay = "10000";
        const auto start = std::chrono::steady_clock::now();
        Form->CheckApplVersion();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_TRUE(Messages().empty()) << address;
        EXPECT_EQ(Inside(*Form).UpdateKind, -1);
        EXPECT_EQ(Inside(*Form).StoredDay, QString::number(Day));
        return seconds;
    }
};

} // namespace

TEST_F(UpdateCheck, TellsWhetherTheServerHasANewerRelease) {
    const struct {
        const char* File;
        const char* Product;
        int Kind;
        QString Message;
    } cases[] = {
        {"1.11.6.0", "1.0.0.1", 1, "Minor update 1.11.6.0 available"},
        {"1.11.6.0", "1.1.0.0", 2, "Major update 1.11.6.0 available"},
        {"1.11.5.1", "1.1.0.0", 0, "No update available"},
        {"1.11.6", "1.1.0.0", 0, "No update available"},
    };
    for (const auto& c : cases) {
        TLoopbackServer server(Reply{VersionFile(c.File, c.Product)});
        UseServer(server.Address());
        Dialogs.Shown.clear();
        Start();
        Inside(*Form).StoredDay = "10000";
        Form->CheckApplVersion();
        EXPECT_EQ(Inside(*Form).UpdateKind, c.Kind) << c.File;
        ASSERT_EQ(Messages().size(), 1u) << c.File;
        EXPECT_EQ(Messages()[0].Title, "Information");
        EXPECT_EQ(Messages()[0].Text, c.Message);
        EXPECT_EQ(Messages()[0].At, Form->pos() + QPoint(220, 140));
        ASSERT_EQ(server.Requests().size(), 1u);
        const std::string request = server.Requests()[0];
        EXPECT_EQ(request.substr(0, request.find("\r\n")),
                  "GET /net/Parvane774275/Parvaneversion.TXT HTTP/1.1");
        EXPECT_EQ(TLoopbackServer::Header(request, "User-Agent"), "Parvane version check 1.11.5.1");
        EXPECT_EQ(TLoopbackServer::Header(request, "Accept"), "text/html, */*");
    }
}

// The day counts as checked before the fetch, so a second start that day asks nothing.
TEST_F(UpdateCheck, ChecksAtTheFirstActivationOfADayOnly) {
    std::string storedAtRequest;
    TLoopbackServer server(Reply{VersionFile("1.11.6.0", "1.0.0.1")},
                           [&](const std::string&) { storedAtRequest = Stored(); });
    UseServer(server.Address());
    Start();
    EXPECT_EQ(Inside(*Form).StoredDay, "10000");
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_NE(storedAtRequest.find("\"juliancount\"=\"46365\""), std::string::npos);
    EXPECT_EQ(Inside(*Form).StoredDay, "46365");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].Text, "Minor update 1.11.6.0 available");

    Form.reset();
    Start();
    Form->CheckApplVersion();
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(Messages().size(), 1u);

    Form.reset();
    Start(Day + 1);
    Form->CheckApplVersion();
    EXPECT_EQ(server.Requests().size(), 2u);
}

// A day on which the program ran counts as checked, box ticked or not.
TEST_F(UpdateCheck, WithTheBoxUntickedNothingIsFetchedButTheDayIsStored) {
    TLoopbackServer server(Reply{VersionFile("1.11.6.0", "1.0.0.1")});
    UseServer(server.Address());
    Start();
    Form->findChild<QCheckBox*>("chbxUpdates")->setChecked(false);
    Form->CheckApplVersion();
    EXPECT_EQ(Inside(*Form).TodayText, "46365");
    EXPECT_EQ(Inside(*Form).StoredDay, "10000");
    Form->close();
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(Messages().empty());
    EXPECT_NE(Stored().find("\"juliancount\"=\"46365\""), std::string::npos);
}

TEST_F(UpdateCheck, AFailedFetchIsSilent) {
    TLoopbackServer missing(Reply{TLoopbackServer::Response("404 Not Found", "")});
    TLoopbackServer moved(Reply{TLoopbackServer::Response(
        "301 Moved Permanently", "", "Location: http://" + missing.Address() + "/\r\n")});
    TLoopbackServer huge(Reply{TLoopbackServer::Response("200 OK", std::string(10 << 20, '['))});
    for (const std::string& address :
         {missing.Address(), moved.Address(), huge.Address(), TLoopbackServer::RefusingAddress()})
        SilentSeconds(address);
    // The redirect was not followed.
    EXPECT_EQ(missing.Requests().size(), 1u);
    EXPECT_EQ(moved.Requests().size(), 1u);
    EXPECT_EQ(huge.Requests().size(), 1u);
}

TEST_F(UpdateCheck, AHangingServerGivesTheWindowBackWithinElevenSeconds) {
    TLoopbackServer silent(Reply{"", true});
    EXPECT_LT(SilentSeconds(silent.Address()), 11.0);
    const std::string whole = VersionFile("1.11.6.0", "1.1.0.0");
    TLoopbackServer halfWay(Reply{whole.substr(0, whole.size() - 10), true});
    EXPECT_LT(SilentSeconds(halfWay.Address()), 11.0);
    EXPECT_EQ(silent.Requests().size(), 1u);
    EXPECT_EQ(halfWay.Requests().size(), 1u);
}
