// neroAacTag: writes tags and chapter names into an MP4 file.

#include "Mp4Tagger.h"
#include "TagOptions.h"
#include "common/ToolText.h"

int main(int argc, char** argv) {
    TTagOptions options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!options.Parse(args))
        return tooltext::Usage("neroAacTag", options.Error());
    if (options.Help) {
        tooltext::Write(TTagOptions::HelpText(), 1);
        return 0;
    }
    TMp4Tagger tagger(options);
    return tagger.Run();
}
