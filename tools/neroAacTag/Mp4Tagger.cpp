#include "Mp4Tagger.h"

#include "FdReader.h"
#include "GaplessInfo.h"
#include "common/AvHelpers.h"
#include "common/AvLog.h"
#include "common/FdIo.h"
#include "common/OutputFile.h"
#include "common/ToolText.h"
#include "platform/ImageHeader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

const std::string Tool = "neroAacTag";
constexpr unsigned MaxChplChapters = 255;
constexpr off_t MaxCoverBytes = 16 << 20;

AVCodecID CodecOf(platform::TImageKind kind) {
    return kind == platform::TImageKind::Jpeg  ? AV_CODEC_ID_MJPEG
           : kind == platform::TImageKind::Png ? AV_CODEC_ID_PNG
                                               : AV_CODEC_ID_NONE;
}

// What the file's ©too names.
const std::string ToolName = "Parvane " PARVANE_VERSION;

// trkn and disk hold a number and optionally a total: "3" or "3/12".
bool IsTrackNumber(const std::string& value) {
    const auto slash = value.find('/');
    auto digits = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos &&
               std::atoi(s.c_str()) > 0;
    };
    return slash == std::string::npos
               ? digits(value)
               : digits(value.substr(0, slash)) && digits(value.substr(slash + 1));
}

bool IsFlag(const std::string& value) {
    return value == "0" || value == "1";
}

// The writer's second pass, which puts the index ahead of the audio, reads the new file back.
int OpenReadBack(AVFormatContext* s, AVIOContext** pb, const char* /*url*/, int flags,
                 AVDictionary** /*options*/) {
    if ((flags & AVIO_FLAG_WRITE) != 0 || !s->opaque)
        return AVERROR(EINVAL);
    auto* reader = new (std::nothrow) TFdReader(*static_cast<const int*>(s->opaque));
    if (!reader || !reader->Context()) {
        delete reader;
        return AVERROR(ENOMEM);
    }
    *pb = reader->Context();
    return 0;
}

int CloseReadBack(AVFormatContext* /*s*/, AVIOContext* pb) {
    delete static_cast<TFdReader*>(pb->opaque);
    return 0;
}

} // namespace

TMp4Tagger::TMp4Tagger(const TTagOptions& options) : Options(options) {}

TMp4Tagger::~TMp4Tagger() {
    if (Output) {
        Output->pb = nullptr;
        avformat_free_context(Output);
    }
    avformat_close_input(&Input);
}

bool TMp4Tagger::Fail(const std::string& reason, int code) {
    Err = TAvLog::Reason(reason, code);
    return false;
}

bool TMp4Tagger::ReadCover() {
    if (Options.Cover.empty())
        return true;
    const std::string name = tooltext::ShortPath(Options.Cover, 100);
    const int fd = open(Options.Cover.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail("cannot read the cover " + name + ": " + std::strerror(errno));
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_size > MaxCoverBytes) {
        close(fd);
        return Fail("the cover " + name + " is larger than 16 MiB");
    }
    CoverBytes.resize(ok ? static_cast<std::size_t>(st.st_size) : 0);
    for (std::size_t done = 0; ok && done < CoverBytes.size();) {
        const ssize_t n = read(fd, CoverBytes.data() + done, CoverBytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    close(fd);
    if (!ok)
        return Fail("cannot read the cover " + name);
    const platform::TImageHeader header = platform::ReadImageHeader(CoverBytes);
    CoverCodec = CodecOf(header.Kind);
    if (CoverCodec == AV_CODEC_ID_NONE)
        return Fail("the cover " + name + " is not a JPEG or PNG image");
    CoverWidth = header.Width;
    CoverHeight = header.Height;
    return CoverWidth > 0 || Fail("the cover " + name + " is a damaged image");
}

bool TMp4Tagger::OpenInput() {
    int ret = avformat_open_input(&Input, Path.c_str(), av_find_input_format("mp4"), nullptr);
    if (ret == AVERROR(EACCES))
        return Fail("cannot read " + tooltext::ShortPath(Options.File, 100), ret);
    if (ret < 0)
        return Fail(tooltext::ShortPath(Options.File, 100) + " is not an MP4 file", ret);
    StreamMap.assign(Input->nb_streams, -1);
    bool audio = false;
    for (unsigned i = 0; i < Input->nb_streams; ++i) {
        const AVStream* in = Input->streams[i];
        // The cover the file has stays, unless a new one takes its place.
        const bool cover = (in->disposition & AV_DISPOSITION_ATTACHED_PIC) && Options.Cover.empty();
        if (in->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            audio = true;
        else if (!cover)
            Input->streams[i]->discard = AVDISCARD_ALL;
    }
    return audio || Fail(tooltext::ShortPath(Options.File, 100) + " holds no audio");
}

void TMp4Tagger::SetFileTags() {
    av_dict_copy(&Output->metadata, Input->metadata, 0);
    // The brands describe the old file; the writer sets its own.
    for (const char* key : {"major_brand", "minor_version", "compatible_brands"})
        av_dict_set(&Output->metadata, key, nullptr, 0);
    TTagOptions::TValues values = Options.EffectiveFileValues(Input->nb_chapters);
    const auto total = values.find(TTagOptions::TrackTotalKey);
    if (total != values.end()) {
        const auto track = values.find("track");
        if (track != values.end() && !track->second.empty() && !total->second.empty() &&
            track->second.find('/') == std::string::npos)
            track->second += "/" + total->second;
        values.erase(total);
    }
    for (const auto& [key, value] : values) {
        const bool number = key == "track" || key == "disc";
        const bool write = !value.empty() && (!number || IsTrackNumber(value)) &&
                           (key != "compilation" || IsFlag(value));
        if (!value.empty() && !write)
            tooltext::Line((number ? (key == "track" ? "Track " : "Disc ") + value +
                                         " is not a number like 3 or 3/12"
                                   : "Compilation " + value + " is not 1 or 0") +
                           "; not written");
        av_dict_set(&Output->metadata, key.c_str(), write ? value.c_str() : nullptr, 0);
        TagsWritten += write;
    }
    if (tooltext::EndsWithNoCase(Path, ".m4b"))
        av_dict_set(&Output->metadata, "media_type", "2", 0);
    // Room for the gapless information behind the tool's name, which the writer has no box
    // for: it is put there once the file is written, without moving a byte.
    av_dict_set(&Output->metadata, "encoding_tool",
                (ToolName + std::string(TGaplessInfo::BoxLength, '-')).c_str(), 0);
}

bool TMp4Tagger::SetChapters() {
    // Chapter 1 of a file without chapters is the usual single-source case, not a mistake.
    for (const auto& [k, values] : Options.ChapterValues)
        if (static_cast<unsigned>(k) > Input->nb_chapters && k > 1)
            tooltext::Line("The file has no chapter " + std::to_string(k) +
                           "; its values are not used");
    if (Input->nb_chapters == 0)
        return true;
    Output->chapters = static_cast<AVChapter**>(av_calloc(Input->nb_chapters, sizeof(AVChapter*)));
    if (!Output->chapters)
        return Fail("out of memory");
    for (unsigned i = 0; i < Input->nb_chapters; ++i) {
        const AVChapter* in = Input->chapters[i];
        auto* out = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!out)
            return Fail("out of memory");
        Output->chapters[Output->nb_chapters++] = out;
        out->id = in->id;
        out->time_base = in->time_base;
        out->start = in->start;
        out->end = in->end;
        av_dict_copy(&out->metadata, in->metadata, 0);
        const int k = static_cast<int>(i) + 1;
        const auto values = Options.ChapterValues.find(k);
        const AVDictionaryEntry* old = av_dict_get(in->metadata, "title", nullptr, 0);
        std::string title = old && *old->value ? old->value : "Chapter " + std::to_string(k);
        if (values != Options.ChapterValues.end()) {
            const auto given = values->second.find("title");
            title = given != values->second.end() && !given->second.empty()
                        ? given->second
                        : "Chapter " + std::to_string(k);
        }
        av_dict_set(&out->metadata, "title", title.c_str(), 0);
    }
    return true;
}

bool TMp4Tagger::OpenOutput(TFdIo& io) {
    const bool ipod =
        tooltext::EndsWithNoCase(Path, ".m4a") || tooltext::EndsWithNoCase(Path, ".m4b");
    int ret = avformat_alloc_output_context2(&Output, nullptr, ipod ? "ipod" : "mp4", nullptr);
    if (ret < 0)
        return Fail("cannot start the MP4 writer", ret);
    Output->pb = io.Context();
    Output->flags |= AVFMT_FLAG_CUSTOM_IO;
    Output->opaque = &OutputFd;
    Output->io_open = OpenReadBack;
    Output->io_close2 = CloseReadBack;
    // Left at its default, the writer empties its buffer after every packet.
    Output->flush_packets = 0;
    for (unsigned i = 0; i < Input->nb_streams; ++i) {
        const AVStream* in = Input->streams[i];
        if (in->discard == AVDISCARD_ALL)
            continue;
        AVStream* out = avformat_new_stream(Output, nullptr);
        if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
            return Fail("out of memory");
        out->codecpar->codec_tag = 0;
        // The reader leaves a cover's size unset and the writer insists on one, though the
        // covr atom keeps none: a cover whose size cannot be read (a BMP) passes as 1 x 1.
        if (in->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            const AVPacket& pic = in->attached_pic;
            const platform::TImageHeader header =
                platform::ReadImageHeader(std::span(pic.data, static_cast<std::size_t>(pic.size)));
            out->codecpar->width = std::max(header.Width, 1);
            out->codecpar->height = std::max(header.Height, 1);
        }
        out->time_base = in->time_base;
        out->disposition = in->disposition;
        av_dict_copy(&out->metadata, in->metadata, 0);
        StreamMap[i] = out->index;
    }
    if (CoverCodec != AV_CODEC_ID_NONE) {
        AVStream* cover = avformat_new_stream(Output, nullptr);
        if (!cover)
            return Fail("out of memory");
        cover->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        cover->codecpar->codec_id = static_cast<AVCodecID>(CoverCodec);
        cover->codecpar->width = CoverWidth;
        cover->codecpar->height = CoverHeight;
        cover->disposition = AV_DISPOSITION_ATTACHED_PIC;
        cover->time_base = AVRational{1, 90000};
        CoverStream = cover->index;
    }
    SetFileTags();
    if (!SetChapters())
        return false;
    AVDictionary* options = nullptr;
    // Players that stream a file or read it front to back need the index before the audio.
    av_dict_set(&options, "movflags",
                Output->nb_chapters > MaxChplChapters ? "+faststart+disable_chpl" : "+faststart",
                0);
    // The edit list's length is written in the movie time scale; in milliseconds, the writer's
    // default, it would lose the samples of the length's last fraction of a millisecond.
    for (unsigned i = 0; i < Output->nb_streams; ++i)
        if (Output->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            av_dict_set_int(&options, "movie_timescale", Output->streams[i]->codecpar->sample_rate,
                            0);
    ret = avformat_write_header(Output, &options);
    av_dict_free(&options);
    if (ret < 0)
        return Fail("cannot write the new file: " + io.Error(ret));
    return true;
}

bool TMp4Tagger::WriteCover() {
    if (CoverStream < 0)
        return true;
    const avhelpers::TPacketPtr packet(av_packet_alloc());
    int ret =
        packet ? av_new_packet(packet.get(), static_cast<int>(CoverBytes.size())) : AVERROR(ENOMEM);
    if (ret >= 0) {
        std::memcpy(packet->data, CoverBytes.data(), CoverBytes.size());
        packet->stream_index = CoverStream;
        packet->pts = packet->dts = 0;
        packet->flags |= AV_PKT_FLAG_KEY;
        ret = av_interleaved_write_frame(Output, packet.get());
    }
    return ret >= 0 || Fail("cannot write the new file: " + Io->Error(ret));
}

bool TMp4Tagger::CopyPackets() {
    const avhelpers::TPacketPtr packet(av_packet_alloc());
    if (!packet)
        return Fail("out of memory");
    const int end = avhelpers::ReadPackets(Input, packet.get(), [&] {
        const int target = StreamMap[static_cast<unsigned>(packet->stream_index)];
        if (target < 0)
            return true;
        av_packet_rescale_ts(packet.get(), Input->streams[packet->stream_index]->time_base,
                             Output->streams[target]->time_base);
        packet->stream_index = target;
        packet->pos = -1;
        const int ret = av_interleaved_write_frame(Output, packet.get());
        return ret >= 0 || Fail("cannot write the new file: " + Io->Error(ret));
    });
    if (end < 0)
        return Fail("cannot read " + tooltext::ShortPath(Options.File, 100), end);
    return end == avhelpers::PacketsEnd;
}

bool TMp4Tagger::WriteGaplessInfo() {
    int rate = 0;
    for (unsigned i = 0; i < Output->nb_streams; ++i)
        if (Output->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            rate = Output->streams[i]->codecpar->sample_rate;
    TGaplessInfo gapless;
    errno = 0;
    if (!gapless.Read(OutputFd, rate) || !gapless.WriteInto(OutputFd, ToolName))
        return Fail("cannot write the gapless playback information: " +
                    std::string(errno ? std::strerror(errno) : "the new file has no room for it"));
    return true;
}

int TMp4Tagger::Run() {
    TAvLog::Install();
    tooltext::Line("neroAacTag: MP4 tagger (Parvane, FFmpeg libavformat " +
                   avhelpers::VersionText(avformat_version()) + ")");
    tooltext::Line("File: " + tooltext::ShortPath(Options.File));
    const std::string file = tooltext::ShortPath(Options.File, 100);
    // The new file goes beside the real file, so a link keeps pointing at the tagged result.
    char resolved[PATH_MAX];
    if (!realpath(Options.File.c_str(), resolved))
        return tooltext::Error(Tool, "cannot open " + file + ": " + std::strerror(errno));
    Path = resolved;
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return tooltext::Error(Tool, file + " is not a regular file");
    if (access(Path.c_str(), W_OK) != 0)
        return tooltext::Error(Tool, file + " is read-only: " + std::strerror(errno));
    if (!ReadCover())
        return tooltext::Error(Tool, Err + "; " + file + " is unchanged");
    if (!OpenInput())
        return tooltext::Error(Tool, Err);

    TOutputFile out(Path);
    if (!out.Create())
        return tooltext::Error(Tool, out.Error());
    fchmod(out.Fd(), st.st_mode & 07777);
    OutputFd = out.Fd();
    TFdIo io(out.Fd());
    if (!io.Context())
        return tooltext::Error(Tool, "out of memory");
    Io = &io;
    bool ok = OpenOutput(io) && WriteCover() && CopyPackets();
    int ret = 0;
    if (ok && (ret = av_write_trailer(Output)) < 0)
        ok = Fail("cannot finish the new file: " + io.Error(ret));
    if (ok && !io.Flush())
        ok = Fail("cannot write the new file: " + io.Error());
    if (ok)
        ok = WriteGaplessInfo();
    if (!ok) {
        out.Discard();
        return tooltext::Error(Tool, Err + "; " + file + " is unchanged");
    }
    if (!out.CommitReplace(true))
        return tooltext::Error(Tool, out.Error() + "; " + file + " is unchanged");
    tooltext::Line("Done: " + std::to_string(TagsWritten) + " tags, " +
                   std::to_string(Output->nb_chapters) + " chapters");
    return 0;
}
