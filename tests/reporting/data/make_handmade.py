#!/usr/bin/env python3
"""Writes handmade.nmea: sentences written by hand for the GPS tests, with
their checksums computed here (XOR of the characters between "$" and "*").

    /usr/bin/python3 make_handmade.py > handmade.nmea

Every sentence carries a checksum and uses the dddmm.mmmm form, so that the
second parser (nmea-simple) reads all of them; lines marked BAD get a wrong
checksum on purpose.
"""

from functools import reduce

BODIES = [
    # The textbook examples with their positions, plus the other hemispheres.
    "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
    "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
    "GPGLL,4916.45,N,12311.12,W,225444,A",
    "GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A",
    "GPGGA,002153.000,3342.6618,S,11751.3858,W,1,10,1.2,27.0,M,-34.2,M,,0000",
    "GPGLL,3723.2475,S,12158.3416,E,161229.487,A,A",
    # Current receivers: combined systems.
    "GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A",
    "GNGGA,092725.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,",
    "GNGLL,4717.11364,N,00833.91565,E,092321.00,A,A",
    "GNRMC,101010.00,A,3351.86012,S,15112.76543,E,12.250,181.3,010124,,,D",
    "GNGGA,101010.00,3351.86012,S,15112.76543,E,2,17,0.62,43.1,M,22.7,M,1.0,0123",
    # One-digit and zero degrees, edges of the globe.
    "GPRMC,000001,A,0512.5000,N,00007.2500,W,1.0,0.0,010100,,",
    "GPGGA,000002,512.5000,S,7.2500,E,1,04,2.0,10.0,M,0.0,M,,",
    "GPGLL,8959.99999,N,17959.99999,W,000003,A",
    "GPGLL,0000.00060,S,00000.00060,E,000004,A",
    "GNGGA,000005,8959.999999,S,17959.999999,E,6,03,9.9,-12.5,M,0.0,M,,",
    "GPRMC,235959.99,A,6000.0000,N,18000.0000,W,999.9,359.9,311299,,,E",
    # Receivers without a fix: marked invalid.
    "GPRMC,120000,V,4807.038,N,01131.000,E,,,230394,,,N",
    "GPGGA,120000,4807.038,N,01131.000,E,0,00,99.9,,M,,M,,",
    "GPGLL,4807.038,N,01131.000,E,120000,V,N",
    "GNRMC,120001,V,,,,,,,230394,,,N",
    "GNGGA,120001,,,,,0,00,99.99,,,,,,",
    # Other sentences, read by nobody here.
    "GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00",
    "GPVTG,054.7,T,034.4,M,005.5,N,010.2,K",
    "GPZDA,201530.00,04,07,2002,00,00",
    "GNGNS,014035.00,4332.69262,S,17235.48549,E,RR,13,0.9,25.63,11.24,,",
]

BAD = [
    # Right sentences, wrong checksums.
    ("GPRMC,123520,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", 1),
    ("GNGGA,092726.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,", 0x20),
    ("GPGLL,4916.46,N,12311.12,W,225445,A", 0x80),
]


def checksum(body):
    return reduce(lambda a, c: a ^ ord(c), body, 0)


def main():
    print("# Sentences written by hand for the GPS tests (make_handmade.py).")
    print("# Lower-case checksum digits appear on purpose on some lines.")
    for i, body in enumerate(BODIES):
        digits = "%02X" % checksum(body)
        if i % 5 == 4:
            digits = digits.lower()
        print("$%s*%s" % (body, digits))
    for body, flip in BAD:
        print("$%s*%02X" % (body, checksum(body) ^ flip))


if __name__ == "__main__":
    main()
