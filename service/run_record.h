// What the service keeps of its runs across a reset: when the last pulse fell, whether the run
// ended with a STOP, which check stopped its pulses or asked for a restart, the stops and
// restarts by checks in a row, and whether
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
    std::uint32_t stopsInRow = 0; // stops and restarts by checks with no hour of passing checks between them
    std::wstring stoppedBy;       // the check that stopped the pulses of the last run; "" for none
    std::uint64_t stoppedAt = 0;  // UTC, as a FILETIME, when it did
    std::uint64_t drillStarted = 0;  // UTC, as a FILETIME, when the drill began; 0 for none
    // Milliseconds from Windows' start to the last good pulse's fall: the gap to the next start
    // within the same run of Windows, whatever the system's time did; 0 for none.
    std::int64_t lastPulseUptimeMs = 0;
    // UTC, as a FILETIME, when the check `stoppedBy` asked Windows for a restart; 0 for none,
    // and again 0 when that restart did not come and the pulses stopped.
    std::uint64_t restartAsked = 0;

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

// How a record is written.
enum class RecordWrite {
    // What keeps the limit and the drill: on the disk at once, in the record's place, so that a
    // reset at any moment leaves the old record or the new, never half of one.
    Guard,
    // Only the last pulse's time is new: written beside the record without forcing the disk. A
    // hard reset may lose it; the record itself never.
    Pulse,
};

class RunRecordStore {
public:
    virtual ~RunRecordStore() = default;
    // The record, none when there is none yet, or what kept it from being read.
    virtual StoredRecord Load() = 0;
    // Hands a copy over to be written. The outcome, 0 or the system's error number; none when it
    // comes later, through RunRecordKeeper::Written.
    virtual std::optional<unsigned long> Save(const RunRecord& record, RecordWrite how) = 0;
};

// The last pulse's time is handed over at most this often.
inline constexpr std::int64_t kPulseRecordIntervalMs = 60 * 1000;

// This run's record as the health checks and the drill keep it: changed here, then handed to
// the store, which writes it elsewhere: nothing waits for a disk. The first write that fails is
// logged; while writes fail, nothing that needs the record may act.
class RunRecordKeeper {
public:
    RunRecordKeeper(HealthLog& log, RunRecordStore& store) : log_(log), store_(store) {}

    StoredRecord Load() { return store_.Load(); }
    RunRecord& Record() { return record_; }
    const RunRecord& Record() const { return record_; }
    // What guards: false when the store said at once that it failed.
    bool Save();
    // A good pulse's time: handed over unless one was within the last minute of `steadyMs`.
    void SavePulse(std::int64_t steadyMs);
    // The outcome of a write: 0, or the system's error number.
    void Written(unsigned long error);
    // Whether the last write worked, as far as is known.
    bool Writable() const { return writable_; }

private:
    bool Hand(RecordWrite how);

    HealthLog& log_;
    RunRecordStore& store_;
    RunRecord record_;
    bool writable_ = true;
    bool errorLogged_ = false;
    std::optional<std::int64_t> pulseSavedMs_;
};

// What was found of the record and of a new one beside it that a reset may have left (written
// but never put in the record's place, or a pulse's time not yet in it): the newer of the two,
// the new one when the record is missing or cannot be read, and in any case the higher count of
// stops in a row.
StoredRecord WithLeftover(const StoredRecord& stored, const std::optional<RunRecord>& leftover);

// A decimal number of at most `most`, digits only; none for anything else.
std::optional<std::uint64_t> ParseDecimal(std::wstring_view text, std::uint64_t most);

// The record as text, a NAME=value line each, for an administrator to read.
std::wstring EncodeRunRecord(const RunRecord& record);
// None for a text that is not a whole record: every line there once, each ended. A record
// written before drills were known has no DrillStarted, LastPulseUptime or RestartAsked line,
// and is whole without them.
std::optional<RunRecord> DecodeRunRecord(std::wstring_view text);

}  // namespace kelvarid
