// What the service keeps of its runs across a reset: when the last pulse fell, whether the run
// ended with a STOP, which check stopped its pulses, the stops by checks in a row, and whether
// an administrator's drill was waiting for the circuit's reset. Plain C++: the file itself is
// written by win32/run_record_file.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "service/service_log.h"

namespace kelvarid {

struct RunRecord {
    std::uint64_t lastPulse = 0;  // UTC, as a FILETIME, of the last good pulse's fall; 0 for none
    bool endedWithStop = true;    // false while a run goes on: a run that ends otherwise leaves it so
    std::uint32_t stopsInRow = 0; // stops by checks with no hour of passing checks between them
    std::wstring stoppedBy;       // the check that stopped the pulses of the last run; "" for none
    std::uint64_t stoppedAt = 0;  // UTC, as a FILETIME, when it did
    std::uint64_t drillStarted = 0;  // UTC, as a FILETIME, when the drill began; 0 for none

    bool operator==(const RunRecord&) const = default;
};

// Stops in a row when they are not known: a record that could not be read. As many as any limit
// allows, so that the checks only watch until an hour in which every check passed.
inline constexpr std::uint32_t kStopsUnknown = 0xffffffffu;

// What was found where the record is kept.
struct StoredRecord {
    enum class State { None, Read, Unreadable } state = State::None;
    RunRecord record;         // when Read
    unsigned long error = 0;  // when Unreadable: the system's error number; 0 for a text that is no record
};

class RunRecordStore {
public:
    virtual ~RunRecordStore() = default;
    // The record, none when there is none yet, or what kept it from being read.
    virtual StoredRecord Load() = 0;
    // 0 when written, else the system's error number.
    virtual unsigned long Save(const RunRecord& record) = 0;
};

// This run's record as the health checks and the drill keep it: changed here, then saved. The
// first save that fails is logged; while saves fail, nothing that needs the record may act.
class RunRecordKeeper {
public:
    RunRecordKeeper(HealthLog& log, RunRecordStore& store) : log_(log), store_(store) {}

    StoredRecord Load() { return store_.Load(); }
    RunRecord& Record() { return record_; }
    const RunRecord& Record() const { return record_; }
    // False when the store did not take it.
    bool Save();
    // Whether the last save worked.
    bool Writable() const { return writable_; }

private:
    HealthLog& log_;
    RunRecordStore& store_;
    RunRecord record_;
    bool writable_ = true;
    bool errorLogged_ = false;
};

// The record as text, a NAME=value line each, for an administrator to read.
std::wstring EncodeRunRecord(const RunRecord& record);
// None for a text that is not a whole record: every line there once, each ended. A record
// written before drills were known has no DrillStarted line, and is whole without it.
std::optional<RunRecord> DecodeRunRecord(std::wstring_view text);

}  // namespace kelvarid
