// The result codes of the archive calls, shared by the archive and its source.
#pragma once

namespace tavrin {

// Result codes of the archive calls.
enum ArchiveResult : int {
    kArchiveOk = 0,
    kArchiveCannotOpen = 0x200,      // the archive or an output file cannot be opened
    kArchiveReadWrite = 0x400,       // reading, inflating, checking or writing an entry failed
    kArchiveBadLocalHeader = 0x700,  // an entry's local header disagrees with its central record
    kArchiveBadExtraField = 0x800,   // an entry's local extra field cannot be read
    kArchiveBadArgument = 0x10000,   // index out of range, or a name that does not fit
    kArchiveNotReading = 0x80000,
    kArchiveAlreadyOpen = 0x1000000,
    kArchiveInconsistent = -103,  // the end record contradicts itself
    kArchiveNoEndRecord = -1,     // no end record, or the file cannot be read
};

}  // namespace tavrin
