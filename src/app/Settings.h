#pragma once

#include <QString>

class QSettings;

// The seventeen values the window keeps between runs, under their stored names.
struct TSettings {
    bool Verify = false;         // verify
    bool Update = true;          // update
    bool NameTitle = true;       // nametitle
    bool Hints = true;           // hints
    bool OnTop = false;          // ontop
    bool ExitWhenDone = false;   // exitod
    bool FromSource = true;      // source
    int Combine = 0;             // combine
    int Rate = 5;                // rate
    int FilterIndex = 1;         // filterindex
    int Top = 50;                // top
    int Left = 50;               // left
    int RateButton = 0;          // ratebtn
    int CodePage = 0;            // codepage: 0 for the locale's
    QString Day = "10000";       // juliancount
    QString Quality = "33";      // quality
    QString FreeBitrate = "126"; // free

    // The stored values; a missing one, one of the wrong type and one out of its range take the
    // default. The settings' group must be open.
    static TSettings Read(QSettings& settings);
    void Write(QSettings& settings) const;
};
