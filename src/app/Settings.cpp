#include "app/Settings.h"

#include "platform/CodePage.h"

#include <QSettings>
#include <algorithm>
#include <climits>

namespace {

struct TFlag {
    const char* Name;
    bool TSettings::*Value;
};

// The controls produce nothing outside the range; a stored value outside it takes its default.
struct TNumber {
    const char* Name;
    int TSettings::*Value;
    int Low;
    int High;
};

// Digits limits a text to that many decimal digits, as its edit holds it; 0 is any text.
struct TText {
    const char* Name;
    QString TSettings::*Value;
    qsizetype Digits;
};

// The defaults are those of TSettings itself.
constexpr TFlag Flags[] = {
    {"verify", &TSettings::Verify},       {"update", &TSettings::Update},
    {"nametitle", &TSettings::NameTitle}, {"hints", &TSettings::Hints},
    {"ontop", &TSettings::OnTop},         {"exitod", &TSettings::ExitWhenDone},
    {"source", &TSettings::FromSource},
};

constexpr TNumber Numbers[] = {
    {"combine", &TSettings::Combine, 0, 1},
    {"rate", &TSettings::Rate, 0, 9},
    {"filterindex", &TSettings::FilterIndex, 1, 3},
    {"top", &TSettings::Top, INT_MIN, INT_MAX},
    {"left", &TSettings::Left, INT_MIN, INT_MAX},
    {"ratebtn", &TSettings::RateButton, INT_MIN, INT_MAX},
    {"codepage", &TSettings::CodePage, 0, INT_MAX},
};

const TText Texts[] = {
    {"juliancount", &TSettings::Day, 0},
    {"quality", &TSettings::Quality, 2},
    {"free", &TSettings::FreeBitrate, 3},
};

bool AllDigits(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

} // namespace

TSettings TSettings::Read(QSettings& settings) {
    TSettings read;
    // A missing value and one of the wrong type alike take the default.
    const auto number = [&](const char* name, int fallback) {
        const QVariant value = settings.value(name);
        return value.typeId() == QMetaType::Int ? value.toInt() : fallback;
    };
    for (const TFlag& flag : Flags)
        read.*flag.Value = number(flag.Name, read.*flag.Value) != 0;
    for (const TNumber& entry : Numbers) {
        const int value = number(entry.Name, read.*entry.Value);
        if (value >= entry.Low && value <= entry.High)
            read.*entry.Value = value;
    }
    // Only a code page the menu offers.
    if (std::find(platform::ChoosableCodePages.begin(), platform::ChoosableCodePages.end(),
                  read.CodePage) == platform::ChoosableCodePages.end())
        read.CodePage = 0;
    // An empty text also takes the default, and so does one its edit could not hold.
    for (const TText& entry : Texts) {
        const QVariant value = settings.value(entry.Name);
        const QString stored = value.typeId() == QMetaType::QString ? value.toString() : QString();
        const bool fits = entry.Digits == 0 || (stored.size() <= entry.Digits && AllDigits(stored));
        if (!stored.isEmpty() && fits)
            read.*entry.Value = stored;
    }
    return read;
}

void TSettings::Write(QSettings& settings) const {
    for (const TFlag& flag : Flags)
        settings.setValue(flag.Name, this->*flag.Value ? 1 : 0);
    for (const TNumber& entry : Numbers)
        settings.setValue(entry.Name, this->*entry.Value);
    for (const TText& entry : Texts)
        settings.setValue(entry.Name, this->*entry.Value);
}
