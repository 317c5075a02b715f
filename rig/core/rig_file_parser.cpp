#include "rig_file_parser.h"

#include <optional>
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
        }
        return {};
    }

    std::string Finish(int lastLine) {
        line_ = lastLine;
        if (auto error = FinishEnclosure(); !error.empty()) return error;
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
            if (enclosure.ataModel.empty()) {
                enclosure.ataModel = std::string(Trim(enclosure.inquiryVendor + " " + enclosure.inquiryProduct));
            }
            if (enclosure.ataSerial.empty()) enclosure.ataSerial = "RIG" + PaddedIndex(i, 5);
            if (enclosure.ataFirmware.empty()) enclosure.ataFirmware = enclosure.inquiryRevision;
        }
        return {};
    }

    RigConfig Take() { return std::move(config_); }

private:
    enum class Section { None, Rig, Enclosure };

    static std::string Hex(unsigned value) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        return std::string("0x") + kDigits[(value >> 4) & 0xF] + kDigits[value & 0xF];
    }

    std::string Fail(const std::string& message) const { return "line " + std::to_string(line_) + ": " + message; }

    std::string SectionHeader(std::string_view line) {
        if (line.back() != ']') return Fail("a section header ends with ']'");
        const std::string name = Lower(Trim(line.substr(1, line.size() - 2)));
        if (auto error = FinishEnclosure(); !error.empty()) return error;
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
        return Fail("unknown section [" + name + "] (known: rig, enclosure)");
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
        if (!FirstTime(key)) return Fail("'" + key + "' given twice in one [enclosure]");
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
        return Fail("unknown key '" + key + "' in [enclosure]");
    }

    // Checks the enclosure section that just ended, if any.
    std::string FinishEnclosure() {
        if (section_ != Section::Enclosure) return {};
        section_ = Section::None;
        const EnclosureConfig& enclosure = config_.enclosures.back();
        for (const char* required : {"usb_vendor_id", "usb_product_id", "interface", "sectors"}) {
            if (!seen_.count(required)) {
                return "line " + std::to_string(enclosure.line) + ": [enclosure] without '" + required + "'";
            }
        }
        if (!interfaces_.insert(Lower(enclosure.interfacePath)).second) {
            return "line " + std::to_string(enclosure.line) + ": interface path used by two enclosures";
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
