#include "app/RegFormat.h"

#include <QFile>
#include <QStandardPaths>
#include <QtGlobal>
#include <map>
#include <optional>

namespace regformat {

namespace {

constexpr QLatin1String Header("Windows Registry Editor Version 5.00");
constexpr QLatin1String Root("HKEY_CURRENT_USER");
constexpr QLatin1String DwordPrefix("dword:");
const int DwordDigits = 8;

bool IsHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

qsizetype LineEnd(const QString& text, qsizetype pos) {
    const qsizetype end = text.indexOf('\n', pos);
    return end < 0 ? text.size() : end;
}

bool RestIsBlank(const QString& text, qsizetype pos) {
    return text.sliced(pos, LineEnd(text, pos) - pos).trimmed().isEmpty();
}

void SkipBlanks(const QString& text, qsizetype& pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
}

// From the opening quote; a backslash takes the next character as it is. Nothing when the
// closing quote is missing.
std::optional<QString> Quoted(const QString& text, qsizetype& pos) {
    QString value;
    for (++pos; pos < text.size(); ++pos) {
        QChar c = text[pos];
        if (c == '"') {
            ++pos;
            return value;
        }
        if (c == '\\' && pos + 1 < text.size())
            c = text[++pos];
        value += c;
    }
    return std::nullopt;
}

QString Quote(QString text) {
    text.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + text + '"';
}

std::optional<QVariant> Value(const QString& text, qsizetype& pos) {
    if (pos < text.size() && text[pos] == '"') {
        const std::optional<QString> string = Quoted(text, pos);
        return string ? std::optional<QVariant>(*string) : std::nullopt;
    }
    if (!QStringView(text).sliced(pos).startsWith(DwordPrefix, Qt::CaseInsensitive))
        return std::nullopt;
    pos += DwordPrefix.size();
    const qsizetype start = pos;
    while (pos < text.size() && pos - start <= DwordDigits && IsHexDigit(text[pos]))
        ++pos;
    bool ok = false;
    const uint dword = QStringView(text).sliced(start, pos - start).toUInt(&ok, 16);
    if (!ok || pos - start > DwordDigits)
        return std::nullopt;
    return QVariant(static_cast<int>(dword));
}

// The group of a key line, "" for the root itself; nothing for keys of other roots, which are
// left alone.
std::optional<QString> Group(const QString& line) {
    if (!line.endsWith(']'))
        return std::nullopt;
    const QString path = line.sliced(1, line.size() - 2);
    if (path == Root)
        return QString();
    if (!path.startsWith(Root + '\\'))
        return std::nullopt;
    return path.sliced(Root.size() + 1).replace('\\', '/');
}

} // namespace

bool Read(QIODevice& device, QSettings::SettingsMap& map) {
    const QString text = QString::fromUtf8(device.readAll());
    qsizetype pos = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
    if (text.sliced(pos, LineEnd(text, pos) - pos).trimmed() != Header)
        return false;
    std::optional<QString> group;
    for (pos = LineEnd(text, pos); pos < text.size(); pos = LineEnd(text, pos)) {
        ++pos;
        SkipBlanks(text, pos);
        if (pos >= text.size())
            break;
        if (text[pos] == '[') {
            group = Group(text.sliced(pos, LineEnd(text, pos) - pos).trimmed());
            continue;
        }
        if (text[pos] != '"')
            continue;
        const std::optional<QString> name = Quoted(text, pos);
        if (!name)
            break;
        SkipBlanks(text, pos);
        if (pos >= text.size() || text[pos] != '=')
            continue;
        ++pos;
        SkipBlanks(text, pos);
        const std::optional<QVariant> value = Value(text, pos);
        // A '/' would make QSettings take part of the name for a subkey.
        if (!value || !RestIsBlank(text, pos) || !group || name->isEmpty() || name->contains('/'))
            continue;
        map.insert(group->isEmpty() ? *name : *group + '/' + *name, *value);
    }
    return true;
}

bool Write(QIODevice& device, const QSettings::SettingsMap& map) {
    std::map<QString, QString> keys;
    for (auto it = map.begin(); it != map.end(); ++it) {
        const qsizetype slash = it.key().lastIndexOf('/');
        const QString value =
            it.value().typeId() == QMetaType::Int
                ? DwordPrefix + QString("%1").arg(static_cast<uint>(it.value().toInt()),
                                                  DwordDigits, 16, QChar('0'))
                : Quote(it.value().toString());
        keys[slash < 0 ? QString() : it.key().left(slash)] +=
            Quote(it.key().sliced(slash + 1)) + '=' + value + '\n';
    }
    QString text = Header + "\n\n";
    for (const auto& [group, values] : keys) {
        text +=
            '[' + Root + (group.isEmpty() ? QString() : '\\' + QString(group).replace('/', '\\'));
        text += "]\n" + values + '\n';
    }
    const QByteArray bytes = text.toUtf8();
    return device.write(bytes) == bytes.size();
}

QSettings::Format Format() {
    static const QSettings::Format format = QSettings::registerFormat("reg", Read, Write);
    return format;
}

std::unique_ptr<QSettings> OpenUserSettings() {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>("HKEY_CURRENT_USER", QSettings::NativeFormat);
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<QSettings>(folder + "/Quillaby/ParvaneB.reg", Format());
#endif
}

bool Saved(const QSettings& settings) {
    // The status keeps its first error: a garbled file read before the write hides whether the
    // write went through, and the file itself then tells.
    if (settings.status() != QSettings::FormatError)
        return settings.status() == QSettings::NoError;
    QFile file(settings.fileName());
    QSettings::SettingsMap map;
    return file.open(QIODevice::ReadOnly) && Read(file, map);
}

} // namespace regformat
