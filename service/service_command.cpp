#include "service/service_command.h"

namespace kelvarid {

namespace {

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
    return text;
}

// What follows the program's name: "C:\Program Files\Kelvarid\kelvarid-service.exe" in quotes
// ends at the closing quote, an unquoted name at the first blank.
std::wstring_view AfterProgramName(std::wstring_view commandLine) {
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const std::size_t closing = commandLine.find(L'"', 1);
        return closing == std::wstring_view::npos ? std::wstring_view() : commandLine.substr(closing + 1);
    }
    std::size_t end = 0;
    while (end < commandLine.size() && !Blank(commandLine[end])) ++end;
    return commandLine.substr(end);
}

}  // namespace

ServiceCommand ParseServiceCommand(std::wstring_view commandLine) {
    const std::wstring_view options = Trimmed(AfterProgramName(commandLine));
    if (options.empty()) return ServiceCommand::RunAsService;
    if (options == kSetProgramRightsOption) return ServiceCommand::SetProgramRights;
    if (options == kMakeRecordFolderOption) return ServiceCommand::MakeRecordFolder;
    if (options == kSetServiceRightsOption) return ServiceCommand::SetServiceRights;
    if (options == kDrillOption) return ServiceCommand::Drill;
    return ServiceCommand::Unknown;
}

}  // namespace kelvarid
