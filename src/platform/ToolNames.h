#pragma once

#include <array>
#include <string>
#include <vector>

namespace platform {

// The external tools' file names in the application folder, as they are on disk here. Every
// caller builds its command lines from these; the presence check walks ToolNames in this order.
inline constexpr const char* MacTool = "mac";
// Decodes the formats beyond the first four; a source of them says so when it is missing.
inline constexpr const char* AvDecTool = "avdec";
inline constexpr const char* FlacTool = "flac";
inline constexpr const char* MetaflacTool = "metaflac";
inline constexpr const char* LameTool = "lame";
inline constexpr const char* EncoderTool = "neroAacEnc";
inline constexpr const char* TaggerTool = "neroAacTag";
inline constexpr const char* SleepTool = "sleep";

inline constexpr std::array<const char*, 7> ToolNames = {
    MacTool, FlacTool, MetaflacTool, LameTool, EncoderTool, TaggerTool, SleepTool};

// The tools of ToolNames that folder (ending in '/') lacks as files, in that order. Names
// compare without regard to case.
std::vector<std::string> MissingTools(const std::string& folder);

} // namespace platform
