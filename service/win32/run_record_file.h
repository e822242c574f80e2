// The record of the service's runs as a file: <program data>\Kelvarid\record.txt, UTF-16. The
// installer makes its folder, which only administrators, SYSTEM and the service's account can
// change; the service never makes it, so that nobody else can make it first. Beside it,
// record.txt.new: a record on its way into the record's place, or the last pulse's time written
// without forcing the disk.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/handles.h"
#include "service/run_record.h"

namespace kelvarid {

// "C:\ProgramData\Kelvarid"; "" when the program data folder is not known.
std::wstring RunRecordFolder();
// "C:\ProgramData\Kelvarid\record.txt"; "" when the program data folder is not known.
std::wstring RunRecordPath();

// The file itself, written on the calling thread.
class RunRecordFile final : public RunRecordStore {
public:
    RunRecordFile() : path_(RunRecordPath()) {}

    // The record, or what a reset left beside it when that is newer (WithLeftover).
    StoredRecord Load() override;
    // Guard: written beside the record, on the disk, and put in its place, on the disk, before
    // it returns: a reset at any moment leaves the old record or the new, never half of one.
    // Pulse: written beside the record only, without forcing the disk; a reset may lose it, the
    // record never. Always the outcome, at once.
    std::optional<unsigned long> Save(const RunRecord& record, RecordWrite how) override;

    const std::wstring& Path() const { return path_; }

private:
    const std::wstring path_;
};

// Told what came of a write that RecordWriter finished.
class RecordWritten {
public:
    virtual ~RecordWritten() = default;
    virtual void Written(unsigned long error) = 0;
};

// The record written on a thread of its own, from the last copy handed over: whoever hands one
// over never waits for the disk, for a reader that holds the file, or for a retry. A copy that
// comes while another is being written replaces the one still waiting.
class RecordWriter final : public RunRecordStore {
public:
    explicit RecordWriter(RecordWritten& told) : told_(told) {}
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // False when its thread cannot be made: every save then fails at once.
    bool Start();
    StoredRecord Load() override { return file_.Load(); }
    // None: the outcome comes later, through `told`.
    std::optional<unsigned long> Save(const RunRecord& record, RecordWrite how) override;
    // At STOP: what was handed over written, for at most `waitMs`; then the thread ends. False
    // when a write still hangs: the thread may wake later, so this object must then outlive it.
    bool Finish(DWORD waitMs);

private:
    static DWORD WINAPI Run(void* self);
    // The copy waiting, taken; none when nothing waits.
    std::optional<RunRecord> Take(RecordWrite& how);

    RecordWritten& told_;
    RunRecordFile file_;
    CriticalSection lock_;  // over what waits; never held while a file is written
    std::optional<RunRecord> waiting_;
    RecordWrite waitingHow_ = RecordWrite::Pulse;
    UniqueHandle wake_;
    UniqueHandle thread_;
    bool ending_ = false;  // under lock_
};

}  // namespace kelvarid
