#include "rig_control.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>

#include "command_log.h"
#include "device_state.h"
#include "nand_report.h"
#include "registry_changes.h"
#include "rig.h"

namespace rig {
namespace {

constexpr const char* kUsage =
    "usage: rigctl RIGFILE press|release [--enclosure N]\n"
    "       rigctl RIGFILE not-ready on|off [--enclosure N]\n"
    "       rigctl RIGFILE plug|unplug [--enclosure N]\n"
    "       rigctl RIGFILE fail [out-of-memory|short-reply] CDB-BYTE... [--enclosure N]\n"
    "       rigctl RIGFILE fail off [--enclosure N]\n"
    "       rigctl RIGFILE eject accept|veto|fail [--enclosure N]\n"
    "       rigctl RIGFILE registry\n"
    "       rigctl RIGFILE state [--enclosure N]\n"
    "       rigctl RIGFILE log [--clear]\n"
    "       rigctl RIGFILE nand CHIP [--enclosure N]\n"
    "       rigctl RIGFILE nand-page ROW [--enclosure N]\n"
    "       rigctl RIGFILE reset\n";

struct Arguments {
    std::vector<std::string> positional;
    std::size_t enclosure = 0;
    bool clear = false;
};

std::optional<Arguments> ParseArguments(const std::vector<std::string>& args, std::ostream& err) {
    Arguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--clear") {
            parsed.clear = true;
        } else if (arg == "--enclosure") {
            if (i + 1 >= args.size()) {
                err << "rigctl: --enclosure needs a number\n";
                return std::nullopt;
            }
            const std::string& number = args[++i];
            if (number.empty() || number.size() > 2 || number.find_first_not_of("0123456789") != std::string::npos) {
                err << "rigctl: --enclosure needs a number, not '" << number << "'\n";
                return std::nullopt;
            }
            parsed.enclosure = std::stoul(number);
        } else if (arg.size() > 1 && arg[0] == '-') {
            err << "rigctl: unknown option " << arg << "\n";
            return std::nullopt;
        } else {
            parsed.positional.push_back(arg);
        }
    }
    return parsed;
}

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

const char* Direction(std::uint8_t dataIn) {
    switch (dataIn) {
        case devio::kDataOut: return "out";
        case devio::kDataIn: return "in";
        case devio::kNoData: return "none";
        default: return "?";
    }
}

const char* EjectAnswerName(EjectAnswer answer) {
    switch (answer) {
        case EjectAnswer::Accept: return "accepted";
        case EjectAnswer::Veto: return "vetoed";
        case EjectAnswer::Fail: return "failed";
    }
    return "?";
}

std::optional<EjectAnswer> ParseEjectAnswer(const std::string& word) {
    if (word == "accept") return EjectAnswer::Accept;
    if (word == "veto") return EjectAnswer::Veto;
    if (word == "fail") return EjectAnswer::Fail;
    return std::nullopt;
}

void PrintState(const RigConfig& config, std::size_t index, const DeviceState& s, std::ostream& out) {
    const EnclosureConfig& enclosure = config.enclosures[index];
    out << "enclosure " << index;
    if (!enclosure.name.empty()) out << " \"" << enclosure.name << "\"";
    out << ": " << enclosure.interfacePath << "\n";
    out << "  button          " << (s.buttonPressed ? "pressed (reads 0xFD)" : "released (reads 0xFF)")
        << ", last written " << Hex(s.lastButtonWrite, 2) << "\n";
    out << "  not ready       " << (s.notReady ? "yes" : "no") << "\n";
    out << "  unit            " << (s.stopped ? "stopped" : "started") << "\n";
    out << "  write protect   " << (s.writeProtect ? "on" : "off") << "\n";
    out << "  power           suspend " << (s.suspend ? "on" : "off") << ", timer "
        << Hex((std::uint32_t{s.timerValue1} << 8) | s.timerValue2, 4) << ", PM info "
        << HexBytes(s.pmInfo.data(), s.pmInfo.size()) << "\n";
    out << "  LED             " << Hex(s.led, 2) << "\n";
    out << "  security        "
        << ((s.securityStatus & kSecurityPasswordSet) ? "password set" : "no password")
        << ((s.securityStatus & kSecurityVerified) ? ", verified" : "") << "\n";
    for (const FaultRule& rule : s.faults) {
        if (rule.Active()) out << "  failing         " << FormatFaultRule(rule) << "\n";
    }
    out << "  eject request   " << EjectAnswerName(s.eject) << "\n";
    const std::uint16_t sum = EepromWordSum(s.eeprom);
    out << "  EEPROM          checksum " << (sum == 0 ? "ok" : "BAD") << " (word sum " << Hex(sum, 4) << ")\n";
    for (std::size_t row = 0; row < kEepromSize; row += 16) {
        char offset[8];
        std::snprintf(offset, sizeof offset, "%02X:", static_cast<unsigned>(row));
        out << "    " << offset << " " << HexBytes(&s.eeprom[row], 16) << "\n";
    }
}

void PrintLog(const std::vector<std::uint8_t>& bytes, std::ostream& out, std::ostream& err) {
    const ParsedLog log = ParseCommandLog(bytes);
    out << "    #  enc  dir    length  status  CDB\n";
    for (std::size_t i = 0; i < log.records.size(); ++i) {
        const LogRecord& r = log.records[i];
        char head[64];
        std::snprintf(head, sizeof head, "%5u  %3u  %-4s %8u  0x%02X    ", static_cast<unsigned>(i),
                      static_cast<unsigned>(r.enclosure), Direction(r.header.dataIn),
                      static_cast<unsigned>(r.header.dataTransferLength), static_cast<unsigned>(r.status));
        const std::size_t cdbLength = std::min<std::size_t>(r.header.cdbLength, sizeof r.header.cdb);
        out << head << HexBytes(r.header.cdb, cdbLength);
        if (!r.dataOut.empty()) {
            out << "  data " << HexBytes(r.dataOut.data(), std::min<std::size_t>(r.dataOut.size(), 16))
                << (r.dataOut.size() > 16 ? " ..." : "");
        }
        out << "\n";
    }
    if (!log.error.empty()) err << "rigctl: the command log ends early: " << log.error << "\n";
}

// A chip byte or row address: decimal or 0x hexadecimal, at most `max`.
std::optional<std::uint32_t> ParseAddress(const std::string& text, std::uint32_t max) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long long value = std::stoull(digits, nullptr, hex ? 16 : 10);
    if (value > max) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// "fail off" clears the enclosure's fault rules; "fail [out-of-memory|short-reply] BYTE..." adds one.
bool ChangeFaults(Rig& machine, std::size_t index, const std::vector<std::string>& words, std::string& error) {
    if (words.size() == 1 && words[0] == "off") {
        return machine.UpdateState(index, [](DeviceState& s) { s.faults = FaultRules{}; }, error);
    }
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
    const auto rule = ParseFaultRule(text, error);
    if (!rule) return false;
    bool added = false;
    if (!machine.UpdateState(index, [&](DeviceState& s) { added = AddFaultRule(s.faults, *rule); }, error)) {
        return false;
    }
    if (!added) {
        error = "enclosure " + std::to_string(index) + " already fails " + std::to_string(kMaxFaultRules) +
                " commands (rigctl RIGFILE fail off clears them)";
    }
    return added;
}

}  // namespace

int RunRigControl(FileSystem& files, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = ParseArguments(args, err);
    if (!parsed || parsed->positional.size() < 2) {
        err << kUsage;
        return 2;
    }
    const std::string& command = parsed->positional[1];
    const std::size_t expected =
        command == "not-ready" || command == "eject" || command == "nand" || command == "nand-page" ? 3 : 2;
    const bool known = command == "press" || command == "release" || command == "not-ready" || command == "state" ||
                       command == "log" || command == "reset" || command == "plug" || command == "unplug" ||
                       command == "fail" || command == "eject" || command == "registry" ||
                       command == "nand" || command == "nand-page";
    const bool countRight =
        command == "fail" ? parsed->positional.size() > 2 : parsed->positional.size() == expected;
    if (!known || !countRight ||
        (command == "not-ready" && parsed->positional[2] != "on" && parsed->positional[2] != "off") ||
        (command == "eject" && !ParseEjectAnswer(parsed->positional[2])) ||
        (parsed->clear && command != "log")) {
        err << kUsage;
        return 2;
    }

    std::string error;
    const auto machine = Rig::Load(files, parsed->positional[0], error);
    if (!machine) {
        err << "rigctl: " << error << "\n";
        return 1;
    }
    const std::size_t index = parsed->enclosure;
    const bool perEnclosure = command == "press" || command == "release" || command == "not-ready" ||
                              command == "state" || command == "plug" || command == "unplug" || command == "fail" ||
                              command == "eject" || command == "nand" || command == "nand-page";
    if (perEnclosure && index >= machine->Config().enclosures.size()) {
        err << "rigctl: the rig has no enclosure " << index << " (it has " << machine->Config().enclosures.size()
            << ")\n";
        return 1;
    }

    bool ok = true;
    if (command == "press" || command == "release") {
        const bool pressed = command == "press";
        ok = machine->UpdateState(index, [pressed](DeviceState& s) { s.buttonPressed = pressed; }, error);
    } else if (command == "not-ready") {
        const bool notReady = parsed->positional[2] == "on";
        ok = machine->UpdateState(index, [notReady](DeviceState& s) { s.notReady = notReady; }, error);
    } else if (command == "fail") {
        ok = ChangeFaults(*machine, index, {parsed->positional.begin() + 2, parsed->positional.end()}, error);
    } else if (command == "eject") {
        const EjectAnswer answer = *ParseEjectAnswer(parsed->positional[2]);
        ok = machine->UpdateState(index, [answer](DeviceState& s) { s.eject = answer; }, error);
    } else if (command == "registry") {
        std::vector<RegistryChange> changes;
        ok = machine->ReadRegistryChanges(changes, error);
        if (ok) {
            for (const RegistryChange& change : changes) out << FormatRegistryChange(change);
        }
    } else if (command == "nand" || command == "nand-page") {
        const auto number = ParseAddress(parsed->positional[2], command == "nand" ? 0xFF : 0xFFFFFFFF);
        if (!number) {
            err << "rigctl: " << command << " needs a number (decimal or 0x hexadecimal), not '"
                << parsed->positional[2] << "'\n";
            return 2;
        }
        ok = machine->WithNand(
            index,
            [&](NandStore& nand) {
                return command == "nand" ? PrintNandMap(nand, static_cast<std::uint8_t>(*number), out, error)
                                         : PrintNandPage(nand, *number, out, error);
            },
            error);
    } else if (command == "plug" || command == "unplug") {
        ok = machine->SetPlugged(index, command == "plug", error);
    } else if (command == "state") {
        DeviceState state;
        std::uint32_t unplugged = 0;
        ok = machine->ReadState(index, state, error) && machine->ReadUnplugged(unplugged, error);
        if (ok) {
            PrintState(machine->Config(), index, state, out);
            out << "  USB             " << (((unplugged >> index) & 1u) ? "unplugged" : "plugged") << "\n";
        }
    } else if (command == "log") {
        if (parsed->clear) {
            ok = machine->ClearLog(error);
        } else {
            std::vector<std::uint8_t> bytes;
            ok = machine->ReadLog(bytes, error);
            if (ok) PrintLog(bytes, out, err);
        }
    } else {
        ok = machine->Reset(error);
    }
    if (!ok) {
        err << "rigctl: " << error << "\n";
        return 1;
    }
    return 0;
}

}  // namespace rig
