/* The bytes a source peer sends: byte i of a stream is i mod 251, a cycle
 * no power-of-two chunk divides, so a lost or repeated chunk shows. */
#pragma once

static inline unsigned char bench_pattern(unsigned long long index)
{
    return (unsigned char)(index % 251);
}
