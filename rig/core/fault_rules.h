#pragma once
// Commands the emulated controller is told to fail, so that tests can show what a program does
// when a device stops answering in the middle of an operation. A rule is a CDB pattern (hex
// bytes, ".." for any byte) compared with the first bytes of every command's CDB, and what the
// failing command gets:
//
//   EE 80 00 00 10 00 81 .. .. .. .. 01      CHECK CONDITION, HARDWARE ERROR 4/44/00 (default)
//   out-of-memory EE 80 .. .. .. .. 87       the device stack throws std::bad_alloc, as an
//                                            allocation failure inside the calling program would
//   short-reply EE 95 .. .. .. .. 89         carried out, but a data-in reply ends after the
//                                            first half of its bytes (status GOOD), as a bridge
//                                            that stops a transfer early
//
// A failed command changes nothing on the device. Rules are part of an enclosure's state: the
// rig file's `fail` keys give the initial ones, `rigctl RIGFILE fail ...` adds and clears them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rig {

inline constexpr std::size_t kMaxFaultRules = 4;
inline constexpr std::size_t kFaultPatternBytes = 16;

enum class FaultAnswer : std::uint8_t { None = 0, CheckCondition = 1, OutOfMemory = 2, ShortReply = 3 };

struct FaultRule {
    FaultAnswer answer = FaultAnswer::None;  // None: an unused rule
    std::uint8_t length = 0;                 // CDB bytes compared, 1..16
    std::array<std::uint8_t, kFaultPatternBytes> value{};
    std::array<std::uint8_t, kFaultPatternBytes> mask{};  // 0xFF: must equal `value`; 0: any byte

    bool Active() const { return answer != FaultAnswer::None; }
    bool Matches(const std::array<std::uint8_t, 16>& cdb) const;
    // Known answer, a length within the pattern, masks of whole bytes, unused parts zero.
    bool Valid() const;
    bool operator==(const FaultRule&) const = default;
};

using FaultRules = std::array<FaultRule, kMaxFaultRules>;

// "[check-condition|out-of-memory|short-reply] BYTE..." as above; the empty optional with `error` set for
// anything else.
std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string& error);
// The rule in the form ParseFaultRule reads, e.g. "out-of-memory EE 80 .. 87".
std::string FormatFaultRule(const FaultRule& rule);

// The first active rule that matches `cdb`, or null.
const FaultRule* MatchingFault(const FaultRules& rules, const std::array<std::uint8_t, 16>& cdb);
// Puts `rule` into the first unused place; false when all are taken.
bool AddFaultRule(FaultRules& rules, const FaultRule& rule);

}  // namespace rig
