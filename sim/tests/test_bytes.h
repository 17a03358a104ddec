// Byte helpers the simulator's tests share.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "sim/iso15693.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// The parts one after the other.
inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A UID's bytes as it is held and shown, most significant (E0) first.
inline Bytes uidBytes(const sim::Uid& uid)
{
    return Bytes(uid.begin(), uid.end());
}

} // namespace simtest
