#include "TagTestFiles.h"

#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <string_view>
#include <sys/wait.h>

extern char** environ;

TTempFolder::TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "parvane-tags-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    Path = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

namespace {

std::string Le(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

} // namespace

void WriteSilentWav(const std::string& path) {
    const std::uint32_t rate = 44100;
    const std::uint32_t dataSize = rate * 4;
    WriteFile(path, "RIFF" + Le(36 + dataSize, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(2, 2) +
                        Le(rate, 4) + Le(rate * 4, 4) + Le(4, 2) + Le(16, 2) + "data" +
                        Le(dataSize, 4) + std::string(dataSize, '\0'));
}

int RunTool(const std::string& tool, const std::vector<std::string>& arguments) {
    std::vector<std::string> args{std::string(PARVANE_APP_DIR) + tool};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The tools take their text arguments in the locale's encoding.
    std::vector<std::string> variables{"LC_ALL=C.UTF-8"};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string_view(*e).substr(0, 7) != "LC_ALL=")
            variables.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
