// The ZIP format's fields as the archive reads them: DOS and extended times, attributes, and
// the rules an entry's name must keep to.
#include <cctype>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/file_system.h"
#include "update/archive.h"
#include "update/archive_source.h"

namespace tavrin {

std::int64_t DosDateTimeToUnix(std::uint32_t dos) {
    const unsigned date = dos >> 16;
    const unsigned time = dos & 0xFFFF;
    int year = static_cast<int>((date >> 9) & 0x7F) + 1980;
    int month = static_cast<int>((date >> 5) & 0x0F);
    int day = static_cast<int>(date & 0x1F);
    month = month < 1 ? 1 : (month > 12 ? 12 : month);
    day = day < 1 ? 1 : day;
    // Days from 1970 by the civil calendar.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t days =
        static_cast<std::int64_t>(era) * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return days * 86400 + ((time >> 11) & 0x1F) * 3600 + ((time >> 5) & 0x3F) * 60 +
           (time & 0x1F) * 2;
}

bool ReadExtendedTimestamp(const unsigned char* extra, std::size_t size, std::int64_t& modified,
                           std::int64_t& accessed, std::int64_t& created, bool& hasModified,
                           bool& hasAccessed, bool& hasCreated) {
    hasModified = hasAccessed = hasCreated = false;
    for (std::size_t at = 0; size > 4 && at + 4 < size; at += 4 + extra[at + 2]) {
        const std::uint16_t length = Le16(extra + at + 2);
        if (extra[at] != 'U' || extra[at + 1] != 'T') {
            continue;
        }
        const std::size_t end = std::min(size, at + 4 + length);
        std::size_t p = at + 4;
        if (p >= end) {
            return false;
        }
        const unsigned flags = extra[p++];
        // The times that are there follow the flags in this order.
        std::int64_t* fields[] = {&modified, &accessed, &created};
        bool* present[] = {&hasModified, &hasAccessed, &hasCreated};
        for (int bit = 0; bit < 3; ++bit) {
            if ((flags & (1u << bit)) != 0 && p + 4 <= end) {
                *fields[bit] = static_cast<std::int32_t>(Le32(extra + p));
                *present[bit] = true;
                p += 4;
            }
        }
        return true;
    }
    return false;
}

std::uint32_t EntryAttributes(std::uint32_t a) {
    std::uint32_t attributes = kAttrNormal;
    if ((a & 0x40000000u) != 0 || (a & 0x10u) != 0) {
        attributes |= kAttrDirectory;
    }
    if ((a & 0x20u) != 0) {
        attributes |= kAttrArchive;
    }
    if ((a & 0x2u) != 0) {
        attributes |= kAttrHidden;
    }
    if ((a & 0x00800000u) == 0 || (a & 0x1u) != 0) {
        attributes |= kAttrReadOnly;
    }
    if ((a & 0x4u) != 0) {
        attributes |= kAttrSystem;
    }
    return attributes;
}

namespace {

// One part of an entry's path, between separators. Windows drops trailing dots and blanks,
// so "a." and "a " would land on "a" (and "..." next to ".."); "." is the folder itself.
bool IsSafeNamePart(const std::string& part) {
    if (part == "..") {
        return false;
    }
    if (part.empty() || part == ".") {
        return true;
    }
    // A colon names an alternate data stream of the file before it (or a drive).
    return part.back() != '.' && part.back() != ' ' && part.find(':') == std::string::npos &&
           !platform::IsReservedDeviceName(part);
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) {
        return false;
    }
    // The system would end the name at a NUL byte: the file would get another name than the
    // one checked here, and ".." right before the NUL would go unseen.
    if (name.find('\0') != std::string::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = name.size();
        }
        if (!IsSafeNamePart(name.substr(start, end - start))) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace tavrin
