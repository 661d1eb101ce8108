#pragma once

#include <QtGlobal>

// Constants of the file stream (see STREAM_FORMAT.md), shared by the
// reader and the writer.
namespace StreamFormat {

constexpr char Magic[4] = { 'V', 'X', 'F', 'S' };
constexpr quint16 Version = 1;
constexpr int HeaderSize = 8; // magic, version, reserved flags

enum RecordType : quint8 {
    FolderRecord = 1,
    FileRecord = 2,
    EndRecord = 3,
    // Never written; a writer meeting one refuses the stream.
    ReservedSymlinkRecord = 4,
    ReservedDeviceRecord = 5,
};

constexpr int TypeSize = 1;
constexpr int PathLengthSize = 4;
constexpr int FileSizeSize = 8;

// Limits of a single path: Linux's own PATH_MAX and NAME_MAX.
constexpr quint32 MaxPathBytes = 4096;
constexpr int MaxSegmentBytes = 255;

inline void putU16(char *p, quint16 v)
{
    p[0] = char(v >> 8);
    p[1] = char(v);
}
inline void putU32(char *p, quint32 v)
{
    for (int i = 3; i >= 0; --i, v >>= 8)
        p[i] = char(v);
}
inline void putU64(char *p, quint64 v)
{
    for (int i = 7; i >= 0; --i, v >>= 8)
        p[i] = char(v);
}
inline quint16 getU16(const char *p)
{
    return quint16((quint16(quint8(p[0])) << 8) | quint8(p[1]));
}
inline quint32 getU32(const char *p)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | quint8(p[i]);
    return v;
}
inline quint64 getU64(const char *p)
{
    quint64 v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | quint8(p[i]);
    return v;
}

} // namespace StreamFormat
