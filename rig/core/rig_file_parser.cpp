#include "rig_file_parser.h"

#include <optional>
#include <vector>
#include <set>
#include <string>

#include "rig_paths.h"

namespace rig {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = LowerAscii(c);
    return lowered;
}

// A value in double quotes keeps its spaces; the quotes themselves are not part of it.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f') {
            digit = static_cast<unsigned>(LowerAscii(c) - 'a' + 10);
        } else {
            return std::nullopt;
        }
        if (value > (max - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

std::optional<bool> ParseBool(std::string_view text) {
    const std::string word = Lower(text);
    if (word == "yes" || word == "on" || word == "true" || word == "1") return true;
    if (word == "no" || word == "off" || word == "false" || word == "0") return false;
    return std::nullopt;
}

bool IsPrintableAscii(std::string_view text) {
    for (char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

std::string PaddedIndex(std::size_t index, std::size_t width) {
    std::string digits = std::to_string(index);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

class Parser {
public:
    explicit Parser(std::string_view rigPath) : folder_(FolderOf(rigPath)) {
        config_.rigPath = std::string(rigPath);
        config_.statePath = ResolvePath(folder_, StemOf(rigPath) + ".state");
        config_.logPath = ResolvePath(folder_, StemOf(rigPath) + ".log");
    }

    // An empty result means the line was fine.
    std::string Line(int number, std::string_view line) {
        line_ = number;
        for (char c : line) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
                return Fail("control character " + Hex(byte) + " in the line");
            }
        }
        line = Trim(line);
        if (line.empty() || line.front() == '#' || line.front() == ';') return {};
        if (line.front() == '[') return SectionHeader(line);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) return Fail("expected 'key = value' or '[section]'");
        const std::string key = Lower(Trim(line.substr(0, equals)));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key.empty()) return Fail("missing key before '='");
        for (char c : key) {
            if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return Fail("bad key '" + key + "'");
        }
        switch (section_) {
            case Section::None: return Fail("'" + key + "' outside a section; start with [rig] or [enclosure]");
            case Section::Rig: return RigKey(key, value);
            case Section::Enclosure: return EnclosureKey(key, value);
            case Section::Controller: return ControllerKey(key, value);
            case Section::Hub: return HubKey(key, value);
            case Section::Volume: return VolumeKey(key, value);
        }
        return {};
    }

    std::string Finish(int lastLine) {
        line_ = lastLine;
        if (auto error = FinishSection(); !error.empty()) return error;
        if (auto error = CheckTopology(); !error.empty()) return error;
        for (std::size_t i = 0; i < config_.enclosures.size(); ++i) {
            EnclosureConfig& enclosure = config_.enclosures[i];
            if (enclosure.imagePath.empty()) {
                enclosure.imagePath =
                    BesidePath(config_.statePath, StemOf(config_.statePath) + "." + std::to_string(i) + ".img");
            }
            if (enclosure.imagePath.size() > kMaxFilePathLength) {
                line_ = enclosure.line;
                return Fail("the image path is longer than " + std::to_string(kMaxFilePathLength) + " bytes");
            }
            if (enclosure.nandKeysGiven && !enclosure.nand.present) {
                line_ = enclosure.line;
                return Fail("'nand_*' keys belong to an enclosure of 'kind = flash'");
            }
            if (enclosure.nand.present) {
                line_ = enclosure.line;
                if (auto error = CheckNandConfig(enclosure.nand); !error.empty()) return Fail(error);
                if (enclosure.nand.path.empty()) {
                    enclosure.nand.path =
                        BesidePath(config_.statePath, StemOf(config_.statePath) + "." + std::to_string(i) + ".nand");
                }
                if (enclosure.nand.path.size() > kMaxFilePathLength) {
                    return Fail("the NAND file's path is longer than " + std::to_string(kMaxFilePathLength) +
                                " bytes");
                }
            }
            if (enclosure.ataModel.empty()) {
                enclosure.ataModel = std::string(Trim(enclosure.inquiryVendor + " " + enclosure.inquiryProduct));
            }
            if (enclosure.ataSerial.empty()) enclosure.ataSerial = "RIG" + PaddedIndex(i, 5);
            if (enclosure.ataFirmware.empty()) enclosure.ataFirmware = enclosure.inquiryRevision;
            if (enclosure.instance.empty()) {
                enclosure.instance = "RIG" + PaddedIndex(i, 5);
                for (const UsbString& string : enclosure.strings) {
                    if (string.index == 3) {
                        enclosure.instance = string.text;
                        break;
                    }
                }
            }
            if (enclosure.driverKey.empty()) enclosure.driverKey = std::string(kUsbClassKey) + PaddedIndex(i, 4);
            if (!givenSignature_.count(i)) {
                enclosure.diskSignature = 0x52494700u + static_cast<std::uint32_t>(i);
            }
            if (!givenDeviceNumber_.count(i)) {
                enclosure.deviceNumber = static_cast<std::uint32_t>(i + 1);
            }
        }
        for (std::size_t h = 0; h < config_.hubs.size(); ++h) {
            if (config_.hubs[h].driverKey.empty()) {
                config_.hubs[h].driverKey = std::string(kUsbClassKey) + PaddedIndex(100 + h, 4);
            }
        }
        return {};
    }

    RigConfig Take() { return std::move(config_); }

private:
    enum class Section { None, Rig, Enclosure, Controller, Hub, Volume };
    static constexpr const char* kUsbClassKey = "{36fc9e60-c465-11cf-8056-444553540000}\\";

    static std::string Hex(unsigned value) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        return std::string("0x") + kDigits[(value >> 4) & 0xF] + kDigits[value & 0xF];
    }

    std::string Fail(const std::string& message) const { return "line " + std::to_string(line_) + ": " + message; }

    std::string SectionHeader(std::string_view line) {
        if (line.back() != ']') return Fail("a section header ends with ']'");
        const std::string name = Lower(Trim(line.substr(1, line.size() - 2)));
        if (auto error = FinishSection(); !error.empty()) return error;
        seen_.clear();
        if (name == "rig") {
            if (rigSeen_) return Fail("a second [rig] section");
            rigSeen_ = true;
            section_ = Section::Rig;
            return {};
        }
        if (name == "enclosure") {
            if (config_.enclosures.size() >= kMaxEnclosures) {
                return Fail("more than " + std::to_string(kMaxEnclosures) + " enclosures");
            }
            section_ = Section::Enclosure;
            config_.enclosures.emplace_back();
            config_.enclosures.back().line = line_;
            return {};
        }
        if (name == "controller") {
            if (config_.controllers.size() >= kMaxControllers) {
                return Fail("more than " + std::to_string(kMaxControllers) + " controllers");
            }
            section_ = Section::Controller;
            config_.controllers.emplace_back().line = line_;
            return {};
        }
        if (name == "hub") {
            if (config_.hubs.size() >= kMaxHubs) return Fail("more than " + std::to_string(kMaxHubs) + " hubs");
            section_ = Section::Hub;
            config_.hubs.emplace_back().line = line_;
            return {};
        }
        if (name == "volume") {
            if (config_.volumes.size() >= kMaxVolumes) {
                return Fail("more than " + std::to_string(kMaxVolumes) + " volumes");
            }
            section_ = Section::Volume;
            config_.volumes.emplace_back().line = line_;
            return {};
        }
        return Fail("unknown section [" + name + "] (known: rig, enclosure, controller, hub, volume)");
    }

    // Marks `key` as given in this section; false when it was given before.
    bool FirstTime(const std::string& key) { return seen_.insert(key).second; }

    std::string PathValue(std::string_view value, std::string& out) {
        const std::string_view path = Unquote(value);
        if (path.empty()) return Fail("empty path");
        if (path.size() > kMaxFilePathLength) {
            return Fail("path longer than " + std::to_string(kMaxFilePathLength) + " bytes");
        }
        out = ResolvePath(folder_, path);
        if (out.size() > kMaxFilePathLength) {
            return Fail("path longer than " + std::to_string(kMaxFilePathLength) + " bytes");
        }
        return {};
    }

    std::string RigKey(const std::string& key, std::string_view value) {
        if (!FirstTime(key)) return Fail("'" + key + "' given twice in [rig]");
        if (key == "format") {
            if (value != "1") return Fail("unsupported format '" + std::string(value) + "' (this rig reads format 1)");
            return {};
        }
        if (key == "state") return PathValue(value, config_.statePath);
        if (key == "log") return PathValue(value, config_.logPath);
        if (key == "system_major_version") {
            const auto number = ParseNumber(value, 255);
            if (!number || *number == 0) return Fail("'system_major_version' must be a number from 1 to 255");
            config_.systemMajorVersion = static_cast<std::uint32_t>(*number);
            return {};
        }
        return Fail("unknown key '" + key + "' in [rig]");
    }

    std::string Text(const std::string& key, std::string_view value, std::size_t minLength, std::size_t maxLength,
                     std::string& out) {
        const std::string_view text = Unquote(value);
        if (!IsPrintableAscii(text)) return Fail("'" + key + "' must be printable ASCII");
        if (text.size() < minLength || text.size() > maxLength) {
            return Fail(minLength == maxLength
                            ? "'" + key + "' must be exactly " + std::to_string(maxLength) + " characters"
                            : "'" + key + "' must be " + std::to_string(minLength) + " to " +
                                  std::to_string(maxLength) + " characters");
        }
        out = std::string(text);
        return {};
    }

    std::string Id(const std::string& key, std::string_view value, std::uint16_t& out) {
        const auto number = ParseNumber(value, 0xFFFF);
        if (!number) return Fail("'" + key + "' must be a number from 0 to 0xFFFF");
        out = static_cast<std::uint16_t>(*number);
        return {};
    }

    std::string Drive(std::string_view value, EnclosureConfig& enclosure) {
        const auto letter = value.empty() ? '\0' : static_cast<char>(value[0] & ~0x20);
        if (value.size() < 2 || letter < 'A' || letter > 'Z' || value[1] != ':') {
            return Fail("'drive' is a letter with a colon and a folder, e.g. 'drive = E: /srv/rig/E'");
        }
        const std::string_view rest = value.substr(2);
        if (Trim(rest).empty() || (rest.front() != ' ' && rest.front() != '\t')) {
            return Fail("'drive' needs a folder after the letter, e.g. 'drive = E: /srv/rig/E'");
        }
        if (enclosure.drives.size() >= kMaxDrivesPerEnclosure) {
            return Fail("more than " + std::to_string(kMaxDrivesPerEnclosure) + " drives in one enclosure");
        }
        if (!letters_.insert(letter).second) return Fail(std::string("drive letter ") + letter + ": used twice");
        DriveMapping drive;
        drive.letter = letter;
        if (auto error = PathValue(Trim(rest), drive.folder); !error.empty()) return error;
        enclosure.drives.push_back(std::move(drive));
        return {};
    }

    std::string EnclosureKey(const std::string& key, std::string_view value) {
        EnclosureConfig& enclosure = config_.enclosures.back();
        if (key == "drive") return Drive(value, enclosure);
        if (key == "string") return StringKey(value, enclosure);
        if (key == "fail") return FailKey(value, enclosure);
        if (key == "nand_bad" || key == "nand_system" || key == "nand_weak") {
            enclosure.nandKeysGiven = true;
            const std::string error = ParseNandKey(key, Unquote(value), enclosure.nand);
            return error.empty() ? error : Fail(error);
        }
        if (!FirstTime(key)) return Fail("'" + key + "' given twice in one [enclosure]");
        if (key == "kind") {
            const std::string word = Lower(value);
            if (word != "storage" && word != "flash") return Fail("'kind' must be 'storage' or 'flash'");
            enclosure.nand.present = word == "flash";
            return {};
        }
        if (key == "nand_file") {
            enclosure.nandKeysGiven = true;
            return PathValue(value, enclosure.nand.path);
        }
        if (key.rfind("nand_", 0) == 0) {
            enclosure.nandKeysGiven = true;
            const std::string error = ParseNandKey(key, Unquote(value), enclosure.nand);
            return error.empty() ? error : Fail(error);
        }
        if (key == "name") {
            if (auto error = Text(key, value, 1, kMaxNameLength, enclosure.name); !error.empty()) return error;
            if (!names_.insert(Lower(enclosure.name)).second) {
                return Fail("enclosure name '" + enclosure.name + "' used twice");
            }
            return {};
        }
        if (key == "usb_vendor_id") return Id(key, value, enclosure.usbVendorId);
        if (key == "usb_product_id") return Id(key, value, enclosure.usbProductId);
        if (key == "inquiry_vendor") return Text(key, value, 0, 8, enclosure.inquiryVendor);
        if (key == "inquiry_product") return Text(key, value, 0, 16, enclosure.inquiryProduct);
        if (key == "inquiry_revision") return Text(key, value, 0, 4, enclosure.inquiryRevision);
        if (key == "signature") return Text(key, value, 4, 4, enclosure.signature);
        if (key == "model") return Text(key, value, 4, 4, enclosure.model);
        if (key == "ata_model") return Text(key, value, 1, 40, enclosure.ataModel);
        if (key == "ata_serial") return Text(key, value, 1, 20, enclosure.ataSerial);
        if (key == "ata_firmware") return Text(key, value, 1, 8, enclosure.ataFirmware);
        if (key == "sectors") {
            const auto number = ParseNumber(value, kMaxSectors);
            if (!number || *number == 0) return Fail("'sectors' must be a number from 1 to 0x100000000");
            enclosure.sectors = *number;
            return {};
        }
        if (key == "sector_size") {
            const auto number = ParseNumber(value, 0xFFFFFFFF);
            if (!number || (*number != 512 && *number != 1024 && *number != 2048 && *number != 4096)) {
                return Fail("'sector_size' must be 512, 1024, 2048 or 4096");
            }
            enclosure.sectorSize = static_cast<std::uint32_t>(*number);
            return {};
        }
        if (key == "interface") {
            const std::string_view path = Unquote(value);
            if (path.empty() || path.size() > kMaxInterfacePathLength) {
                return Fail("'interface' must be 1 to " + std::to_string(kMaxInterfacePathLength) + " bytes");
            }
            enclosure.interfacePath = std::string(path);
            return {};
        }
        if (key == "cdrom") {
            const auto letter = value.empty() ? '\0' : static_cast<char>(value[0] & ~0x20);
            if (value.size() != 2 || letter < 'A' || letter > 'Z' || value[1] != ':') {
                return Fail("'cdrom' is a drive letter with a colon, e.g. 'cdrom = F:'");
            }
            if (!letters_.insert(letter).second) return Fail(std::string("drive letter ") + letter + ": used twice");
            enclosure.cdromLetter = letter;
            return {};
        }
        if (key == "drive_type") {
            const std::string word = Lower(value);
            if (word != "fixed" && word != "removable") return Fail("'drive_type' must be 'fixed' or 'removable'");
            enclosure.removable = word == "removable";
            return {};
        }
        if (key == "button") {
            const std::string word = Lower(value);
            if (word != "pressed" && word != "released") return Fail("'button' must be 'pressed' or 'released'");
            enclosure.buttonPressed = word == "pressed";
            return {};
        }
        if (key == "not_ready") {
            const auto flag = ParseBool(value);
            if (!flag) return Fail("'not_ready' must be yes or no");
            enclosure.notReady = *flag;
            return {};
        }
        if (key == "image") return PathValue(value, enclosure.imagePath);
        if (key == "parent") return Text(key, value, 1, kMaxNameLength, enclosure.attachment.parent);
        if (key == "port") return Number(key, value, 1, kMaxHubPorts, enclosure.attachment.port);
        if (key == "speed") return Number(key, value, 0, 3, enclosure.attachment.speed);
        if (key == "bcd_usb") return Id(key, value, enclosure.bcdUsb);
        if (key == "bcd_device") return Id(key, value, enclosure.bcdDevice);
        if (key == "manufacturer") return AddString(1, 0x0409, value, enclosure);
        if (key == "product") return AddString(2, 0x0409, value, enclosure);
        if (key == "serial_number") return AddString(3, 0x0409, value, enclosure);
        if (key == "instance") return RegistryName(key, value, enclosure.instance);
        if (key == "parent_id_prefix") return RegistryName(key, value, enclosure.parentIdPrefix);
        if (key == "driver_key") return Text(key, value, 1, 200, enclosure.driverKey);
        if (key == "partition_style") {
            const std::string word = Lower(value);
            if (word != "mbr" && word != "gpt") return Fail("'partition_style' must be 'mbr' or 'gpt'");
            enclosure.partitionStyle = word == "gpt" ? PartitionStyle::Gpt : PartitionStyle::Mbr;
            return {};
        }
        if (key == "disk_signature" || key == "device_number") {
            const auto number = ParseNumber(value, 0xFFFFFFFF);
            if (!number) return Fail("'" + key + "' must be a number from 0 to 0xFFFFFFFF");
            (key == "disk_signature" ? enclosure.diskSignature : enclosure.deviceNumber) =
                static_cast<std::uint32_t>(*number);
            (key == "disk_signature" ? givenSignature_ : givenDeviceNumber_).insert(config_.enclosures.size() - 1);
            return {};
        }
        return Fail("unknown key '" + key + "' in [enclosure]");
    }

    // "fail = [out-of-memory|short-reply] BYTE...": a command the enclosure fails from the start.
    std::string FailKey(std::string_view value, EnclosureConfig& enclosure) {
        std::string error;
        const auto rule = ParseFaultRule(Unquote(value), error);
        if (!rule) return Fail("'fail': " + error);
        if (!AddFaultRule(enclosure.faults, *rule)) {
            return Fail("more than " + std::to_string(kMaxFaultRules) + " failing commands in one enclosure");
        }
        return {};
    }

    std::string Number(const std::string& key, std::string_view value, std::uint64_t min, std::uint64_t max,
                       std::uint8_t& out) {
        const auto number = ParseNumber(value, max);
        if (!number || *number < min) {
            return Fail("'" + key + "' must be a number from " + std::to_string(min) + " to " + std::to_string(max));
        }
        out = static_cast<std::uint8_t>(*number);
        return {};
    }

    // A registry key name: printable, no backslash.
    std::string RegistryName(const std::string& key, std::string_view value, std::string& out) {
        if (auto error = Text(key, value, 1, 200, out); !error.empty()) return error;
        if (out.find('\\') != std::string::npos) return Fail("'" + key + "' must not contain '\\'");
        return {};
    }

    std::string AddString(std::uint8_t index, std::uint16_t language, std::string_view value,
                          EnclosureConfig& enclosure) {
        UsbString string;
        string.index = index;
        string.language = language;
        if (auto error = Text("string", value, 0, kMaxStringLength, string.text); !error.empty()) return error;
        for (const UsbString& other : enclosure.strings) {
            if (other.index == index && other.language == language) {
                return Fail("string " + std::to_string(index) + " of language " + Hex16(language) + " given twice");
            }
        }
        if (enclosure.strings.size() >= kMaxStringsPerEnclosure) {
            return Fail("more than " + std::to_string(kMaxStringsPerEnclosure) + " strings in one enclosure");
        }
        enclosure.strings.push_back(std::move(string));
        return {};
    }

    // "string = LANGUAGE INDEX TEXT", e.g. "string = 0x0407 2 Sicherung".
    std::string StringKey(std::string_view value, EnclosureConfig& enclosure) {
        const auto first = value.find_first_of(" \t");
        const std::string_view afterLanguage = first == std::string_view::npos ? "" : Trim(value.substr(first));
        const auto second = afterLanguage.find_first_of(" \t");
        const auto language = ParseNumber(value.substr(0, first), 0xFFFF);
        const auto index = ParseNumber(afterLanguage.substr(0, second), 255);
        if (!language || *language == 0 || !index || *index == 0 || second == std::string_view::npos) {
            return Fail("'string' is a language, an index from 1 to 255 and a text, e.g. 'string = 0x0407 2 Text'");
        }
        return AddString(static_cast<std::uint8_t>(*index), static_cast<std::uint16_t>(*language),
                         Trim(afterLanguage.substr(second)), enclosure);
    }

    static std::string Hex16(unsigned value) { return Hex((value >> 8) & 0xFF) + Hex(value & 0xFF).substr(2); }

    std::string NodeName(const std::string& key, std::string_view value, std::string& out) {
        if (auto error = Text(key, value, 1, kMaxNameLength, out); !error.empty()) return error;
        if (!nodeNames_.insert(Lower(out)).second) return Fail("controller or hub name '" + out + "' used twice");
        return {};
    }

    std::string ControllerKey(const std::string& key, std::string_view value) {
        ControllerConfig& controller = config_.controllers.back();
        if (!FirstTime(key)) return Fail("'" + key + "' given twice in one [controller]");
        if (key == "name") return NodeName(key, value, controller.name);
        if (key == "path") return Text(key, value, 1, kMaxInterfacePathLength, controller.path);
        if (key == "root_hub") return Text(key, value, 1, kMaxInterfacePathLength - 4, controller.rootHub);
        if (key == "ports") return Number(key, value, 1, kMaxHubPorts, controller.ports);
        return Fail("unknown key '" + key + "' in [controller]");
    }

    std::string HubKey(const std::string& key, std::string_view value) {
        HubConfig& hub = config_.hubs.back();
        if (!FirstTime(key)) return Fail("'" + key + "' given twice in one [hub]");
        if (key == "name") return NodeName(key, value, hub.name);
        if (key == "hub_name") return Text(key, value, 1, kMaxInterfacePathLength - 4, hub.hubName);
        if (key == "parent") return Text(key, value, 1, kMaxNameLength, hub.attachment.parent);
        if (key == "port") return Number(key, value, 1, kMaxHubPorts, hub.attachment.port);
        if (key == "speed") return Number(key, value, 0, 3, hub.attachment.speed);
        if (key == "ports") return Number(key, value, 1, kMaxHubPorts, hub.ports);
        if (key == "usb_vendor_id") return Id(key, value, hub.usbVendorId);
        if (key == "usb_product_id") return Id(key, value, hub.usbProductId);
        if (key == "driver_key") return Text(key, value, 1, 200, hub.driverKey);
        return Fail("unknown key '" + key + "' in [hub]");
    }

    std::string VolumeKey(const std::string& key, std::string_view value) {
        VolumeConfig& volume = config_.volumes.back();
        if (key == "extent") {
            // "extent = ENCLOSURE OFFSET LENGTH", offset and length in bytes.
            const auto parts = Words(value);
            if (parts.size() != 3) return Fail("'extent' is an enclosure name, an offset and a length in bytes");
            VolumeExtent extent;
            extent.enclosure = std::string(parts[0]);
            const auto offset = ParseNumber(parts[1], kMaxSectors * 4096);
            const auto length = ParseNumber(parts[2], kMaxSectors * 4096);
            if (!offset || !length || *length == 0) return Fail("'extent' needs a byte offset and a non-zero length");
            extent.offset = *offset;
            extent.length = *length;
            if (volume.extents.size() >= kMaxExtentsPerVolume) {
                return Fail("more than " + std::to_string(kMaxExtentsPerVolume) + " extents in one volume");
            }
            volume.extents.push_back(std::move(extent));
            return {};
        }
        if (!FirstTime(key)) return Fail("'" + key + "' given twice in one [volume]");
        if (key == "guid") {
            const std::string_view guid = Unquote(value);
            if (guid.size() != 38 || guid.front() != '{' || guid.back() != '}' || !IsPrintableAscii(guid)) {
                return Fail("'guid' is a braced GUID of 38 characters");
            }
            volume.guid = std::string(guid);
            if (!volumeGuids_.insert(Lower(guid)).second) return Fail("volume guid used twice");
            return {};
        }
        if (key == "letter") {
            const auto letter = value.empty() ? '\0' : static_cast<char>(value[0] & ~0x20);
            if (value.size() != 2 || letter < 'A' || letter > 'Z' || value[1] != ':') {
                return Fail("'letter' is a drive letter with a colon, e.g. 'letter = G:'");
            }
            if (!letters_.insert(letter).second) return Fail(std::string("drive letter ") + letter + ": used twice");
            volume.letter = letter;
            return {};
        }
        return Fail("unknown key '" + key + "' in [volume]");
    }

    static std::vector<std::string_view> Words(std::string_view text) {
        std::vector<std::string_view> words;
        while (!(text = Trim(text)).empty() && words.size() < 8) {
            const auto end = text.find_first_of(" \t");
            words.push_back(text.substr(0, end));
            text = end == std::string_view::npos ? std::string_view() : text.substr(end);
        }
        return words;
    }

    std::string FinishSection() {
        if (section_ == Section::Enclosure) return FinishEnclosure();
        const char* title = section_ == Section::Controller ? "[controller]"
                            : section_ == Section::Hub     ? "[hub]"
                                                           : "[volume]";
        std::vector<const char*> required;
        int line = 0;
        if (section_ == Section::Controller) {
            required = {"name", "path", "root_hub"};
            line = config_.controllers.back().line;
        } else if (section_ == Section::Hub) {
            required = {"name", "parent", "port", "hub_name"};
            line = config_.hubs.back().line;
        } else if (section_ == Section::Volume) {
            required = {"guid"};
            line = config_.volumes.back().line;
            if (config_.volumes.back().extents.empty()) {
                return "line " + std::to_string(line) + ": [volume] without 'extent'";
            }
        }
        section_ = Section::None;
        for (const char* key : required) {
            if (!seen_.count(key)) return "line " + std::to_string(line) + ": " + title + " without '" + key + "'";
        }
        return {};
    }

    // The ports a [controller] or [hub] of this name has, and its tier (1 for a root hub); 0 when unknown.
    std::uint8_t PortsOf(const std::string& name, int& tier, int depthLeft) const {
        for (const ControllerConfig& controller : config_.controllers) {
            if (Lower(controller.name) == Lower(name)) {
                tier = 1;
                return controller.ports;
            }
        }
        if (depthLeft == 0) return 0;
        for (const HubConfig& hub : config_.hubs) {
            if (Lower(hub.name) == Lower(name)) {
                const std::uint8_t ports = PortsOf(hub.attachment.parent, tier, depthLeft - 1) != 0 ? hub.ports : 0;
                ++tier;
                return ports;
            }
        }
        return 0;
    }

    std::string CheckAttachment(const UsbAttachment& attachment, int line, std::set<std::string>& taken) {
        line_ = line;
        if (attachment.parent.empty()) return {};
        if (attachment.port == 0) return Fail("'parent' needs a 'port'");
        int tier = 0;
        const std::uint8_t ports = PortsOf(attachment.parent, tier, 5);
        if (ports == 0 || tier > 5) {
            return Fail("'parent' must name a [controller] or a [hub] at most 5 tiers deep: '" + attachment.parent +
                        "'");
        }
        if (attachment.port > ports) return Fail("'port' is beyond the ports of '" + attachment.parent + "'");
        if (!taken.insert(Lower(attachment.parent) + "#" + std::to_string(attachment.port)).second) {
            return Fail("port " + std::to_string(attachment.port) + " of '" + attachment.parent + "' used twice");
        }
        return {};
    }

    std::string CheckTopology() {
        std::set<std::string> taken;
        for (const HubConfig& hub : config_.hubs) {
            if (auto error = CheckAttachment(hub.attachment, hub.line, taken); !error.empty()) return error;
        }
        for (const EnclosureConfig& enclosure : config_.enclosures) {
            if (auto error = CheckAttachment(enclosure.attachment, enclosure.line, taken); !error.empty()) return error;
        }
        for (const VolumeConfig& volume : config_.volumes) {
            line_ = volume.line;
            for (const VolumeExtent& extent : volume.extents) {
                const EnclosureConfig* disk = nullptr;
                for (const EnclosureConfig& enclosure : config_.enclosures) {
                    if (!enclosure.name.empty() && Lower(enclosure.name) == Lower(extent.enclosure)) disk = &enclosure;
                }
                if (disk == nullptr) return Fail("'extent' names no enclosure: '" + extent.enclosure + "'");
                const std::uint64_t capacity = disk->sectors * disk->sectorSize;
                if (extent.offset > capacity || extent.length > capacity - extent.offset) {
                    return Fail("an extent reaches beyond the capacity of '" + extent.enclosure + "'");
                }
            }
        }
        return {};
    }

    // Checks the enclosure section that just ended, if any.
    std::string FinishEnclosure() {
        if (section_ != Section::Enclosure) return {};
        section_ = Section::None;
        EnclosureConfig& enclosure = config_.enclosures.back();
        for (const char* required : {"usb_vendor_id", "usb_product_id", "interface", "sectors"}) {
            if (!seen_.count(required)) {
                return "line " + std::to_string(enclosure.line) + ": [enclosure] without '" + required + "'";
            }
        }
        if (!interfaces_.insert(Lower(enclosure.interfacePath)).second) {
            return "line " + std::to_string(enclosure.line) + ": interface path used by two enclosures";
        }
        if (enclosure.cdromLetter != 0) {
            const std::string disk = "#disk&";
            const auto at = Lower(enclosure.interfacePath).find(disk);
            if (at == std::string::npos) {
                return "line " + std::to_string(enclosure.line) + ": 'cdrom' needs an 'interface' containing '#disk&'";
            }
            enclosure.cdromPath = enclosure.interfacePath;
            enclosure.cdromPath.replace(at, disk.size(), "#cdrom&");
            if (enclosure.cdromPath.size() > kMaxInterfacePathLength) {
                return "line " + std::to_string(enclosure.line) + ": the CD-ROM interface path is longer than " +
                       std::to_string(kMaxInterfacePathLength) + " bytes";
            }
            if (!interfaces_.insert(Lower(enclosure.cdromPath)).second) {
                return "line " + std::to_string(enclosure.line) + ": CD-ROM interface path used twice";
            }
        }
        return {};
    }

    std::string folder_;
    RigConfig config_;
    Section section_ = Section::None;
    bool rigSeen_ = false;
    int line_ = 0;
    std::set<std::string> seen_;
    std::set<std::string> names_;
    std::set<std::string> interfaces_;
    std::set<char> letters_;
    std::set<std::string> nodeNames_;
    std::set<std::string> volumeGuids_;
    std::set<std::size_t> givenSignature_;
    std::set<std::size_t> givenDeviceNumber_;
};

}  // namespace

RigParseResult ParseRigFile(std::string_view text, std::string_view rigPath) {
    RigParseResult result;
    if (text.size() > kMaxRigFileSize) {
        result.error = "the rig file is larger than " + std::to_string(kMaxRigFileSize) + " bytes";
        return result;
    }
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());

    Parser parser(rigPath);
    int number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kMaxLineLength) {
            result.error =
                "line " + std::to_string(number) + ": longer than " + std::to_string(kMaxLineLength) + " bytes";
            return result;
        }
        if (auto error = parser.Line(number, line); !error.empty()) {
            result.error = std::move(error);
            return result;
        }
    }
    if (auto error = parser.Finish(number); !error.empty()) {
        result.error = std::move(error);
        return result;
    }
    result.config = parser.Take();
    return result;
}

}  // namespace rig
