// Processes.
//
// Implements: CreateProcessW, handed to the host, which plays the platform's programs the program
// starts (the help viewer). The application name is required; the command line is only the
// arguments, as on the platform. No process information is returned (the program passes none).
// Leaves out: waiting for, inheriting into or otherwise controlling the started process.
#include "core.h"

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, SECURITY_ATTRIBUTES *, SECURITY_ATTRIBUTES *, BOOL,
                    DWORD, LPVOID, LPCWSTR, STARTUPINFOW *, PROCESS_INFORMATION *processInformation) {
    if (processInformation) *processInformation = PROCESS_INFORMATION{};
    if (!applicationName || IS_INTRESOURCE(applicationName) || !applicationName[0]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string args = commandLine && !IS_INTRESOURCE(commandLine) ? std::u16string(commandLine) : std::u16string();
    if (!host::StartProcess(applicationName, args)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}
