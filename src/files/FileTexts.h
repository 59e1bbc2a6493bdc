#pragma once
// Sizes and durations as the file commands show them, in French: "24 576
// octets", "1,2 Mo", "1:05". Any thread; nothing is shared.

#include <QString>
#include <QtGlobal>

// A whole number with its thousands grouped by no-break spaces: "24 576".
QString GroupedNumber(qint64 value);
// An exact byte count: "1 octet", "24 576 octets".
QString ByteCountText(qint64 bytes);
// A size rounded for a glance: "512 octets", "12,5 Ko", "1,2 Mo" (1 Ko = 1 024 octets).
QString ByteSizeText(qint64 bytes);
// A duration rounded up to whole seconds: "0:05", "12:30", "1:02:03".
QString DurationText(qint64 ms);
// "1 message", "12 messages", "1 234 messages".
QString MessageCountText(qint64 count);
