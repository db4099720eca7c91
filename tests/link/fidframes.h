#pragma once
// FID frames for the link's tests, built byte by byte: the scalar reader's
// 400-byte frames and the vector reader's 288-byte frames. Their filler
// holds no record marker and no byte of a scanner pattern.

#include <QByteArray>

namespace fidframes
{

inline char filler(int frame, int i)
{
    return char(0x40 + (frame * 5 + i * 3) % 0x3D);
}

// 288 bytes: 36 records, markers E8 EF E4 E2 then E0/E1.
inline QByteArray vectorFrame(int number)
{
    QByteArray f;
    for (int r = 0; r < 36; ++r) {
        static const char head[4] = {char(0xE8), char(0xEF), char(0xE4), char(0xE2)};
        f.append(r < 4 ? head[r] : char(r % 2 ? 0xE0 : 0xE1));
        for (int i = 1; i < 8; ++i)
            f.append(filler(number, r * 8 + i));
    }
    return f;
}

// 400 bytes: 50 records, every marker a head value, the second byte of each
// record 00 (value1 below 256).
inline QByteArray fidFrame(int number)
{
    static const char markers[6] = {char(0xE0), char(0xE1), char(0xE2), char(0xE4), char(0xE8), char(0xEF)};
    QByteArray f;
    for (int r = 0; r < 50; ++r) {
        f.append(markers[(r + number) % 6]);
        f.append(char(0x00));
        for (int i = 2; i < 8; ++i)
            f.append(filler(number, r * 8 + i));
    }
    return f;
}

} // namespace fidframes
