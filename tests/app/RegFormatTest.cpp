#include "app/RegFormat.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QSettings::SettingsMap Parse(const QByteArray& bytes, bool* ok = nullptr) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QSettings::SettingsMap map;
    const bool read = regformat::Read(buffer, map);
    if (ok)
        *ok = read;
    return map;
}

QByteArray Written(const QSettings::SettingsMap& map) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(regformat::Write(buffer, map));
    return buffer.data();
}

const QByteArray Header = "Windows Registry Editor Version 5.00\r\n\r\n";

} // namespace

TEST(RegFormat, ReadsDwordsAsIntsAndStringsAsTexts) {
    const auto map = Parse(Header + "[HKEY_CURRENT_USER\\software\\Quillaby\\ParvaneB]\r\n"
                                    "\"rate\"=dword:00000005\r\n"
                                    "\"top\"=DWORD:FFFFFFFB\r\n"
                                    "\"juliancount\"=\"46365\"\r\n"
                                    "  \"odd \\\"name\\\\\" = \"a\\\\b\\\"c\"  \r\n");
    ASSERT_EQ(map.size(), 4);
    EXPECT_EQ(map["software/Quillaby/ParvaneB/rate"].typeId(), QMetaType::Int);
    EXPECT_EQ(map["software/Quillaby/ParvaneB/rate"].toInt(), 5);
    EXPECT_EQ(map["software/Quillaby/ParvaneB/top"].toInt(), -5);
    EXPECT_EQ(map["software/Quillaby/ParvaneB/juliancount"].typeId(), QMetaType::QString);
    EXPECT_EQ(map["software/Quillaby/ParvaneB/juliancount"].toString(), "46365");
    EXPECT_EQ(map["software/Quillaby/ParvaneB/odd \"name\\"].toString(), "a\\b\"c");
}

TEST(RegFormat, WritesTheSyntaxOfARegistryExport) {
    const QSettings::SettingsMap map{{"software/Quillaby/ParvaneB/verify", 1},
                                     {"software/Quillaby/ParvaneB/left", -1},
                                     {"software/Quillaby/ParvaneB/free", "1\"2\\3"},
                                     {"software/Other/x", "y"},
                                     {"top", 10}};
    EXPECT_EQ(Written(map), "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_CURRENT_USER]\n\"top\"=dword:0000000a\n\n"
                            "[HKEY_CURRENT_USER\\software\\Other]\n\"x\"=\"y\"\n\n"
                            "[HKEY_CURRENT_USER\\software\\Quillaby\\ParvaneB]\n"
                            "\"free\"=\"1\\\"2\\\\3\"\n\"left\"=dword:ffffffff\n"
                            "\"verify\"=dword:00000001\n\n");
    EXPECT_EQ(Parse(Written(map)), map);
}

// Values of other roots and types, comments and broken lines are skipped; the rest is read.
TEST(RegFormat, SkipsWhatItCannotReadAndKeepsTheRest) {
    bool ok = false;
    const auto map = Parse("\xEF\xBB\xBF" + Header +
                               "; a comment\n[HKEY_LOCAL_MACHINE\\software]\n\"a\"=\"1\"\n"
                               "[HKEY_CURRENT_USER\\k]\n"
                               "\"bin\"=hex:01,02,\\\n  03\n"
                               "\"long\"=dword:000000001\n\"empty\"=dword:\n"
                               "\"trailing\"=\"x\" junk\n\"nothing\"=\n\"no equals\"\n"
                               "\"slash/name\"=\"s\"\n\"\"=\"blank name\"\n@=\"default\"\n"
                               "\"multi\"=\"line 1\nline 2\"\n"
                               "[broken\n\"lost\"=\"l\"\n"
                               "[HKEY_CURRENT_USER\\k]\n\"good\"=dword:7\n\"open\"=\"x",
                           &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(map, (QSettings::SettingsMap{{"k/multi", "line 1\nline 2"}, {"k/good", 7}}));
}

TEST(RegFormat, AFileWithoutTheHeaderIsNoExport) {
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("[HKEY_CURRENT_USER\\k]\n\"a\"=\"1\"\n"),
          QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\k]\n\"a\"=\"1\"\n"),
          QByteArray("\0\xff\xfe garbage", 12)}) {
        bool ok = true;
        EXPECT_TRUE(Parse(bytes, &ok).isEmpty());
        EXPECT_FALSE(ok);
    }
}

// Through QSettings: the key path is a group, and values of other programs stay in the file.
TEST(RegFormat, KeepsOtherValuesWhenQSettingsRewritesTheFile) {
    QTemporaryDir folder;
    const QString file = folder.filePath("ParvaneB.reg");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(Header + "[HKEY_CURRENT_USER\\software\\Other]\r\n\"keep\"=\"me\"\r\n");
    }
    {
        QSettings settings(file, regformat::Format());
        settings.beginGroup("software/Quillaby/ParvaneB");
        settings.setValue("rate", 3);
        settings.setValue("free", "128");
        settings.endGroup();
        settings.sync();
        EXPECT_TRUE(regformat::Saved(settings));
    }
    QSettings settings(file, regformat::Format());
    EXPECT_EQ(settings.value("software/Other/keep"), QVariant("me"));
    EXPECT_EQ(settings.value("software/Quillaby/ParvaneB/rate"), QVariant(3));
    EXPECT_EQ(settings.value("software/Quillaby/ParvaneB/free"), QVariant("128"));
}
