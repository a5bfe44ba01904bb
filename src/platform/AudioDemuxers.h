#pragma once

namespace platform {

// The libavformat demuxers a source may be read with. Probing alone could take a text file for a
// playlist or a concatenation list and have the library open other files and addresses it
// names; audio containers open nothing but the file itself.
inline constexpr const char* AudioDemuxers =
    "wv,tta,mov,aiff,ogg,asf,wav,w64,rf64,matroska,caf,au,flac,ape,mp3,aac,ac3,eac3,dts,truehd,"
    "mlp,amr,mpc,mpc8,shn,tak,dsf,voc,xwma";
// Only the named file itself.
inline constexpr const char* FileProtocolOnly = "file";

} // namespace platform
