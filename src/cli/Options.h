#pragma once

#include <string>
#include <vector>

// What the command line asks of parvane-convert.
struct TOptions {
    enum class TProgress { Auto, Always, Never };
    // How the command line ended: a run, a text to print, or bad usage (Error).
    enum class TAction { Run, Help, Version, Usage };

    TAction Action = TAction::Run;
    std::string Error;
    std::vector<std::string> Paths;
    // Empty: beside each source.
    std::string OutputDir;
    bool Flat = false;
    // Empty: a file per source.
    std::string Combine;
    unsigned Jobs = 0;
    // The window's default: constant bitrate, 192 kbps.
    std::string EncoderOption = "-cbr 192000";
    std::string Ext = ".m4a";
    bool Verify = false;
    bool DryRun = false;
    bool CopyArt = false;
    bool Quiet = false;
    bool Rename = false;
    TProgress Progress = TProgress::Auto;

    static TOptions Parse(int argc, char** argv);
    // The --help text, made from the same table the parser reads.
    static std::string HelpText();
    static std::string VersionText();
};
