// neroAacEnc: encodes WAV files into one AAC-LC MP4 file.

#include "AacEncoder.h"
#include "EncoderOptions.h"
#include "common/ToolText.h"

int main(int argc, char** argv) {
    TEncoderOptions options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return tooltext::Usage("neroAacEnc", "no input and output given");
    if (!options.Parse(args))
        return tooltext::Usage("neroAacEnc", options.Error());
    if (options.Help) {
        tooltext::Write(TEncoderOptions::HelpText(), 1);
        return 0;
    }
    TAacEncoder encoder(options);
    return encoder.Run();
}
