// What ACLHandling.addACE grants: the access mask of its four rights flags, and the
// well-known trustees it names by kind.
#pragma once

#include <cstdint>
#include <optional>

// Read, write, execute, all: the generic rights, combined.
inline uint32_t grantedAccess(bool read, bool write, bool execute, bool all)
{
    return (read ? 0x80000000u : 0u) | (write ? 0x40000000u : 0u) | (execute ? 0x20000000u : 0u) |
           (all ? 0x10000000u : 0u);
}

// The trustee kind that names an account (a SID string or an account name) in its own text.
inline constexpr int kAccountTrustee = 3;

// A SID made of an identifier authority and one or two relative ids.
struct WellKnownTrustee {
    uint8_t authority;
    uint8_t count;
    uint32_t subAuthorities[2];
};

// The SID of a well-known trustee kind; none for the account kind. Kind 1 is Authenticated
// Users (S-1-5-11), kind 5 the built-in Power Users group (S-1-5-32-547), and every other
// kind Everyone (S-1-1-0).
inline std::optional<WellKnownTrustee> wellKnownTrustee(int kind)
{
    switch (kind) {
    case kAccountTrustee: return std::nullopt;
    case 1: return WellKnownTrustee{5, 1, {11, 0}};
    case 5: return WellKnownTrustee{5, 2, {32, 547}};
    default: return WellKnownTrustee{1, 1, {0, 0}};
    }
}
