#include "fault_rules.h"

#include <cstdio>

namespace rig {
namespace {

constexpr std::string_view kCheckConditionWord = "check-condition";
constexpr std::string_view kOutOfMemoryWord = "out-of-memory";
constexpr std::string_view kShortReplyWord = "short-reply";

std::optional<std::uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return std::nullopt;
}

// The next blank-separated word of `text`, taken off its front.
std::string_view NextWord(std::string_view& text) {
    const auto start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const auto end = text.find_first_of(" \t");
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    return word;
}

}  // namespace

bool FaultRule::Matches(const std::array<std::uint8_t, 16>& cdb) const {
    if (!Active()) return false;
    for (std::size_t i = 0; i < length && i < cdb.size(); ++i) {
        if ((cdb[i] & mask[i]) != value[i]) return false;
    }
    return true;
}

bool FaultRule::Valid() const {
    if (answer == FaultAnswer::None) return *this == FaultRule{};
    if (answer != FaultAnswer::CheckCondition && answer != FaultAnswer::OutOfMemory &&
        answer != FaultAnswer::ShortReply) {
        return false;
    }
    if (length == 0 || length > kFaultPatternBytes) return false;
    for (std::size_t i = 0; i < kFaultPatternBytes; ++i) {
        if (i >= length && (mask[i] != 0 || value[i] != 0)) return false;
        if (mask[i] != 0 && mask[i] != 0xFF) return false;
        if ((value[i] & ~mask[i]) != 0) return false;
    }
    return true;
}

std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string& error) {
    FaultRule rule;
    rule.answer = FaultAnswer::CheckCondition;
    std::string_view rest = text;
    std::string_view word = NextWord(rest);
    if (word == kCheckConditionWord || word == kOutOfMemoryWord || word == kShortReplyWord) {
        if (word == kOutOfMemoryWord) rule.answer = FaultAnswer::OutOfMemory;
        if (word == kShortReplyWord) rule.answer = FaultAnswer::ShortReply;
        word = NextWord(rest);
    }
    for (; !word.empty(); word = NextWord(rest)) {
        if (rule.length == kFaultPatternBytes) {
            error = "a failing command is at most 16 CDB bytes";
            return std::nullopt;
        }
        const std::size_t at = rule.length++;
        if (word == "..") continue;  // any byte
        const auto high = word.size() == 2 ? HexDigit(word[0]) : std::nullopt;
        const auto low = word.size() == 2 ? HexDigit(word[1]) : std::nullopt;
        if (!high || !low) {
            error = "'" + std::string(word) + "' is neither a hex byte (e.g. 8B) nor '..' (any byte)";
            return std::nullopt;
        }
        rule.value[at] = static_cast<std::uint8_t>(*high << 4 | *low);
        rule.mask[at] = 0xFF;
    }
    if (rule.length == 0) {
        error = "a failing command needs its CDB bytes, e.g. 'EE 8B .. .. .. .. 01'";
        return std::nullopt;
    }
    return rule;
}

std::string FormatFaultRule(const FaultRule& rule) {
    std::string text(rule.answer == FaultAnswer::OutOfMemory  ? kOutOfMemoryWord
                     : rule.answer == FaultAnswer::ShortReply ? kShortReplyWord
                                                              : kCheckConditionWord);
    for (std::size_t i = 0; i < rule.length && i < kFaultPatternBytes; ++i) {
        char byte[4] = " ..";
        if (rule.mask[i] != 0) std::snprintf(byte, sizeof byte, " %02X", static_cast<unsigned>(rule.value[i]));
        text += byte;
    }
    return text;
}

const FaultRule* MatchingFault(const FaultRules& rules, const std::array<std::uint8_t, 16>& cdb) {
    for (const FaultRule& rule : rules) {
        if (rule.Matches(cdb)) return &rule;
    }
    return nullptr;
}

bool AddFaultRule(FaultRules& rules, const FaultRule& rule) {
    for (FaultRule& place : rules) {
        if (!place.Active()) {
            place = rule;
            return true;
        }
    }
    return false;
}

}  // namespace rig
