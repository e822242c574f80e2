// The record of the service's runs as a file: <program data>\Kelvarid\record.txt, UTF-16. The
// installer makes its folder, which only administrators, SYSTEM and the service's account can
// change; the service never makes it, so that nobody else can make it first.
#pragma once

#include <string>

#include "service/run_record.h"

namespace kelvarid {

// "C:\ProgramData\Kelvarid"; "" when the program data folder is not known.
std::wstring RunRecordFolder();
// "C:\ProgramData\Kelvarid\record.txt"; "" when the program data folder is not known.
std::wstring RunRecordPath();

class RunRecordFile final : public RunRecordStore {
public:
    RunRecordFile() : path_(RunRecordPath()) {}

    StoredRecord Load() override;
    // Written beside the record, on the disk, and put in its place, on the disk, before it
    // returns: a reset at any moment leaves the old record or the new, never half of one, and
    // the circuit's hard reset never takes the last write with it.
    unsigned long Save(const RunRecord& record) override;

    const std::wstring& Path() const { return path_; }

private:
    const std::wstring path_;
};

}  // namespace kelvarid
