#include "app/RegFormat.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>

namespace {

bool Read(const QByteArray& bytes, QSettings::SettingsMap& map) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return regformat::Read(buffer, map);
}

} // namespace

// What the reader takes from any file, the writer writes so that it reads back the same.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QSettings::SettingsMap map;
    if (!Read(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), map))
        return 0;
    QBuffer written;
    written.open(QIODevice::WriteOnly);
    if (!regformat::Write(written, map))
        std::abort();
    QSettings::SettingsMap again;
    if (!Read(written.data(), again) || again != map)
        std::abort();
    return 0;
}
