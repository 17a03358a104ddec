// Host addresses and the ICMP echo probe of TCP links.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace linvaro {

using Ipv4 = std::array<std::uint8_t, 4>; // in wire order, a.b.c.d

// Reads text the way "%d.%d.%d.%d" does: four decimal numbers (each after
// optional white space, with an optional sign) separated by single dots;
// whatever follows the fourth number is ignored. Each address byte is the low
// 8 bits of its number. False when the text does not yield four numbers.
bool parseDottedQuad(const char* text, Ipv4& address);

// The first IPv4 address of a host name.
bool resolveHost(const char* name, Ipv4& address);

// Sends one ICMP echo request without payload and waits up to timeoutMs for
// the reply. Returns the round trip in milliseconds, or nothing when no reply
// came (or no ICMP socket could be had: an unprivileged ICMP datagram socket
// needs the group in net.ipv4.ping_group_range, a raw socket CAP_NET_RAW).
std::optional<std::int32_t> icmpEcho(const Ipv4& address, std::int32_t timeoutMs);

} // namespace linvaro
