#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

// Every window reads and writes the settings and may check for an update when it is first
// activated, so each test starts with a settings folder of its own and a server that refuses.
class TFreshSettings : public testing::EmptyTestEventListener {
    std::filesystem::path Folder;

    void OnTestStart(const testing::TestInfo&) override {
        std::string pattern = (std::filesystem::temp_directory_path() / "parvane-gui-XXXXXX");
        Folder = mkdtemp(pattern.data()) ? std::filesystem::path(pattern) : std::filesystem::path();
        qputenv("XDG_CONFIG_HOME", Folder.c_str());
        qputenv("PARVANE_UPDATE_SERVER", "127.0.0.1:1");
    }
    void OnTestEnd(const testing::TestInfo&) override {
        std::error_code ignored;
        if (!Folder.empty())
            std::filesystem::remove_all(Folder, ignored);
    }
};

} // namespace

int main(int argc, char** argv) {
    // Test discovery runs this without the tests' environment; listing must not need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new TFreshSettings);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
