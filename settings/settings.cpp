// The settings file: seven choices kept between runs in "Cadenzo.ini" beside the executable.
//
// The file holds exactly seven bytes, one per choice, no header:
//   0 tempo position (0-210)   1 note delay (0 = 1050 ms, 1 = 2050 ms, 2 = 5050 ms)   2 repeat count (1, 3, 5)
//   3 instrument index         4 time-signature index   5 sound on (nonzero)   6 colour on (nonzero)
// A file that cannot be opened or does not hold exactly seven bytes leaves the defaults.
#include "app/cadenzo.h"

namespace {

const WCHAR kSettingsName[] = TEXT("Cadenzo.ini");
constexpr int kRecordSize = 7;
constexpr int kPathLength = MODULE_DIR_LENGTH + 16;

const WCHAR *const kInstrumentNames[] = {TEXT("Concert"), TEXT("Guitar"), TEXT("Bass"),
                                         TEXT("Cello"),   TEXT("Viola"),  TEXT("Violin")};
const WCHAR *const kTimeSignatureNames[] = {TEXT("None"), TEXT("2/4"), TEXT("3/4"), TEXT("4/4"),
                                            TEXT("5/4"),  TEXT("6/8"), TEXT("7/8")};

// The settings file's path: the executable's directory and the file name.
void SettingsPath(WCHAR *path) {
    TextCopy(path, kPathLength, app.moduleDir);
    int length = TextLength(path);
    TextCopy(path + length, kPathLength - length, kSettingsName);
}

}  // namespace

void LoadSettings(HINSTANCE instance) {
    // The directory of the executable: its file name cut just after the last backslash. A name without
    // any backslash has no directory, and the file is looked for in the current one.
    WCHAR moduleName[MODULE_DIR_LENGTH];
    moduleName[0] = 0;
    GetModuleFileNameW(instance, moduleName, MODULE_DIR_LENGTH);
    int cut = TextLength(moduleName);
    while (cut > 0 && moduleName[cut - 1] != TEXT('\\')) --cut;
    moduleName[cut] = 0;
    TextCopy(app.moduleDir, MODULE_DIR_LENGTH, moduleName);

    app.metronomeBeat = 0;
    app.accentBeat = 1;
    app.secondaryAccentBeat = 0;

    app.instrumentCount = 0;
    for (const WCHAR *name : kInstrumentNames) TextCopy(app.instrumentNames[app.instrumentCount++], NAME_LENGTH, name);
    app.timeSignatureCount = 0;
    for (const WCHAR *name : kTimeSignatureNames)
        TextCopy(app.timeSignatureNames[app.timeSignatureCount++], NAME_LENGTH, name);

    app.tempoPosition = 30;
    app.noteDelayMs = 1050;
    app.timeSignatureIndex = 0;
    app.repeatCount = 1;
    app.soundOn = 1;
    app.instrumentIndex = 0;
    app.colorOn = 1;

    WCHAR path[kPathLength];
    SettingsPath(path);
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;

    BYTE record[254];
    DWORD read = 0;
    ReadFile(file, record, sizeof record, &read, nullptr);
    if (read == kRecordSize) {
        app.tempoPosition = record[0];
        if (record[1] == 1) app.noteDelayMs = 2050;
        if (record[1] == 2) app.noteDelayMs = 5050;
        if (record[2] == 1 || record[2] == 3 || record[2] == 5) app.repeatCount = record[2];
        if (record[3] < app.instrumentCount) app.instrumentIndex = record[3];
        if (record[4] < app.timeSignatureCount) app.timeSignatureIndex = record[4];
        app.soundOn = record[5] != 0;
        app.colorOn = record[6] != 0;
    }
    CloseHandle(file);
}

void SaveSettings() {
    WCHAR path[kPathLength];
    SettingsPath(path);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);

    BYTE record[kRecordSize];
    record[0] = BYTE(app.tempoPosition);
    record[1] = app.noteDelayMs == 2050 ? 1 : app.noteDelayMs == 5050 ? 2 : 0;
    record[2] = BYTE(app.repeatCount);
    record[3] = BYTE(app.instrumentIndex);
    record[4] = BYTE(app.timeSignatureIndex);
    record[5] = BYTE(app.soundOn);
    record[6] = BYTE(app.colorOn);
    DWORD written = 0;
    WriteFile(file, record, kRecordSize, &written, nullptr);
    // A file that was ever longer would be ignored at every later start: cut it to the record.
    SetEndOfFile(file);
    CloseHandle(file);
}
