// What kelvarid-service.exe is asked to do by its command line. The service manager starts it
// with none; the installer asks it to set the rights of its folders, with Windows' own security
// functions, as an administrator; an administrator asks the running service for a drill. Plain C++.
#pragma once

#include <string_view>

namespace kelvarid {

enum class ServiceCommand {
    RunAsService,         // no option
    SetProgramRights,     // --set-program-rights ["folder"]: the folder named, or the one the program lies in
    MakeRecordFolder,     // --make-record-folder: made where missing, its rights set
    SetServiceRights,     // --set-service-rights: only administrators may control the installed service
    Drill,                // --drill: the running service stops its pulses until the circuit resets the machine
    Status,               // --status: the state of the pulses, for kelvaridctl status
    Unknown,              // anything else: nothing is done
};

inline constexpr wchar_t kSetProgramRightsOption[] = L"--set-program-rights";
inline constexpr wchar_t kMakeRecordFolderOption[] = L"--make-record-folder";
inline constexpr wchar_t kSetServiceRightsOption[] = L"--set-service-rights";
inline constexpr wchar_t kDrillOption[] = L"--drill";
inline constexpr wchar_t kStatusOption[] = L"--status";

// The service's own control code that asks it for a drill (128 to 255 are a service's own).
inline constexpr unsigned long kDrillControl = 128;

// `commandLine` as Windows gives it, the program's own name first, quoted or not.
ServiceCommand ParseServiceCommand(std::wstring_view commandLine);

// The folder named after --set-program-rights, without its quotes; empty when none is named.
std::wstring_view ProgramFolderArgument(std::wstring_view commandLine);

}  // namespace kelvarid
