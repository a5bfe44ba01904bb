// Writes the seed inputs of the fuzzers: one small well-formed example of every
// structure the readers know, so that fuzzing starts from inside the formats.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

std::string Be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string SyncSafe(std::uint32_t v) {
    return {static_cast<char>((v >> 21) & 0x7F), static_cast<char>((v >> 14) & 0x7F),
            static_cast<char>((v >> 7) & 0x7F), static_cast<char>(v & 0x7F)};
}

std::string Frame3(const std::string& id, const std::string& data, std::uint16_t flags = 0) {
    return id + Be32(static_cast<std::uint32_t>(data.size())) + static_cast<char>(flags >> 8) +
           static_cast<char>(flags) + data;
}

std::string Frame4(const std::string& id, const std::string& data, std::uint16_t flags = 0) {
    return id + SyncSafe(static_cast<std::uint32_t>(data.size())) + static_cast<char>(flags >> 8) +
           static_cast<char>(flags) + data;
}

std::string Id3v2(int version, const std::string& body, int flags = 0) {
    return "ID3"s + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
           SyncSafe(static_cast<std::uint32_t>(body.size())) + body + std::string(16, '\0') +
           "\xFF\xFB\x90\x64";
}

std::string Id3v1(bool revision1) {
    std::string block = "TAG" + std::string(125, '\0');
    block.replace(3, 5, "Title");
    block.replace(33, 6, "Artist");
    block.replace(63, 5, "Album");
    block.replace(93, 4, "1999");
    block.replace(97, 8, "Comment\xE9");
    if (revision1)
        block[126] = 3;
    block[127] = 17;
    return block;
}

std::string ApeItem(const std::string& key, const std::string& value) {
    return Le32(static_cast<std::uint32_t>(value.size())) + Le32(0) + key + '\0' + value;
}

std::string ApeTag(const std::vector<std::string>& items) {
    std::string tag;
    for (const std::string& item : items)
        tag += item;
    return tag + "APETAGEX" + Le32(2000) + Le32(static_cast<std::uint32_t>(tag.size() + 32)) +
           Le32(static_cast<std::uint32_t>(items.size())) + Le32(0) + std::string(8, '\0');
}

std::string Le16(std::uint16_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8)};
}

std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le32(static_cast<std::uint32_t>(body.size())) + body +
           (body.size() % 2 ? "\0"s : ""s);
}

std::string Riff(const std::string& chunks) {
    return "RIFF" + Le32(static_cast<std::uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

std::string WavFormat(std::uint16_t tag, std::uint16_t channels, std::uint16_t bits,
                      bool extensible = false) {
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    std::string body = Le16(extensible ? 0xFFFE : tag) + Le16(channels) + Le32(8000) +
                       Le32(8000u * align) + Le16(align) + Le16(bits);
    if (extensible)
        body += Le16(22) + Le16(bits) + Le32(3) + Le16(tag) +
                "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71"s;
    return Chunk("fmt ", body);
}

void Write(const std::filesystem::path& folder, const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary).write(bytes.data(), bytes.size());
}

} // namespace

// A FLAC file's head as metaflac leaves it after --import-cuesheet-from: STREAMINFO at 44.1 kHz
// and a CUESHEET block of two tracks and the lead-out, without any audio.
std::string FlacWithCueBlock() {
    const auto big = [](std::uint64_t value, int bytes) {
        std::string out;
        for (int i = bytes - 1; i >= 0; --i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
        return out;
    };
    std::string info(34, '\0');
    info[10] = '\x0A';
    info[11] = '\xC4';
    info[12] = '\x42';
    std::string cue(395, '\0');
    cue += '\x03';
    const auto track = [&](std::uint64_t offset, int number, int indexes) {
        std::string t = big(offset, 8) + static_cast<char>(number) + std::string(26, '\0') +
                        static_cast<char>(indexes);
        for (int i = 0; i < indexes; ++i)
            t += big(i == 0 ? 0 : 588, 8) + static_cast<char>(i + (indexes > 1 ? 0 : 1)) +
                 std::string(3, '\0');
        return t;
    };
    cue += track(0, 1, 1) + track(44100, 2, 2) + track(88200, 170, 0);
    return "fLaC" + std::string(1, '\0') + big(info.size(), 3) + info + std::string(1, '\x85') +
           big(cue.size(), 3) + cue;
}

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const std::filesystem::path corpus = argv[1];
    const auto id3v2 = corpus / "id3v2";
    const auto id3v1 = corpus / "id3v1";
    const auto ape = corpus / "apetag";
    const auto versionFile = corpus / "versionfile";
    const auto regFile = corpus / "regfile";

    Write(corpus / "cmdline", "tool",
          "\"/app/neroAacEnc\" -cbr 192000 -if \"/tmp/a b.wav\" -of \"x\"\"y.mp4\"");
    Write(corpus / "progress", "mac", "Progress: 45.3% (1.2 seconds remaining, 3.4 total)");
    Write(corpus / "progress", "flac", "track 01.flac: 45% complete, ratio=0.612");
    Write(corpus / "progress", "lame", "Frame#     2/1150   128 kbps  MS");
    Write(corpus / "cuesheet", "two-files",
          "\xEF\xBB\xBFREM GENRE Jazz\r\nREM DATE 1959\r\nPERFORMER \"Band\"\r\nTITLE \"Album\"\r\n"
          "FILE \"a.flac\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n"
          "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    INDEX 00 02:59:70\r\n"
          "    INDEX 01 03:00:01\r\nFILE b.wav WAVE\r\n  TRACK 03 AUDIO\r\n    INDEX 01 "
          "00:00:00\r\n");
    Write(corpus / "cuesheet", "utf16le",
          "\xFF\xFE"
          "F\0I\0L\0E\0 \0\"\0\x10\x04.\0w\0a\0v\0\"\0 \0W\0A\0V\0E\0\n\0"
          "T\0R\0A\0C\0K\0 \0\x30\0\x31\0 \0A\0U\0D\0I\0O\0\n\0"
          "I\0N\0D\0E\0X\0 \0\x30\0\x31\0 \0\x30\0:\0\x30\0\x32\0:\0\x30\0\x30\0"s);
    Write(corpus / "cuesheet", "gbk-hidden-data",
          "rem composer \"\"\n# note\nFILE \"\xB7\xB6.flac\" WAVE\nTRACK 01 AUDIO\n"
          "TITLE \"\xB0\xAE\xD4\xDA\"\nINDEX 00 00:00:00\nINDEX 01 00:05:00\nARRANGER x\n"
          "TRACK 02 MODE1/2352\nINDEX 01 50:00:00");
    Write(corpus / "cuesheet", "flac-cue-block", FlacWithCueBlock());
    Write(corpus / "cuesheet", "cp1252",
          "FILE \"disc.ape\" WAVE\nTRACK 01 AUDIO\nTITLE \"Caf\xE9\"\nINDEX 01 00:00:00\n");

    const std::string texts = Frame3("TIT2", "\x00T\xEDtle"s) +
                              Frame3("TPE1", "\x01\xFF\xFE"
                                             "A\x00r\x00\x00\x00"s) +
                              Frame3("TALB", "\x02\x00"
                                             "A\x00l"s) +
                              Frame3("TRCK", "\x03"
                                             "3/12\xC3\xA9"s) +
                              Frame3("COMM", "\x00"
                                             "engdesc\x00"
                                             "text"s) +
                              Frame3("COMM", "\x01"
                                             "eng\x00\x00\xFF\xFE"
                                             "c\x00"s);
    Write(id3v2, "v3-texts", Id3v2(3, texts));
    Write(id3v2, "v3-compressed", Id3v2(3, Frame3("TIT2", Be32(9) + "\x78\x9C"s, 0x00E0)));
    Write(id3v2, "v3-extended",
          Id3v2(3, Be32(6) + "\x00\x00"s + Be32(0) + Frame3("TIT2", "\x00x"s), 0xC0));
    Write(id3v2, "v4-flags",
          Id3v2(4, Frame4("TIT2",
                          "\x05\x01" + SyncSafe(3) +
                              "\x03"
                              "abc"s,
                          0x7047) +
                       Frame4("TPE1",
                              "\x01\xFE\xFF\x00"
                              "A"s,
                              0x0002)));
    Write(id3v2, "v4-extended",
          Id3v2(4,
                SyncSafe(6) + "\x01\x00"s +
                    Frame4("COMM", "\x03"
                                   "enga\x00"
                                   "b"s),
                0x50));
    Write(id3v2, "v2",
          Id3v2(2, "TT2\x00\x00\x04\x00"
                   "abc"s));
    Write(id3v2, "v2-frames",
          Id3v2(2, "TT2\x00\x00\x04\x00"
                   "abcPIC\x00\x00\x02xyCOM\x00\x00\x09\x00"
                   "eng\x00"
                   "note"s));
    Write(id3v2, "v4-itunes",
          Id3v2(4, Frame4("COMM", "\x00"
                                  "engiTunNORM\x00 0000021A"s) +
                       Frame4("TDRC", "\x03"
                                      "2004-05-06"s) +
                       Frame4("TCON", "\x00(17)Rock"s)));

    const std::string audio16(64, '\x40');
    const std::vector<std::pair<std::string, std::string>> wavs = {
        {"canonical", Riff(WavFormat(1, 2, 16) + Chunk("data", audio16))},
        {"mono8", Riff(WavFormat(1, 1, 8) + Chunk("data", "\x80\x81\x7F"s))},
        {"float", Riff(WavFormat(3, 1, 32) + Chunk("data", audio16))},
        {"extensible24", Riff(WavFormat(1, 2, 24, true) + Chunk("data", std::string(60, '\1')))},
        {"junk-first", Riff(Chunk("JUNK", std::string(28, '\0')) + WavFormat(1, 2, 16) +
                            Chunk("LIST", "INFOISFT\x03\0\0\0ab"s) + Chunk("data", audio16))},
        {"open-size", Riff(WavFormat(1, 2, 16) + "data" + Le32(0xFFFFFFFF) + audio16)},
        {"overlong", Riff(WavFormat(1, 2, 16) + "data" + Le32(100000) + audio16)},
        {"data-first", Riff(Chunk("data", audio16) + WavFormat(1, 2, 16))},
        {"rf64", "RF64" + Le32(0xFFFFFFFF) + "WAVE" +
                     Chunk("ds64", std::string(8, '\0') + "\x40" + std::string(19, '\0')) +
                     WavFormat(1, 2, 16) + "data" + Le32(0xFFFFFFFF) + audio16 +
                     Chunk("LIST", "INFO"s)},
        {"lame-mark", Riff(WavFormat(1, 2, 16) + "data" + Le32(0x80000000) + audio16)},
        {"mark-then-chunk",
         Riff(WavFormat(1, 2, 16) + "data" + Le32(0xFFFFFFD0) + audio16 + Chunk("LIST", "INFO"s))}};
    for (const auto& [name, bytes] : wavs) {
        Write(corpus / "wavinfo", name, bytes);
        Write(corpus / "wavreader", name, bytes);
    }

    // STREAMINFO of 44.1 kHz stereo 16-bit, and an MPEG-1 layer III frame with its Xing count.
    Write(corpus / "streamheader", "flac",
          "fLaC\x00\x00\x00\x22\x10\x00\x10\x00"s + std::string(6, '\0') +
              "\x0A\xC4\x42\xF0\x00\x01\x58\x88"s + std::string(16, '\0'));
    Write(corpus / "streamheader", "mp3-xing",
          "ID3\x03\x00\x00\x00\x00\x00\x02\x00\x00\xFF\xFB\x90\x64"s + std::string(32, '\0') +
              "Xing\x00\x00\x00\x01\x00\x00\x01\x00"s);
    Write(id3v1, "v1-1", Id3v1(true));
    Write(id3v1, "v1-0", Id3v1(false));

    const std::string audio(200, '\x55');
    const std::string items =
        ApeTag({ApeItem("Title", "T\xC3\xADtle"), ApeItem("artist", "A"), ApeItem("Track", "3"),
                ApeItem("YEAR", "1999"), ApeItem("Cover Art (Front)", std::string(600, '\xFF')),
                ApeItem("Comment", "c\0d"s)});
    Write(ape, "ape-and-id3v1", audio + items + Id3v1(true));
    Write(ape, "ape-only", audio + items);
    Write(ape, "id3v1-only", audio + Id3v1(false));

    Write(versionFile, "minor",
          "; Parvane\r\n[VERSION]\r\nfileversion=1.11.6.0\r\nProductVersion=1.0.0.1\r\n"
          "[other]\r\nFileVersion=9.9.9.9\r\n");
    Write(versionFile, "odd", "[version]\n\n[a]b\nFileVersion= 1. 11.7 .0\rProductVersion=2.x\n");

    Write(regFile, "settings",
          "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CURRENT_USER\\software\\Quillaby\\ParvaneB]\r\n"
          "\"rate\"=dword:00000005\r\n\"juliancount\"=\"46365\"\r\n\"q\\\"\\\\\"=\"a\nb\"\r\n"
          "[HKEY_LOCAL_MACHINE\\x]\r\n\"bin\"=hex:01,\\\r\n  02\r\n@=\"d\"\r\n"
          "[HKEY_CURRENT_USER]\r\n\"top\"=DWORD:ffffffff\r\n");
    return 0;
}
