#pragma once

#include <QIODevice>
#include <QSettings>
#include <memory>

// The per-user settings store outside Windows: a file in the syntax of a registry export
// (version 5.00), so the key path, the value names and the value types stay what they are in the
// registry. Values under HKEY_CURRENT_USER\a\b become the keys "a/b/name"; a dword reads as an
// int and a string as a QString, so a value of the wrong type is detectable.
namespace regformat {

// False when the file is no registry export; lines it cannot read are skipped.
bool Read(QIODevice& device, QSettings::SettingsMap& map);
// Ints are written as dwords, everything else as strings.
bool Write(QIODevice& device, const QSettings::SettingsMap& map);

// The format, registered with QSettings on first use.
QSettings::Format Format();

// The user's settings: the registry on Windows, elsewhere <config folder>/Quillaby/ParvaneB.reg.
std::unique_ptr<QSettings> OpenUserSettings();

// Whether the last sync of the settings reached the store.
bool Saved(const QSettings& settings);

} // namespace regformat
