// The result codes of the archive calls, shared by the archive and its source.
#pragma once

namespace tavrin {

// Result codes of the archive calls.
enum ArchiveResult : int {
    kArchiveOk = 0,
    kArchiveCannotOpen = 0x200,         // the archive or an output file cannot be opened
    kArchiveWriteFailed = 0x300,        // an output file cannot be written in full
    kArchiveReadWrite = 0x400,          // reading, inflating or checking an entry's data failed
    kArchiveBadLocalHeader = 0x700,     // an entry's local header disagrees with its central record
    kArchiveBadExtraField = 0x800,      // an entry's local extra field cannot be read
    kArchiveEncrypted = 0x900,          // an entry is encrypted
    kArchiveFolderWithData = 0xA00,     // an entry that is a folder carries data
    kArchiveUnsafeName = 0xB00,         // an entry's name would leave the folder
    kArchiveUnsupportedMethod = 0xC00,  // an entry is compressed with a method not read here
    kArchiveBadArgument = 0x10000,      // index out of range, or a name that does not fit
    kArchiveNotReading = 0x80000,
    kArchiveAlreadyOpen = 0x1000000,
    kArchiveInconsistent = -103,  // the end records contradict themselves or the directory
    kArchiveNoEndRecord = -1,     // no end record, or the file cannot be read
};

// What a result means, in words.
const char* ArchiveResultText(int result);

}  // namespace tavrin
