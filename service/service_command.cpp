#include "service/service_command.h"

#include <optional>

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

// What follows --set-program-rights and a blank, or nothing when the options are another.
std::optional<std::wstring_view> AfterSetProgramRights(std::wstring_view options) {
    const std::wstring_view option = kSetProgramRightsOption;
    if (options.substr(0, option.size()) != option) return std::nullopt;
    const std::wstring_view rest = options.substr(option.size());
    if (!rest.empty() && !Blank(rest.front())) return std::nullopt;
    return Trimmed(rest);
}

// The folder in `argument`, in quotes or not; none for a quote elsewhere.
std::optional<std::wstring_view> UnquotedFolder(std::wstring_view argument) {
    if (argument.size() >= 2 && argument.front() == L'"' && argument.back() == L'"') {
        argument = argument.substr(1, argument.size() - 2);
    }
    if (argument.find(L'"') != std::wstring_view::npos) return std::nullopt;
    return argument;
}

}  // namespace

ServiceCommand ParseServiceCommand(std::wstring_view commandLine) {
    const std::wstring_view options = Trimmed(AfterProgramName(commandLine));
    if (options.empty()) return ServiceCommand::RunAsService;
    if (const auto argument = AfterSetProgramRights(options)) {
        return UnquotedFolder(*argument) ? ServiceCommand::SetProgramRights : ServiceCommand::Unknown;
    }
    if (options == kMakeRecordFolderOption) return ServiceCommand::MakeRecordFolder;
    if (options == kSetServiceRightsOption) return ServiceCommand::SetServiceRights;
    if (options == kDrillOption) return ServiceCommand::Drill;
    if (options == kStatusOption) return ServiceCommand::Status;
    return ServiceCommand::Unknown;
}

}  // namespace kelvarid

namespace kelvarid {

std::wstring_view ProgramFolderArgument(std::wstring_view commandLine) {
    const auto argument = AfterSetProgramRights(Trimmed(AfterProgramName(commandLine)));
    return argument ? UnquotedFolder(*argument).value_or(std::wstring_view()) : std::wstring_view();
}

}  // namespace kelvarid
